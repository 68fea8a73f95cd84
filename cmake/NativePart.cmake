# The native build (for the build machine): the packer, native unit tests, benchmarks; drives the Win32 and
# fuzz trees.
include(ExternalProject)

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
if(NOT CMAKE_BUILD_TYPE)
    set(CMAKE_BUILD_TYPE Release)
endif()
add_compile_options(-Wall -Wextra)

find_package(GTest REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(MSPACK REQUIRED IMPORTED_TARGET libmspack)

include(${CMAKE_SOURCE_DIR}/cmake/Subfolders.cmake)

# The Win32 tree's folder, and the setup stub it links (which the native
# tests and the packages take).
set(WIN32_BINARY_DIR ${CMAKE_BINARY_DIR}/win32)
set(SETUP_STUB_FILE ${WIN32_BINARY_DIR}/setup/${SETUP_STUB_NAME})

add_subdirectory(tools)
add_subdirectory(payload)
add_subdirectory(bench)
add_subdirectory(tests/native)

# Every C++ file follows the tree's .clang-format.
add_test(NAME style.format COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-format ${CMAKE_SOURCE_DIR})

# The Win32 part: same sources, MinGW toolchain, this tree's xpack for packing.
# SETUP_PAYLOAD_FILE, when set, is the payload CorvaneSetup.exe embeds
# instead of the product's.
set(SETUP_PAYLOAD_FILE "" CACHE FILEPATH "payload to embed in CorvaneSetup.exe (default: the product's)")
ExternalProject_Add(win32
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${WIN32_BINARY_DIR}
    CMAKE_ARGS
        -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake
        -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
        -DXPACK_EXECUTABLE=$<TARGET_FILE:xpack>
        -DCOMPACT_PE_HEADERS=$<TARGET_FILE:compact-pe-headers>
        -DSTAMP_PE=$<TARGET_FILE:stamp-pe>
        -DREBASE_PE=$<TARGET_FILE:rebase-pe>
        -DBENCH_TREE_EXECUTABLE=$<TARGET_FILE:bench_tree>
        -DSETUP_PAYLOAD_FILE=${SETUP_PAYLOAD_FILE}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    DEPENDS xpack compact-pe-headers stamp-pe rebase-pe bench_tree
    USES_TERMINAL_BUILD ON)

# Fuzz targets need clang's libFuzzer.
find_program(CLANGXX_EXECUTABLE NAMES clang++ clang++-14)
if(CLANGXX_EXECUTABLE)
    set(FUZZ_BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz)
    ExternalProject_Add(fuzz
        SOURCE_DIR ${CMAKE_SOURCE_DIR}/tests/fuzz
        BINARY_DIR ${FUZZ_BINARY_DIR}
        CMAKE_ARGS
            -DCMAKE_CXX_COMPILER=${CLANGXX_EXECUTABLE}
            -DCMAKE_BUILD_TYPE=RelWithDebInfo
            -DPROJECT_ROOT=${CMAKE_SOURCE_DIR}
        BUILD_ALWAYS ON
        INSTALL_COMMAND ""
        USES_TERMINAL_BUILD ON)
endif()

# ctest here also runs the tests of the other two trees.
set(subtree_tests ${CMAKE_BINARY_DIR}/subtree-tests.cmake)
set(subtree_text "subdirs(\"${WIN32_BINARY_DIR}\")\n")
if(CLANGXX_EXECUTABLE)
    string(APPEND subtree_text "subdirs(\"${FUZZ_BINARY_DIR}\")\n")
endif()
file(WRITE ${subtree_tests} "${subtree_text}")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${subtree_tests})
include(${CMAKE_SOURCE_DIR}/cmake/Packaging.cmake)

# Win32 build: the setup program, the add-in component, and the test programs
# that ctest runs under Wine.
enable_language(RC)

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
if(NOT CMAKE_BUILD_TYPE)
    set(CMAKE_BUILD_TYPE Release)
endif()

if(NOT XPACK_EXECUTABLE OR NOT COMPACT_PE_HEADERS OR NOT STAMP_PE)
    message(FATAL_ERROR "XPACK_EXECUTABLE, COMPACT_PE_HEADERS and STAMP_PE must name the host's tools")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/WineTests.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/ReleaseImages.cmake)

include(${CMAKE_SOURCE_DIR}/cmake/Subfolders.cmake)

add_subdirectory(tools)
add_subdirectory(payload)
add_subdirectory(host)
add_subdirectory(resources)
add_subdirectory(setup)
add_subdirectory(tests/wine)
add_subdirectory(tests/release)

# Benchmark programs, not tests: bench/install builds and runs them.
if(EXISTS ${CMAKE_SOURCE_DIR}/bench/install-timing/CMakeLists.txt)
    add_subdirectory(bench/install-timing)
endif()

# Win32 build: the setup program, the add-in component, and the test programs
# that ctest runs under Wine.
enable_language(RC)

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
if(NOT CMAKE_BUILD_TYPE)
    set(CMAKE_BUILD_TYPE Release)
endif()

if(NOT XPACK_EXECUTABLE OR NOT COMPACT_PE_HEADERS OR NOT STAMP_PE OR NOT REBASE_PE)
    message(FATAL_ERROR "XPACK_EXECUTABLE, COMPACT_PE_HEADERS, STAMP_PE and REBASE_PE must name the native tree's tools")
endif()

# Windows commits a thread's stack one guard page (4096 bytes) at a time, and
# code built without stack probes touches its frame without first touching
# the page below: a frame of a page or more can step over the guard page and
# crash. The build stops at such a frame, in the setup program (at its
# link-time code generation too) and in the component.
set(FRAME_LIMIT_OPTIONS -Werror=frame-larger-than=4095)

# Flags for code that runs without the C runtime (the setup program and
# everything linked into it), chosen for size: no frame pointer, arguments
# pushed rather than stored, the stack kept at the 4 bytes Win32 guarantees,
# no compiler ident strings, one section per function so that the linker
# drops what is unused; no stack probes, so the frame limit above.
set(NO_CRT_COMPILE_OPTIONS
    -Oz -fno-inline-functions-called-once -fno-optimize-sibling-calls
    -ffreestanding -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-stack-protector -fno-threadsafe-statics -Wall -Wextra
    -fno-ident -fomit-frame-pointer -mno-accumulate-outgoing-args
    -mpreferred-stack-boundary=2 -mno-stack-arg-probe ${FRAME_LIMIT_OPTIONS}
    -ffunction-sections -fdata-sections)
# The setup program's link-time optimisation, on top of those. It already
# drops unused data; without -fdata-sections zero-initialised variables stay
# in .bss and take no room on disk. Code and data are not padded for speed:
# nothing here runs often enough for alignment to matter.
set(SETUP_LTO_OPTIONS -flto -flto-partition=none -fno-data-sections
    -falign-functions=1 -falign-jumps=1 -falign-loops=1 -falign-labels=1 -malign-data=abi)

# The shipped images are linked a second time at this base, and copies of
# them are relocated to it, for the tests that show what Windows does when
# it places an image at another base than its own (tests/release,
# tests/wine/setup, tests/wine/host).
set(RELOCATION_TEST_BASE 0x10000000)

# The version resources' facts from the project (version_resource.h.in).
set(VERSION_RESOURCE_DIR ${CMAKE_BINARY_DIR}/version-resource)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version_resource.h.in ${VERSION_RESOURCE_DIR}/version_resource.h @ONLY)

include(${CMAKE_CURRENT_LIST_DIR}/HeaderFacts.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/WineTests.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/ReleaseImages.cmake)

include(${CMAKE_SOURCE_DIR}/cmake/Subfolders.cmake)

# The files that one folder makes and others take. Each is a property of the
# target that makes it, set in that target's folder, and read here through a
# generator expression, so that the order of the folders below does not
# matter: the product payload and the folder packed into it (resources/payload),
# and CorvaneSetup.exe, also linked at RELOCATION_TEST_BASE (setup).
set(PRODUCT_PAYLOAD_FILE $<TARGET_PROPERTY:product_payload,PAYLOAD_FILE>)
set(PRODUCT_FOLDER $<TARGET_PROPERTY:product_payload,PRODUCT_FOLDER>)
set(SETUP_EXECUTABLE_FILE $<TARGET_PROPERTY:CorvaneSetup,IMAGE_FILE>)
set(SETUP_OTHER_BASE_FILE $<TARGET_PROPERTY:CorvaneSetup-other-base,IMAGE_FILE>)
# The payload CorvaneSetup.exe embeds: a publisher's own payload file named by
# SETUP_PAYLOAD_FILE, which the native tree declares and passes on, or the
# product's.
if(SETUP_PAYLOAD_FILE)
    set(EMBEDDED_PAYLOAD_FILE ${SETUP_PAYLOAD_FILE})
else()
    set(EMBEDDED_PAYLOAD_FILE ${PRODUCT_PAYLOAD_FILE})
endif()

add_subdirectory(tools)
add_subdirectory(payload)
add_subdirectory(host)
add_subdirectory(resources)
add_subdirectory(setup)
add_subdirectory(tests/wine)
add_subdirectory(tests/release)
# The demonstration that scripts/main-job runs without a display.
add_subdirectory(demo)

# Benchmark programs, not tests: bench/install builds and runs them.
add_subdirectory(bench/install-timing)

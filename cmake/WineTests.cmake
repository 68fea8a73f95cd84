# Win32 test programs run under Wine. One Xvfb display and one fresh Wine
# prefix serve the whole test run: the fixture test "wine.start" makes them,
# "wine.stop" removes them, and every Wine test runs through scripts/run-in-wine,
# which reads the display and prefix that wine.start recorded.
set(WINE_STATE_DIR ${CMAKE_BINARY_DIR}/wine-env)
set(WINE_ENV_SCRIPT ${CMAKE_SOURCE_DIR}/scripts/wine-env)
set(RUN_IN_WINE ${CMAKE_SOURCE_DIR}/scripts/run-in-wine)

add_test(NAME wine.start COMMAND ${WINE_ENV_SCRIPT} start ${WINE_STATE_DIR})
add_test(NAME wine.stop COMMAND ${WINE_ENV_SCRIPT} stop ${WINE_STATE_DIR})
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
# A second prefix under the Japanese locale, whose ANSI code page (932) is a
# two-byte one, for the tests that need it (add_wine_test JAPANESE).
set(WINE_JA_STATE_DIR ${CMAKE_BINARY_DIR}/wine-env-ja)
add_test(NAME wine_ja.start COMMAND ${WINE_ENV_SCRIPT} start ${WINE_JA_STATE_DIR} ja_JP.UTF-8)
add_test(NAME wine_ja.stop COMMAND ${WINE_ENV_SCRIPT} stop ${WINE_JA_STATE_DIR})
set_tests_properties(wine_ja.start PROPERTIES FIXTURES_SETUP wine_ja TIMEOUT 180 RESOURCE_LOCK wineprefix)
set_tests_properties(wine_ja.stop PROPERTIES FIXTURES_CLEANUP wine_ja TIMEOUT 60)

# add_wine_test(NAME name [JAPANESE] [DRIVE letter folder [TMPFS size]
#               [PREPARE script]] [RUNNER script [args...]]
#               COMMAND program [args...] [TIMEOUT seconds])
# Runs a Win32 program under Wine through scripts/run-in-wine, or through
# another runner that takes the same state folder first and its own
# arguments before the program; a target name as program is resolved to its
# file. DRIVE, TMPFS and PREPARE are run-in-wine's --drive, --tmpfs and
# --prepare: a drive mapped to a fresh scratch folder, kept when the test
# fails, the folder a tmpfs of that size (the test is skipped where it
# cannot be mounted), and a script that plants in it what the program
# cannot. Wine tests share one prefix and its registry, so they run one at a
# time; and they run alone (RUN_SERIAL): with a CPU-bound native test beside
# them on a small machine, Wine's start-up handshakes miss their deadlines
# and each program start can wait out a ten-second timeout. JAPANESE runs it
# in the prefix under the Japanese locale.
function(add_wine_test)
    cmake_parse_arguments(WT "JAPANESE" "NAME;TIMEOUT;TMPFS;PREPARE" "DRIVE;RUNNER;COMMAND" ${ARGN})
    set(state ${WINE_STATE_DIR})
    set(fixture wine)
    if(WT_JAPANESE)
        set(state ${WINE_JA_STATE_DIR})
        set(fixture wine_ja)
    endif()
    list(POP_FRONT WT_COMMAND program)
    if(TARGET ${program})
        set(program $<TARGET_FILE:${program}>)
    endif()
    set(options)
    if(WT_DRIVE)
        list(APPEND options --drive ${WT_DRIVE})
    endif()
    if(WT_TMPFS)
        list(APPEND options --tmpfs ${WT_TMPFS})
    endif()
    if(WT_PREPARE)
        list(APPEND options --prepare ${WT_PREPARE})
    endif()
    if(WT_RUNNER AND options)
        message(FATAL_ERROR "add_wine_test ${WT_NAME}: DRIVE, TMPFS and PREPARE are run-in-wine's")
    elseif(WT_RUNNER)
        list(POP_FRONT WT_RUNNER runner)
    else()
        set(runner ${RUN_IN_WINE})
        list(APPEND options --)
    endif()
    if(NOT WT_TIMEOUT)
        set(WT_TIMEOUT 120)
    endif()
    add_test(NAME ${WT_NAME}
             COMMAND ${runner} ${state} ${options} ${WT_RUNNER} ${program} ${WT_COMMAND})
    set_tests_properties(${WT_NAME} PROPERTIES
        FIXTURES_REQUIRED ${fixture}
        RESOURCE_LOCK wineprefix
        RUN_SERIAL TRUE
        TIMEOUT ${WT_TIMEOUT})
    if(WT_TMPFS)
        set_tests_properties(${WT_NAME} PROPERTIES SKIP_RETURN_CODE 77)
    endif()
endfunction()

# wine_cases(VAR SOURCE): the names of the cases that a Win32 test program
# runs one at a time, read from its table in SOURCE: the lines
# {"name", Function}, which the program dispatches on. The table is the one
# list of the cases, and a change to SOURCE configures again. (Asking the
# program for its cases would need Wine at configure time; a table made from
# a CMake list would tie the functions' names to the cases'.)
function(wine_cases var source)
    file(STRINGS ${source} lines REGEX "^ *\\{\"[a-z0-9_]+\", [A-Za-z0-9_]+\\},?$")
    list(TRANSFORM lines REPLACE "^ *\\{\"([a-z0-9_]+)\".*" "\\1")
    if(NOT lines)
        message(FATAL_ERROR "${source} has no table of cases")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    set(${var} ${lines} PARENT_SCOPE)
endfunction()

# Static C/C++ runtime for the test programs, so that they need no MinGW DLLs.
set(WIN32_TEST_LINK_OPTIONS -static -static-libgcc -static-libstdc++)

# cmake -DSOURCE_DIR=... -DOUTPUT=... -P SourceDateEpoch.cmake
#
# Writes the build's time, in seconds since 1970, to OUTPUT: the value of
# the environment variable SOURCE_DATE_EPOCH when set, otherwise the time of
# the commit checked out in SOURCE_DIR, otherwise 0 (sources outside git).
# The file is rewritten only when the value changes, so that images are
# stamped again only then.
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(epoch "$ENV{SOURCE_DATE_EPOCH}")
    if(NOT epoch MATCHES "^[0-9]+$")
        message(FATAL_ERROR "SOURCE_DATE_EPOCH is not a count of seconds: ${epoch}")
    endif()
else()
    set(epoch 0)
    find_program(GIT_EXECUTABLE git)
    if(GIT_EXECUTABLE)
        execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} log -1 --format=%ct
                        OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                        RESULT_VARIABLE status ERROR_QUIET)
        if(status EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
            set(epoch ${commit_time})
        endif()
    endif()
endif()

set(old "")
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL "${epoch}\n")
    file(WRITE ${OUTPUT} "${epoch}\n")
endif()

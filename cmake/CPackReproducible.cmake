# Run by cpack twice for each package, so that the same files give the same
# package bytes. The time of every entry is the sources' (SOURCE_DATE_EPOCH,
# or the time the build stamped into the images), and permissions do not
# depend on the umask.
#   Before archiving (a pre-build script): the staged files and folders get
#   that time and those permissions; CPack sorts the entries itself.
#   After (a post-build script, CPACK_PACKAGE_FILES set): CPack's zip also
#   records each file's access and change times, which no one can set, so
#   the zip is written again without them (Info-ZIP's zip -X), its entries
#   sorted, its times in UTC.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
    file(READ ${CPACK_SOURCE_DATE_EPOCH_FILE} epoch)
    string(STRIP "${epoch}" epoch)
endif()
set(normalise "find . -type d -exec chmod 0755 {} + && find . -type f -perm -u+x -exec chmod 0755 {} + && find . -type f ! -perm -u+x -exec chmod 0644 {} + && find . -exec touch -h -d @$1 {} +")

if(NOT CPACK_PACKAGE_FILES)
    execute_process(COMMAND sh -c "${normalise}" sh ${epoch}
        WORKING_DIRECTORY ${CPACK_TEMPORARY_INSTALL_DIRECTORY}
        RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "could not set the staged files' times and permissions")
    endif()
    return()
endif()

foreach(package IN LISTS CPACK_PACKAGE_FILES)
    if(NOT package MATCHES "\\.zip$")
        continue()
    endif()
    set(contents ${package}.contents)
    file(REMOVE_RECURSE ${contents})
    file(MAKE_DIRECTORY ${contents})
    execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${package} WORKING_DIRECTORY ${contents}
        RESULT_VARIABLE failed)
    if(NOT failed)
        execute_process(
            COMMAND sh -c "${normalise} && rm -f \"$2\" && find . -type f | LC_ALL=C sort | TZ=UTC zip -X -D -q \"$2\" -@"
                    sh ${epoch} ${package}
            WORKING_DIRECTORY ${contents}
            RESULT_VARIABLE failed)
    endif()
    file(REMOVE_RECURSE ${contents})
    if(failed)
        message(FATAL_ERROR "could not write ${package} again with fixed times")
    endif()
endforeach()

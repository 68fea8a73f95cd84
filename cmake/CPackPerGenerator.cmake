# Read by cpack for each generator.
# The Debian generator stamps its archive members with SOURCE_DATE_EPOCH
# when that is set, and with the current time otherwise: the sources' time
# is used, as for the files (see CPackReproducible.cmake).
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    file(READ ${CPACK_SOURCE_DATE_EPOCH_FILE} epoch)
    string(STRIP "${epoch}" epoch)
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
# The zip is the Windows publisher's: the Windows component only, flat.
if(CPACK_GENERATOR STREQUAL "ZIP")
    set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_ALL windows)
    set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
    set(CPACK_PACKAGING_INSTALL_PREFIX "")
endif()

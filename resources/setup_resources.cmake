# The setup program's resources as an object library (setup_stub_resources)
# that the stub links: dialogs, strings and icon from setup.rc, and an empty
# payload resource, from a script generated here. The payload goes in after
# the link, as xpack setup puts it (setup/): EMBEDDED_PAYLOAD_FILE
# (cmake/Win32Part.cmake).

# One generated script includes setup.rc and adds the payload, so that
# windres writes a single resource tree and the linker has nothing to merge:
# the layout xpack setup rebuilds.
set(SETUP_EMPTY_PAYLOAD_FILE ${CMAKE_CURRENT_BINARY_DIR}/empty-payload.bin)
file(GENERATE OUTPUT ${SETUP_EMPTY_PAYLOAD_FILE} CONTENT "")

header_string(payload_type ${PROJECT_SOURCE_DIR}/payload/payload_format.h PAYLOAD_RESOURCE_TYPE)
header_string(payload_name ${PROJECT_SOURCE_DIR}/payload/payload_format.h PAYLOAD_RESOURCE_NAME)
set(stub_rc ${CMAKE_CURRENT_BINARY_DIR}/setup_stub.rc)
file(GENERATE OUTPUT ${stub_rc}
     CONTENT "#include \"setup.rc\"\n${payload_name} ${payload_type} \"${SETUP_EMPTY_PAYLOAD_FILE}\"\n")
add_library(setup_stub_resources OBJECT ${stub_rc})
target_include_directories(setup_stub_resources PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}
    ${PROJECT_SOURCE_DIR}/setup
    ${VERSION_RESOURCE_DIR})
set_source_files_properties(${stub_rc} PROPERTIES OBJECT_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/setup.rc;${CMAKE_CURRENT_SOURCE_DIR}/setup.ico;${CMAKE_CURRENT_SOURCE_DIR}/setup.manifest;${PROJECT_SOURCE_DIR}/setup/setup.h;${VERSION_RESOURCE_DIR}/version_resource.h;${SETUP_EMPTY_PAYLOAD_FILE}")

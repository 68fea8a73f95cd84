# The setup program's resources as an object library (setup_resources) that
# the executable links: dialogs, strings and icon from setup.rc, and the
# payload as resource TEXT/XPackArchive from a script generated here.
if(DEFINED PRODUCT_PAYLOAD_FILE)
    set(SETUP_PAYLOAD_FILE ${PRODUCT_PAYLOAD_FILE})
elseif(TARGET product_payload)
    set(SETUP_PAYLOAD_FILE ${CMAKE_CURRENT_BINARY_DIR}/payload/payload.bin)
else()
    # No product payload in this build yet: embed a tiny stand-in.
    set(SETUP_PAYLOAD_FILE ${CMAKE_CURRENT_BINARY_DIR}/standin-payload.bin)
    add_custom_command(OUTPUT ${SETUP_PAYLOAD_FILE}
        COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/write-standin-payload ${SETUP_PAYLOAD_FILE}
        DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/write-standin-payload
        COMMENT "Writing the stand-in payload")
    add_custom_target(standin_payload DEPENDS ${SETUP_PAYLOAD_FILE})
endif()
set(SETUP_PAYLOAD_FILE ${SETUP_PAYLOAD_FILE} CACHE INTERNAL "payload embedded in CorvaneSetup.exe")

set(payload_rc ${CMAKE_CURRENT_BINARY_DIR}/setup_payload.rc)
file(GENERATE OUTPUT ${payload_rc}
     CONTENT "XPackArchive TEXT \"${SETUP_PAYLOAD_FILE}\"\n")

add_library(setup_resources OBJECT
    ${CMAKE_CURRENT_SOURCE_DIR}/setup.rc
    ${payload_rc})
target_include_directories(setup_resources PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}
    ${PROJECT_SOURCE_DIR}/setup)
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/setup.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/setup.ico;${PROJECT_SOURCE_DIR}/setup/setup.h")
set_source_files_properties(${payload_rc} PROPERTIES
    OBJECT_DEPENDS ${SETUP_PAYLOAD_FILE})
if(TARGET product_payload)
    add_dependencies(setup_resources product_payload)
elseif(TARGET standin_payload)
    add_dependencies(setup_resources standin_payload)
endif()

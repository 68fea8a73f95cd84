# The setup program's resources as an object library (setup_resources) that
# the executable links: dialogs, strings and icon from setup.rc, and the
# payload as resource TEXT/XPackArchive from a script generated here.
# A publisher may embed a payload of their own (made with xpack pack) by
# setting SETUP_PAYLOAD_FILE; by default it is the product's.
set(SETUP_PAYLOAD_FILE "" CACHE FILEPATH "payload to embed in CorvaneSetup.exe (default: the product's)")
if(SETUP_PAYLOAD_FILE)
    set(embedded_payload ${SETUP_PAYLOAD_FILE})
else()
    set(embedded_payload ${PRODUCT_PAYLOAD_FILE})
endif()
set(EMBEDDED_PAYLOAD_FILE ${embedded_payload} CACHE INTERNAL "payload embedded in CorvaneSetup.exe")

# Each executable's resources come from one generated script that includes
# setup.rc and adds the payload, so that windres writes a single resource
# tree and the linker has nothing to merge. setup_resources carries the real
# payload; setup_stub_resources an empty one, for CorvaneSetup-stub.exe, the
# executable without its payload whose size the static checks measure.
set(SETUP_EMPTY_PAYLOAD_FILE ${CMAKE_CURRENT_BINARY_DIR}/empty-payload.bin)
file(GENERATE OUTPUT ${SETUP_EMPTY_PAYLOAD_FILE} CONTENT "")

function(add_setup_resources target rc payload)
    file(GENERATE OUTPUT ${rc}
         CONTENT "#include \"setup.rc\"\nXPackArchive TEXT \"${payload}\"\n")
    add_library(${target} OBJECT ${rc})
    target_include_directories(${target} PRIVATE
        ${CMAKE_CURRENT_SOURCE_DIR}
        ${PROJECT_SOURCE_DIR}/setup)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS
        "${CMAKE_CURRENT_SOURCE_DIR}/setup.rc;${CMAKE_CURRENT_SOURCE_DIR}/setup.ico;${PROJECT_SOURCE_DIR}/setup/setup.h;${payload}")
endfunction()

add_setup_resources(setup_resources ${CMAKE_CURRENT_BINARY_DIR}/setup_payload.rc ${EMBEDDED_PAYLOAD_FILE})
add_setup_resources(setup_stub_resources ${CMAKE_CURRENT_BINARY_DIR}/setup_stub.rc ${SETUP_EMPTY_PAYLOAD_FILE})
add_dependencies(setup_resources product_payload)

# What makes a shipped image (the setup program, its stub, the add-in
# component) a release build: the same sources give the same bytes, and
# the checksum is set. The time stamped into the images is computed anew at
# every build (cmake/SourceDateEpoch.cmake), and an image is linked again
# when it changes.
set(SOURCE_DATE_EPOCH_FILE ${CMAKE_BINARY_DIR}/source-date-epoch)
add_custom_target(source_date_epoch
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUTPUT=${SOURCE_DATE_EPOCH_FILE}
            -P ${CMAKE_CURRENT_LIST_DIR}/SourceDateEpoch.cmake
    BYPRODUCTS ${SOURCE_DATE_EPOCH_FILE}
    VERBATIM)

# release_image(target): the last step after target's link, after any other
# step that rewrites the image.
function(release_image target)
    add_dependencies(${target} source_date_epoch)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${SOURCE_DATE_EPOCH_FILE})
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${STAMP_PE} $<TARGET_FILE:${target}> ${SOURCE_DATE_EPOCH_FILE}
        VERBATIM)
endfunction()

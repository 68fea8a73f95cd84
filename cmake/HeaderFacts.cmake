# header_string(VAR HEADER MACRO): VAR is the text of the string literal that
# HEADER defines as MACRO ("#define MACRO "..."" on one line), so that the
# build and the tests' scripts take a fact of the program from the header
# the program takes it from. A change to the header configures again.
function(header_string var header macro)
    file(STRINGS ${header} lines REGEX "^#define ${macro} +\"")
    if(NOT lines MATCHES "^#define ${macro} +\"(([^\"\\\\]|\\\\.)*)\"")
        message(FATAL_ERROR "${header} defines no string ${macro}")
    endif()
    # The only escape these literals use is \\.
    string(REPLACE "\\\\" "\\" text "${CMAKE_MATCH_1}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
    set(${var} "${text}" PARENT_SCOPE)
endfunction()

# What a publisher installs: cmake --install puts the packer, the setup stub,
# the manual page and the bash completion under the prefix; cpack (run in the build tree) makes
# a Debian package of the same, and a zip for Windows publishers with
# xpack.exe, the stub, the manual as text and a readme. The Windows files
# are installed only into that zip.
include(GNUInstallDirs)

configure_file(${CMAKE_SOURCE_DIR}/tools/xpack/xpack.1.in ${CMAKE_BINARY_DIR}/xpack.1 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/tools/xpack/README-windows.txt ${CMAKE_BINARY_DIR}/README.txt @ONLY
               NEWLINE_STYLE CRLF)
find_program(GROFF_EXECUTABLE groff REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/xpack.txt
    COMMAND sh -c "\"$1\" -man -Tascii -P-cbou \"$2\" | sed 's/$/\\r/' >\"$3\"" sh
            ${GROFF_EXECUTABLE} ${CMAKE_BINARY_DIR}/xpack.1 ${CMAKE_BINARY_DIR}/xpack.txt
    DEPENDS ${CMAKE_BINARY_DIR}/xpack.1
    COMMENT "The manual as text for Windows"
    VERBATIM)
add_custom_target(xpack_manual_text ALL DEPENDS ${CMAKE_BINARY_DIR}/xpack.txt)

install(TARGETS xpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${SETUP_STUB_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/${SETUP_STUB_DATA_FOLDER})
install(FILES ${CMAKE_BINARY_DIR}/xpack.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/tools/xpack/xpack-completion.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME xpack)
install(FILES ${WIN32_BINARY_DIR}/tools/xpack/xpack.exe ${SETUP_STUB_FILE} ${CMAKE_BINARY_DIR}/xpack.txt
              ${CMAKE_BINARY_DIR}/README.txt
        DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME xpack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_CONTACT "Corvane support <support@corvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "packer for Corvane Setup programs")
set(CPACK_PACKAGE_DESCRIPTION
    "xpack packs a folder into the payload of a Corvane Setup program, a\nself-extracting setup program for 32-bit Windows, and puts it into the\nsetup stub, which this package installs as well.")
set(CPACK_GENERATOR DEB ZIP)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 11)")
set(CPACK_ARCHIVE_FILE_NAME xpack-${PROJECT_VERSION}-windows)
set(CPACK_STRIP_FILES ON)
# The zip takes the Windows component only, and so does nothing else.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/CPackPerGenerator.cmake)
# The same files give the same packages: see that script, and
# CPackPerGenerator.cmake for the Debian package's own time stamps.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/CPackReproducible.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/CPackReproducible.cmake)
set(CPACK_SOURCE_DATE_EPOCH_FILE ${WIN32_BINARY_DIR}/source-date-epoch)
include(CPack)

# The package installs, and what it installs makes the build's setup from
# what the build made it of: the product's folder, or the payload given.
if(SETUP_PAYLOAD_FILE)
    set(embedded_source ${SETUP_PAYLOAD_FILE})
else()
    set(embedded_source ${WIN32_BINARY_DIR}/resources/payload/stage)
endif()
add_test(NAME release.deb_package
    COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check-deb ${CMAKE_CURRENT_BINARY_DIR}/deb-check
            ${CMAKE_BINARY_DIR}/CPackConfig.cmake ${PROJECT_VERSION} ${embedded_source}
            ${WIN32_BINARY_DIR}/setup/CorvaneSetup.exe)
set_tests_properties(release.deb_package PROPERTIES TIMEOUT 120)

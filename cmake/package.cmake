# The Debian package: the programs, their man pages, the desktop entry and
# icon, the fonts' licences, a machine-readable copyright file and the
# changelog, at /usr. Dependencies are computed by dpkg-shlibdeps.
set(pkg ${PROJECT_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${pkg}/changelog @ONLY)
find_program(HELP2MAN help2man)
set(pages ${pkg}/changelog.gz)
add_custom_command(OUTPUT ${pkg}/changelog.gz
    COMMAND gzip -9n -c ${pkg}/changelog > ${pkg}/changelog.gz
    DEPENDS ${pkg}/changelog)
if(HELP2MAN)
    # From --help and --version, so that it cannot drift from them; from the
    # installed copy, whose --version says where the licence texts went.
    install(CODE "execute_process(COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/installed_man_page.sh
        ${HELP2MAN} \"\$ENV{DESTDIR}\"
        \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/glyph8-cli\"
        \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1/glyph8-cli.1.gz\"
        COMMAND_ERROR_IS_FATAL ANY)")
endif()
if(GLYPH8_GUI)
    add_custom_command(OUTPUT ${pkg}/glyph8.1.gz
        COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/glyph8.1 > ${pkg}/glyph8.1.gz
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/glyph8.1)
    list(APPEND pages ${pkg}/glyph8.1.gz)
    install(FILES ${pkg}/glyph8.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
add_custom_target(glyph8_package_files ALL DEPENDS ${pages})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright.in DESTINATION ${CMAKE_INSTALL_DOCDIR}
        RENAME copyright)
install(FILES ${pkg}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glyph8)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "glyph8 developers <glyph8@glyph8.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(GLYPH8_GUI)
    # libqt6gui6 only recommends its platform plugins; without them the window
    # cannot open (apt install --no-install-recommends).
    set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "8x8 dot-matrix glyphs as source text")
set(CPACK_PACKAGE_DESCRIPTION "glyph8 turns typed text, Latin or Traditional Chinese, into the source of
8x8 dot-matrix glyphs for LED matrices and small displays driven from
microcontrollers: one declaration per glyph, tables, PROGMEM, BDF fonts,
and Arduino sketches that show a message on MAX7219 modules, with an
animated preview. The fonts are built in, so every machine gives the
same bytes.")
include(CPack)

# glyph8_windows_resources(TARGET FILE DESCRIPTION): the version and the icon
# of a Windows program, from the project's one version.
function(glyph8_windows_resources target file description)
    set(GLYPH8_RC_FILE ${file})
    set(GLYPH8_RC_DESCRIPTION ${description})
    set(GLYPH8_ICON ${PROJECT_SOURCE_DIR}/window/glyph8.ico)
    configure_file(${PROJECT_SOURCE_DIR}/win32/glyph8.rc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
endfunction()

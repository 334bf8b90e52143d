# What a Windows build takes from Debian besides the compiler: FreeType, built
# from Debian's source package into the build tree (once), and GoogleTest from
# its sources in /usr/src (tests/CMakeLists.txt).
include(cmake/freetype_source.cmake)
glyph8_freetype_from_source(Windows)

# The tests' Wine prefix is made now, once: test programs started side by
# side on a fresh prefix would each try to make it.
set(GLYPH8_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine)
if(NOT EXISTS ${GLYPH8_WINE_PREFIX}/system.reg)
    find_program(WINEBOOT wineboot)
    if(WINEBOOT)
        execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${GLYPH8_WINE_PREFIX}
                                WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=" DISPLAY=
                                ${WINEBOOT} -i
                        OUTPUT_QUIET ERROR_QUIET)
    endif()
endif()

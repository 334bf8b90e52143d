# What a Windows build takes from Debian besides the compiler: FreeType, built
# from Debian's source package into the build tree (once), and GoogleTest from
# its sources in /usr/src (tests/CMakeLists.txt).
set(GLYPH8_DEPS ${PROJECT_BINARY_DIR}/deps)
execute_process(
    COMMAND bash ${PROJECT_SOURCE_DIR}/tools/windows_freetype.sh ${GLYPH8_DEPS}/work
            ${GLYPH8_DEPS} ${CMAKE_TOOLCHAIN_FILE}
    RESULT_VARIABLE freetype_result)
if(freetype_result)
    message(FATAL_ERROR "Building FreeType for Windows failed (tools/windows_freetype.sh)")
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${GLYPH8_DEPS})
set(ENV{PKG_CONFIG_LIBDIR} ${GLYPH8_DEPS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

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

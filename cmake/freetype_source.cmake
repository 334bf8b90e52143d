# glyph8_freetype_from_source(WHAT): FreeType built from Debian's source
# package into the build tree (once) for a build for another system, with
# the toolchain file of this build, and made the one pkg-config finds.
macro(glyph8_freetype_from_source what)
    set(GLYPH8_DEPS ${PROJECT_BINARY_DIR}/deps)
    execute_process(
        COMMAND bash ${PROJECT_SOURCE_DIR}/tools/freetype_from_source.sh ${GLYPH8_DEPS}/work
                ${GLYPH8_DEPS} ${CMAKE_TOOLCHAIN_FILE}
        RESULT_VARIABLE freetype_result)
    if(freetype_result)
        message(FATAL_ERROR "Building FreeType for ${what} failed (tools/freetype_from_source.sh)")
    endif()
    list(APPEND CMAKE_FIND_ROOT_PATH ${GLYPH8_DEPS})
    set(ENV{PKG_CONFIG_LIBDIR} ${GLYPH8_DEPS}/lib/pkgconfig)
    set(ENV{PKG_CONFIG_PATH} "")
endmacro()

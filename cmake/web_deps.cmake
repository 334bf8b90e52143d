# What the WebAssembly build takes from Debian besides emscripten: FreeType,
# built from Debian's source package into the build tree (once) with the
# same script as the Windows build, and GoogleTest from its sources.
set(GLYPH8_DEPS ${PROJECT_BINARY_DIR}/deps)
execute_process(
    COMMAND bash ${PROJECT_SOURCE_DIR}/tools/windows_freetype.sh ${GLYPH8_DEPS}/work
            ${GLYPH8_DEPS} ${CMAKE_TOOLCHAIN_FILE}
    RESULT_VARIABLE freetype_result)
if(freetype_result)
    message(FATAL_ERROR "Building FreeType for WebAssembly failed (tools/windows_freetype.sh)")
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${GLYPH8_DEPS})
set(ENV{PKG_CONFIG_LIBDIR} ${GLYPH8_DEPS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
# Exceptions as WebAssembly has them (by default emscripten drops them and a
# throw aborts); programs that run under node see the real file system.
add_compile_options(-fwasm-exceptions)
add_link_options(-fwasm-exceptions -sALLOW_MEMORY_GROWTH=1)
set(GLYPH8_NODE_LINK_OPTIONS -sNODERAWFS=1 -sEXIT_RUNTIME=1)

# What the WebAssembly build takes from Debian besides emscripten: FreeType,
# built from Debian's source package into the build tree (once) with the
# same script as the Windows build, and GoogleTest from its sources.
include(cmake/freetype_source.cmake)
glyph8_freetype_from_source(WebAssembly)
# Exceptions as WebAssembly has them (by default emscripten drops them and a
# throw aborts); programs that run under node see the real file system.
add_compile_options(-fwasm-exceptions)
add_link_options(-fwasm-exceptions -sALLOW_MEMORY_GROWTH=1)
set(GLYPH8_NODE_LINK_OPTIONS -sNODERAWFS=1 -sEXIT_RUNTIME=1)

# The prebuilt programs in output/images/ (DISPLAY-BOARD.bin, flash from
# address 0, made by output/images/build.sh) become byte arrays here, at
# configure time, so that every build of glyph8 carries them.
file(GLOB image_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/images/*.bin)
list(SORT image_files)
set(arrays "")
set(rows "")
foreach(file ${image_files})
    get_filename_component(name ${file} NAME_WE)
    string(REPLACE "-" ";" parts ${name})
    list(GET parts 0 display)
    list(GET parts 1 board)
    string(MAKE_C_IDENTIFIER ${name} id)
    file(READ ${file} hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(APPEND arrays "const std::uint8_t ${id}[] = {${bytes}};\n")
    string(APPEND rows "    {\"${display}\", \"${board}\", ${id}},\n")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
endforeach()
if(rows STREQUAL "")
    set(declaration "const std::span<const board_image> all;")
else()
    set(declaration "const board_image all_rows[] = {\n${rows}};\nconst std::span<const board_image> all = all_rows;")
endif()
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/images/images.hpp CONTENT
"// Generated from output/images/*.bin: the prebuilt programs.
#pragma once
#include <cstdint>
#include <span>
#include \"glyph8/image.hpp\"
namespace glyph8::output::images {
namespace {
@arrays@
@declaration@
}  // namespace
}  // namespace glyph8::output::images
" @ONLY)

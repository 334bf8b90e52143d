# Each display's driver is an Arduino source in output/drivers/; a sketch
# carries it as text. They are turned into string constants here, at
# configure time (editing a driver configures again).
file(GLOB driver_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/drivers/*.ino)
list(SORT driver_files)
set(declarations "")
set(definitions "")
foreach(file ${driver_files})
    get_filename_component(name ${file} NAME_WE)
    file(READ ${file} text)
    if(text MATCHES "\\)driver\"")
        message(FATAL_ERROR "${file} holds the string's closing delimiter")
    endif()
    string(APPEND declarations "extern const std::string_view ${name};\n")
    string(APPEND definitions "extern const std::string_view ${name} = R\"driver(${text})driver\";\n")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
endforeach()
set(generated ${CMAKE_CURRENT_BINARY_DIR}/drivers)
file(CONFIGURE OUTPUT ${generated}/drivers.hpp CONTENT
"// Generated from output/drivers/*.ino: each display's Arduino driver.
#pragma once
#include <string_view>
namespace glyph8::output::drivers {
@declarations@}
" @ONLY)
file(CONFIGURE OUTPUT ${generated}/drivers.cpp CONTENT
"#include \"drivers.hpp\"
namespace glyph8::output::drivers {
@definitions@}
" @ONLY)

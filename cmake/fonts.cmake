# Finds the three fonts of the default face in their Debian packages, and
# copies their licence texts, so that both can be embedded and installed.

function(glyph8_find_font var file package dir)
    # The fonts are on the build machine, also when building for another one.
    find_file(${var} NAMES ${file} PATHS ${dir} NO_DEFAULT_PATH NO_CACHE NO_CMAKE_FIND_ROOT_PATH)
    if(NOT ${var})
        message(FATAL_ERROR
            "Font ${file} not found in ${dir}: install the Debian package '${package}' "
            "(apt-get install ${package}).")
    endif()
    set(${var} ${${var}} PARENT_SCOPE)
    set(copyright /usr/share/doc/${package}/copyright)
    if(NOT EXISTS ${copyright})
        message(FATAL_ERROR "Licence text ${copyright} of package '${package}' not found.")
    endif()
    set(licence ${PROJECT_BINARY_DIR}/licences/${package}.txt)
    configure_file(${copyright} ${licence} COPYONLY)
    set_property(GLOBAL APPEND PROPERTY GLYPH8_FONT_LICENCES ${licence})
endfunction()

glyph8_find_font(GLYPH8_FONT_FIXED_GZ 5x8.pcf.gz xfonts-base /usr/share/fonts/X11/misc)
# Embedded unpacked, so that its glyphs are read in place rather than
# inflated at every start.
set(GLYPH8_FONT_FIXED ${PROJECT_BINARY_DIR}/fonts/5x8.pcf)
if(NOT EXISTS ${GLYPH8_FONT_FIXED} OR ${GLYPH8_FONT_FIXED_GZ} IS_NEWER_THAN ${GLYPH8_FONT_FIXED})
    file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/fonts)
    execute_process(COMMAND gzip -dc ${GLYPH8_FONT_FIXED_GZ} OUTPUT_FILE ${GLYPH8_FONT_FIXED}
                    RESULT_VARIABLE unpacked)
    if(NOT unpacked EQUAL 0)
        message(FATAL_ERROR "Cannot unpack ${GLYPH8_FONT_FIXED_GZ}")
    endif()
endif()
glyph8_find_font(GLYPH8_FONT_MISAKI misaki_gothic.ttf fonts-misaki /usr/share/fonts/truetype/misaki)
glyph8_find_font(GLYPH8_FONT_DROID DroidSansFallbackFull.ttf fonts-droid-fallback
    /usr/share/fonts/truetype/droid)
# The composed face's generator matches with the outlines of Noto Sans CJK
# and Noto Serif CJK (one package, one licence), AR PL UMing TW and Droid.
glyph8_find_font(GLYPH8_FONT_NOTO_CJK NotoSansCJK-Regular.ttc fonts-noto-cjk
    /usr/share/fonts/opentype/noto)
foreach(file NotoSerifCJK-Regular.ttc NotoSerifCJK-Bold.ttc)
    find_file(found NAMES ${file} PATHS /usr/share/fonts/opentype/noto NO_DEFAULT_PATH NO_CACHE
              NO_CMAKE_FIND_ROOT_PATH)
    if(NOT found)
        message(FATAL_ERROR "Font ${file} not found in /usr/share/fonts/opentype/noto: install "
                            "the Debian package 'fonts-noto-cjk' (apt-get install fonts-noto-cjk).")
    endif()
    unset(found)
endforeach()
glyph8_find_font(GLYPH8_FONT_UMING uming.ttc fonts-arphic-uming /usr/share/fonts/truetype/arphic)
# The composed face is generated in this repository (glyph8-compose) from
# Misaki Gothic, matched with those outlines; its pixels are Misaki's.
set(GLYPH8_FONT_COMPOSED ${PROJECT_SOURCE_DIR}/surface/fonts/glyph8_composed_8.pcf)
get_property(GLYPH8_FONT_LICENCES GLOBAL PROPERTY GLYPH8_FONT_LICENCES)
# Where they are installed: on Windows in licences\ beside the programs, as
# in the zip and the build tree; elsewhere in the documentation directory.
if(WIN32)
    set(GLYPH8_FONT_LICENCE_DIR_FROM_BIN licences)
    set(GLYPH8_FONT_LICENCE_INSTALL_DIR ${CMAKE_INSTALL_BINDIR}/licences)
else()
    set(GLYPH8_FONT_LICENCE_INSTALL_DIR ${CMAKE_INSTALL_DOCDIR}/fonts)
    file(RELATIVE_PATH GLYPH8_FONT_LICENCE_DIR_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
         ${CMAKE_INSTALL_FULL_DOCDIR}/fonts)
endif()

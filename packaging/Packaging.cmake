# Installing Tarnwick on a desktop, and its Debian package. `cmake --install`
# puts the program, its desktop entry, its icon (the SVG and PNGs drawn from
# it), the .tarn file type, the AppStream metainfo, the man page, the copyright
# and the changelog into their standard places under the prefix; `cpack -G DEB`
# packs the same files.
include(GNUInstallDirs)

set(TARNWICK_RELEASE_DATE 2026-12-07)
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(generated ${PROJECT_BINARY_DIR}/packaging)
set(share ${CMAKE_INSTALL_DATADIR})

install(TARGETS tarnwick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${packaging}/${TARNWICK_APP_ID}.desktop DESTINATION ${share}/applications)
install(FILES ${packaging}/${TARNWICK_APP_ID}.mime.xml
        DESTINATION ${share}/mime/packages RENAME ${TARNWICK_APP_ID}.xml)

# The version and the release date come from here, once.
configure_file(${packaging}/${TARNWICK_APP_ID}.metainfo.xml.in
               ${generated}/${TARNWICK_APP_ID}.metainfo.xml @ONLY)
install(FILES ${generated}/${TARNWICK_APP_ID}.metainfo.xml DESTINATION ${share}/metainfo)
configure_file(${packaging}/tarnwick.1.in ${generated}/tarnwick.1 @ONLY)

# The man page and the changelog are installed compressed, as Debian's policy
# asks; -n leaves out the name and time, so every build packs the same bytes.
# man reads the page compressed as well.
find_program(GZIP gzip REQUIRED)
set(docs ${share}/doc/tarnwick)
set(compressed)
foreach(file ${generated}/tarnwick.1 ${packaging}/changelog)
  get_filename_component(name ${file} NAME)
  set(gz ${generated}/gz/${name}.gz)
  add_custom_command(
    OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/gz
    COMMAND ${CMAKE_COMMAND} -E copy ${file} ${generated}/gz/${name}
    COMMAND ${GZIP} -9nf ${generated}/gz/${name}
    DEPENDS ${file}
    COMMENT "Compressing ${name}"
    VERBATIM)
  list(APPEND compressed ${gz})
endforeach()
add_custom_target(tarnwick_compressed_docs ALL DEPENDS ${compressed})
install(FILES ${generated}/gz/tarnwick.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${generated}/gz/changelog.gz ${packaging}/copyright DESTINATION ${docs})

# The changelog's latest entry names the version being built.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${packaging}/changelog)
file(READ ${packaging}/changelog changelog LIMIT 200)
string(REGEX MATCH "^tarnwick \\(([^)]*)\\)" entry "${changelog}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog's latest entry is for version "
                      "\"${CMAKE_MATCH_1}\", not ${PROJECT_VERSION}")
endif()

# The icon: the SVG serves every size; desktops look for these PNGs first.
install(FILES ${packaging}/tarnwick.svg
        DESTINATION ${share}/icons/hicolor/scalable/apps RENAME ${TARNWICK_APP_ID}.svg)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(icon_pngs)
foreach(size 48 128 256)
  set(png ${generated}/icons/${size}/${TARNWICK_APP_ID}.png)
  add_custom_command(
    OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/icons/${size}
    COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --output ${png}
            ${packaging}/tarnwick.svg
    DEPENDS ${packaging}/tarnwick.svg
    COMMENT "Drawing the ${size} px icon"
    VERBATIM)
  list(APPEND icon_pngs ${png})
  install(FILES ${png} DESTINATION ${share}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(tarnwick_icons ALL DEPENDS ${icon_pngs})

# The Debian package. Its dependencies are the shared libraries the program
# links (found by dpkg-shlibdeps), the sound font the built-in synthesiser
# plays with, and Qt's platform plugins, without which the window cannot open.
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_CONTACT "Tarnwick developers <maintainers@tarnwick.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compose and play permutating fugal canons")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Tarnwick composes algorithmic music from a seed of up to eight half-note steps:\n"
       "three voices add the seed up at three speeds, with a harmony line and a drum\n"
       "pattern, filtered through one of nineteen scales. It plays the piece live,\n"
       "keeps its settings in .tarn files and exports Standard MIDI Files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fluid-soundfont-gm, qt6-qpa-plugins")
include(CPack)

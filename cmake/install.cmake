# Where each part goes when installed: the effect on PATH with its two hosts in a directory of the
# package's own, where the launcher looks for them; the Wayland screensaver and wallpaper on PATH
# too, as users name them in their idle daemon's or compositor's configuration; the hack where
# XScreenSaver finds hacks; the icons in the theme every desktop falls back on; the capture tool
# with its runner and frame hook.
include(GNUInstallDirs)
install(TARGETS quinesphere quinesphere-wayland-saver quinesphere-wallpaper
        DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quinesphere-x11 quinesphere-wayland
        DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quinesphere)
install(TARGETS quinesphere-saver DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)
install(FILES data/quinesphere-saver.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)
install(FILES data/quinesphere.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY data/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(PROGRAMS tools/capture DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME quinesphere-capture)
install(FILES tools/effect_runner.py ${CMAKE_BINARY_DIR}/VERSION
        DESTINATION ${CMAKE_INSTALL_DATADIR}/quinesphere)
install(TARGETS quinesphere-hook DESTINATION ${CMAKE_INSTALL_LIBDIR}/quinesphere)

# Software centres describe the effect from its metainfo. Its categories and keywords are the
# desktop entry's, and its releases the Debian changelog's entries, newest first, so it never
# drifts from the package or the menu. Its id is a reversed domain whose top level AppStream knows:
# example.org, which is kept for examples and so names no one else's software.
set(appstream_id org.example.quinesphere)
file(READ ${PROJECT_SOURCE_DIR}/data/quinesphere.desktop desktop_entry)
string(REGEX MATCH "\nCategories=([^\n]*)" listed "${desktop_entry}")
string(REGEX REPLACE "([^;]+);" "    <category>\\1</category>\n" appstream_categories
                     "${CMAKE_MATCH_1}")
string(REGEX MATCH "\nKeywords=([^\n]*)" listed "${desktop_entry}")
string(REGEX REPLACE "([^;]+);" "    <keyword>\\1</keyword>\n" appstream_keywords
                     "${CMAKE_MATCH_1}")
file(READ ${PROJECT_SOURCE_DIR}/debian/changelog changelog)
string(REGEX MATCHALL "(^|\n)quinesphere \\([^)]+\\)" versions "${changelog}")
string(REGEX MATCHALL "\n -- [^\n]*, [0-9][0-9] [A-Z][a-z][a-z] [0-9]+" dates "${changelog}")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(appstream_releases "")
foreach(version date IN ZIP_LISTS versions dates)
  string(REGEX MATCH "\\(([^)]+)\\)" listed "${version}")
  set(version ${CMAKE_MATCH_1})
  string(REGEX MATCH "([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9]+)$" listed "${date}")
  set(day ${CMAKE_MATCH_1})
  set(year ${CMAKE_MATCH_3})
  list(FIND months ${CMAKE_MATCH_2} month)
  # Two digits: 101 to 112, less the leading 1.
  math(EXPR month "${month} + 101")
  string(SUBSTRING ${month} 1 2 month)
  string(APPEND appstream_releases
         "    <release version=\"${version}\" date=\"${year}-${month}-${day}\"/>\n")
endforeach()
if(NOT versions MATCHES "^quinesphere \\(${PROJECT_VERSION}\\)")
  message(FATAL_ERROR "debian/changelog's newest entry is not version ${PROJECT_VERSION}: the "
                      "package, its metainfo and --version must name the same")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/data/quinesphere.desktop ${PROJECT_SOURCE_DIR}/debian/changelog)
configure_file(data/quinesphere.metainfo.xml.in ${appstream_id}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${appstream_id}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

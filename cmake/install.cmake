# Where each part goes when installed: the effect on PATH with its two hosts in a directory of the
# package's own, where the launcher looks for them; the hack where XScreenSaver finds hacks; the
# icons in the theme every desktop falls back on; the capture tool with its runner and frame hook.
include(GNUInstallDirs)
install(TARGETS quinesphere DESTINATION ${CMAKE_INSTALL_BINDIR})
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

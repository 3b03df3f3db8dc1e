# Installing Skimlet (make install PREFIX=...) and its Debian package (make package). The
# programs find their resources in ../share/skimlet beside their own directory, so the same
# build serves any prefix.
include(GNUInstallDirs)

install(TARGETS skimlet skimlet-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY resources/Actions resources/Help DESTINATION ${CMAKE_INSTALL_DATADIR}/skimlet)
install(FILES resources/skimlet.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/skimlet-channel.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES resources/icons/skimlet.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)
foreach(size 16x16 32x32 48x48)
  install(FILES resources/icons/hicolor/${size}/skimlet.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
endforeach()
install(FILES examples/systemd/skimlet-download.service examples/systemd/skimlet-download.timer
        DESTINATION lib/systemd/user)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/skimlet)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME skimlet)
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_CONTACT "Skimlet <skimlet@skimlet.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "news collector for sites without feeds")
set(CPACK_PACKAGE_DESCRIPTION "Skimlet collects the new articles of web sites that publish no feed: each site
is a channel with a small macro that finds the links to new articles, fetches them
with their pictures and keeps them as local HTML files. A window to read them,
skimlet-cli for cron and systemd timers, and Atom feeds of the channels for any
feed reader.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://skimlet.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)

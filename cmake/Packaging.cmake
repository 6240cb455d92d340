# What `cmake --install` lays out beyond the executables, and the two Debian packages `cpack`
# (make package) builds from it: `nimbrel` (component app) and `nimbrel-server` (component
# server). Packages are meant for a build configured with CMAKE_INSTALL_PREFIX=/usr, which is
# what the Makefile does, so the paths the app knows (uninstall, plugin folder) are the
# installed ones.
if(APPLE)
    return()
endif()

set(generated ${CMAKE_BINARY_DIR}/generated)

# The app: menu entry, icon, AppStream data, the polkit rule that lets an active local session
# point systemd-resolved at the filter without an administrator password.
configure_file(resources/linux/com.mac.nimbrel.metainfo.xml ${generated}/${NIMBREL_BUNDLE_ID}.metainfo.xml @ONLY)
install(FILES ${generated}/${NIMBREL_BUNDLE_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT app)
install(FILES resources/polkit/50-nimbrel-resolved.rules DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/rules.d
        COMPONENT app)

# The server as a system service, its options file and the reverse-proxy example.
set(BINDIR ${CMAKE_INSTALL_FULL_BINDIR})
set(SYSCONFDIR ${CMAKE_INSTALL_FULL_SYSCONFDIR})
configure_file(deploy/systemd/nimbrel-server.service ${generated}/nimbrel-server.service @ONLY)
install(FILES ${generated}/nimbrel-server.service DESTINATION lib/systemd/system COMPONENT server)
install(FILES deploy/systemd/nimbrel-server.default DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default
        RENAME nimbrel-server COMPONENT server)
install(FILES deploy/nginx/nimbrel-server.conf deploy/nginx/nimbrel-proxy.conf
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/nimbrel-server/examples COMPONENT server)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/nimbrel-server COMPONENT server)

# Debian wants a copyright file and a compressed changelog in each package's doc folder.
find_program(GZIP gzip REQUIRED)
execute_process(COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/deploy/debian/changelog
                OUTPUT_FILE ${generated}/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
foreach(pair app:nimbrel server:nimbrel-server)
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 component)
    list(GET pair 1 package)
    install(FILES deploy/debian/copyright ${generated}/changelog.Debian.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nimbrel)
set(CPACK_PACKAGE_VENDOR "The Nimbrel developers")
set(CPACK_PACKAGE_CONTACT "The Nimbrel developers <dev@nimbrel.test>")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL app server)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Packaged apart from the sources: a Debian revision, matching deploy/debian/changelog.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SOURCE nimbrel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_APP_PACKAGE_NAME nimbrel)
set(CPACK_DEBIAN_SERVER_PACKAGE_NAME nimbrel-server)
# What the binaries load at run time that dpkg-shlibdeps cannot see: Qt's platform plugins
# (xcb, wayland) and the SVG icon engine. QtWebEngine is linked by the web plugin, which is in
# the package, so shlibdeps finds it
# (the TLS and network-information plugins come with libqt6network6, which shlibdeps finds).
set(CPACK_DEBIAN_APP_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
# DNS changes go through one of these; the login unit needs the session bus.
set(CPACK_DEBIAN_APP_PACKAGE_RECOMMENDS "network-manager | systemd-resolved, dbus-user-session | default-dbus-session-bus, qt6-wayland")
set(CPACK_DEBIAN_APP_DESCRIPTION "content filter and self-control tool
Nimbrel points the computer's DNS at its operator's filtering DNS server,
which blocks the websites and categories the user chose; a watchdog keeps
it there when the network changes. Chosen applications are asked to quit
when they come to the front, and changes that weaken protection can be
locked behind a PIN. Tray icon, starts at login, English and French.")
# The SQLite driver is the default database; PostgreSQL's is needed for several servers.
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_SERVER_PACKAGE_SUGGESTS "libqt6sql6-psql, nginx")
set(CPACK_DEBIAN_SERVER_DESCRIPTION "operator server of the Nimbrel content filter
The REST API the Nimbrel app talks to (accounts, block lists, PIN), the
page behind its password reset links, and the filtering DNS resolver the
app points computers at. Runs as a systemd service with the one privilege
it needs, binding port 53.")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/deploy/debian/nimbrel-server/postinst
    ${PROJECT_SOURCE_DIR}/deploy/debian/nimbrel-server/prerm
    ${PROJECT_SOURCE_DIR}/deploy/debian/nimbrel-server/postrm
    ${PROJECT_SOURCE_DIR}/deploy/debian/nimbrel-server/conffiles)
include(CPack)

# Install rules for an FHS layout and the Debian packages built by CPack
# (scripts/package):
#   pbxhost             /usr/bin/pbxhost; the plug-ins, libVarnel.so and our
#                       shared libraries in /usr/lib/pbxhost; the systemd unit,
#                       the service user, /etc/pbxhost/pbxhost.conf, the
#                       system bus policy of the notifications, the
#                       manuals and the front database's schema scripts.
#   pbxhost-simulators  hl-driver-sim, modem-sim and varnel-cli, for
#                       commissioning and trying a set-up by hand.
# The run paths ($ORIGIN/../lib/pbxhost for programs, $ORIGIN for libraries)
# are set in the top-level CMakeLists.txt.
set(PBXHOST_LIBDIR ${PBXHOST_PRIVATE_LIBDIR_RELATIVE})
set(PBXHOST_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/pbxhost)
# The unit reads /etc/pbxhost/pbxhost.conf whatever the prefix.
set(PBXHOST_SYSCONFDIR /etc/pbxhost)

install(TARGETS pbxhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT service)
install(TARGETS mod_quorvin mod_varnel mod_tellum
  LIBRARY DESTINATION ${PBXHOST_LIBDIR} COMPONENT service)
install(TARGETS Varnel rtl platform
  LIBRARY DESTINATION ${PBXHOST_LIBDIR} COMPONENT service NAMELINK_COMPONENT service)

install(FILES dist/pbxhost.service DESTINATION lib/systemd/system COMPONENT service)
install(FILES dist/sysusers.conf DESTINATION lib/sysusers.d RENAME pbxhost.conf
  COMPONENT service)
install(FILES dist/pbxhost.conf DESTINATION ${PBXHOST_SYSCONFDIR}
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ COMPONENT service)
install(FILES dist/logrotate DESTINATION /etc/logrotate.d RENAME pbxhost COMPONENT service)
# Lets the service's user own the link library's and the host's bus names, and its
# group receive the notifications and read the host's status.
install(FILES varnel/dbus/org.hotelpbxlink.Varnel.conf host/dbus/org.hotelpbxlink.PbxHost.conf
  DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/system.d COMPONENT service)
install(FILES README.md DESTINATION ${PBXHOST_DOCDIR} COMPONENT service)
install(DIRECTORY docs/ DESTINATION ${PBXHOST_DOCDIR} COMPONENT service
  FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
install(FILES db/schema.sql db/demo-data.sql db/README.md
  DESTINATION ${CMAKE_INSTALL_DATADIR}/pbxhost/db COMPONENT service)

install(TARGETS hl-driver-sim modem-sim varnel-cli
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT simulators)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pbxhost)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Hotel PBX link: front office to telephone exchange")
set(CPACK_PACKAGE_CONTACT "Hotel PBX link maintainers <root@localhost>")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL service simulators)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our own libraries come with the package; dpkg-shlibdeps looks them up here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME pbxhost)
set(CPACK_DEBIAN_SERVICE_FILE_NAME pbxhost_${PROJECT_VERSION}_amd64.deb)
set(CPACK_DEBIAN_SERVICE_DESCRIPTION
  "Hotel PBX link: front office to telephone exchange
 pbxhost runs the PBX manager, which turns the front office's check-ins,
 check-outs and room moves into line operations on the exchange, with the
 hotel-link adapter (the exchange's HL driver over TCP) or the modem adapter
 (AT command lines on a serial port), as a systemd service.")
set(CPACK_DEBIAN_SERVICE_PACKAGE_DEPENDS "adduser | systemd")
set(CPACK_DEBIAN_SERVICE_PACKAGE_RECOMMENDS "firebird3.0-server")
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_SOURCE_DIR}/dist/debian/conffiles
  ${CMAKE_CURRENT_SOURCE_DIR}/dist/debian/postinst
  ${CMAKE_CURRENT_SOURCE_DIR}/dist/debian/prerm
  ${CMAKE_CURRENT_SOURCE_DIR}/dist/debian/postrm)
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_SIMULATORS_PACKAGE_NAME pbxhost-simulators)
set(CPACK_DEBIAN_SIMULATORS_FILE_NAME pbxhost-simulators_${PROJECT_VERSION}_amd64.deb)
set(CPACK_DEBIAN_SIMULATORS_DESCRIPTION
  "Hotel PBX link: simulators and commissioning tools
 hl-driver-sim plays the exchange's HL driver on a TCP port, modem-sim a
 modem on a pseudo-terminal, varnel-cli runs the link library's functions
 by hand. For commissioning and trying a set-up without an exchange.")
set(CPACK_DEBIAN_SIMULATORS_PACKAGE_DEPENDS "pbxhost (= ${PROJECT_VERSION})")

include(CPack)

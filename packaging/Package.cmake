# The .deb: `cpack -G DEB` in the build folder. A package installs under
# /usr whatever prefix the build was configured with: every install
# destination but /etc is relative, and the programs find their component
# and data relative to themselves.
set(CPACK_PACKAGE_NAME pluvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Pluvane developers <pluvane@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "RTTY weather broadcast reader with a SYNOP decoder")
set(CPACK_PACKAGE_DESCRIPTION "Pluvane shows the teletype text that a networked RTTY decoder card decodes \
from a radio's audio and decodes the SYNOP weather reports found in it. \
The package holds the desktop front end, the card server (which decodes \
RTTY from a sound card or a recording, and can run as a systemd service), \
the pluvane-rtty and pluvane-synop tools and pluvane-reg.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PLUVANE_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The component is found by dpkg-shlibdeps in its private folder.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd")
# The configuration in /etc is the administrator's: kept on upgrade and removal.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/conffiles "${PLUVANE_CONFIG_DIR}/cardserver.conf\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_BINARY_DIR}/conffiles
  ${CMAKE_CURRENT_SOURCE_DIR}/service/postinst
  ${CMAKE_CURRENT_SOURCE_DIR}/service/prerm
  ${CMAKE_CURRENT_SOURCE_DIR}/service/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR DEB)
include(CPack)

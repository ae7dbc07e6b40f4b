# The .deb: `cpack -G DEB` in the build folder. A package installs under
# /usr whatever prefix the build was configured with: every install
# destination but /etc is relative, and the programs find their component
# and data relative to themselves.
set(CPACK_PACKAGE_NAME pluvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Pluvane developers <pluvane@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "RTTY weather broadcast reader with a SYNOP decoder")
# The extended description as dpkg shows it: lines of at most 79 characters.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Pluvane shows the teletype text that a networked RTTY decoder card decodes\n"
  "from a radio's audio and decodes the SYNOP weather reports found in it.\n"
  "The package holds the desktop front end, the card server (which decodes\n"
  "RTTY from a sound card or a recording, and can run as a systemd service),\n"
  "pluvane-monitor (a waterfall of each card's input, tuned by a click), the\n"
  "pluvane-rtty and pluvane-synop tools and pluvane-reg.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
if(PLUVANE_HOMEPAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PLUVANE_HOMEPAGE})
endif()
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Where systemd-sysusers is missing, postinst makes the service's user with adduser.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
set(CPACK_STRIP_FILES ON)
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

# A bare `cpack` builds what the package holds and nothing else: installing
# no longer builds every target (the tests, benchmarks and fuzzers among
# them) first; CPack builds the packaged targets itself before it installs.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON CACHE BOOL "Installing does not build every target first")
set(packaged_targets man-pages package-docs icons)
foreach(program pluvane pluvane-cardserver pluvane-rtty pluvane-synop pluvane-synop-full pluvane-reg pluvane-monitor pluvane-synop-component)
  if(TARGET ${program})
    list(APPEND packaged_targets ${program})
  endif()
endforeach()
add_custom_target(packaged DEPENDS ${packaged_targets})
set(CPACK_INSTALL_COMMANDS "${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target packaged")
include(CPack)

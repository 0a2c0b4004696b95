# The Debian package, built with CPack (tools/package): name quelmint, installed under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quelmint)
set(CPACK_PACKAGE_VERSION 1.0.0.1)
set(CPACK_PACKAGE_VENDOR "The Quelmint developers")
set(CPACK_PACKAGE_CONTACT "Quelmint developers <quelmint@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop network traffic monitor for one Ethernet adapter")
set(CPACK_PACKAGE_INSTALL_DIRECTORY quelmint)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quelmint.github.io/")
# The summary above is the synopsis line; this is the long description below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quelmint counts every IPv4 frame that passes one Ethernet adapter as download,
upload or pass-by traffic, split into header and data bytes. It shows running
totals, the speed each second with a graph, a list of connections, a per-day
usage history kept in yearly text files, a stopwatch and a notification-area
icon.
.
Capture runs in a small helper program, the only file the package grants a
capability (cap_net_raw), so every local user who can run it can capture;
the window itself holds no privilege. dpkg-statoverride restricts the helper
to a group.")
# Libraries come from the binary; setcap comes from libcap2-bin.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/data/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)

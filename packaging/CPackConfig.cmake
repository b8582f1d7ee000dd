# make deb: one Debian package with every program, from the plain build's install rules.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qvr100pci)
set(CPACK_PACKAGE_VENDOR "Norvale")
set(CPACK_PACKAGE_CONTACT "Norvale QVR100PCI team <qvr100pci@norvale.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "film dosimeter reader and dose workstation")
set(CPACK_PACKAGE_DESCRIPTION
    "QVR100PCI reads radiochromic dose films through the reader's data-acquisition card (or a
simulated head for training), shows the absorbance and serves it on the session bus.
qvr100ctl reads it from scripts; qvr100dose turns it into dose with its uncertainty and
keeps tamper-evident records in SQLite or PostgreSQL.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What Qt loads at run time, which shlibdeps cannot see: the platform plugins, the SQL
# drivers, the SVG support for the icons, the forms' font and the user's session bus.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, libqt6sql6-sqlite, libqt6sql6-psql, libqt6svg6, fonts-liberation, dbus-user-session")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

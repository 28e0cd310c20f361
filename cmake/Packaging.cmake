# `cpack -G DEB` in a build folder: a Debian package of what `cmake --install` puts in place
# (the programs, the launcher, the icons, the metainfo file and the manual page) under /usr,
# with the Debian packages it needs as dependencies: the shared libraries found by
# dpkg-shlibdeps, and what the program loads by name (fonts, Qt's translations and SVG plugin).
set(CPACK_PACKAGE_NAME pelvaro-collector)
set(CPACK_PACKAGE_VENDOR "Pelvaro Collector team")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Collects short videos from the Pelvaro news platform")
set(CPACK_PACKAGE_DESCRIPTION
    "A desktop program and a terminal program (pelvaro-cli) that walk the related videos of the
Pelvaro news platform, check each against the user's limits and download the ones that pass.
pelvaro-sim, the simulated platform, comes with them.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pelvaro Collector team <collector@pelvaro.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei, qt6-translations-l10n, libqt6svg6")

include(CPack)

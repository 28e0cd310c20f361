# `cpack -G DEB` in a build folder: three Debian packages of what `cmake --install` puts in
# place, one per install component, each with its copyright file, changelog and manual pages:
# - pelvaro-cli: the terminal program, without Qt (for servers);
# - pelvaro-collector: the desktop program, its launcher, icons and metainfo;
# - pelvaro-sim: the simulated platform, to try both without the platform.
# Dependencies are the shared libraries found by dpkg-shlibdeps, and what a program loads by
# name (fonts, Qt's translations and SVG plug-in, the system's certificates).
include(GNUInstallDirs)

set(CPACK_PACKAGE_VENDOR "Pelvaro Collector team")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pelvaro Collector team <collector@pelvaro.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(pelvaro_packages cli sim)
if(TARGET pelvaro-collector)
  list(APPEND pelvaro_packages collector)
endif()
set(CPACK_COMPONENTS_ALL ${pelvaro_packages})

# Each description: the synopsis, then the extended lines (at most 79 columns each).
set(CPACK_DEBIAN_CLI_PACKAGE_NAME pelvaro-cli)
set(CPACK_DEBIAN_CLI_DESCRIPTION "collect short videos from the Pelvaro platform in a terminal
pelvaro-cli walks the related videos of the Pelvaro news platform from seed
articles, checks each against the user's limits (age, duration, size) and
downloads the ones that pass, as the desktop program pelvaro-collector does,
without a display: for a terminal, scripts (JSON Lines) and servers.
To try it without the platform, install pelvaro-sim.")
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "ca-certificates")
set(CPACK_DEBIAN_CLI_PACKAGE_SUGGESTS "pelvaro-sim")

set(CPACK_DEBIAN_COLLECTOR_PACKAGE_NAME pelvaro-collector)
set(CPACK_DEBIAN_COLLECTOR_DESCRIPTION "collect short videos from the Pelvaro news platform
The desktop program walks the related videos of the Pelvaro news platform from
seed articles, checks each against the user's limits (category, age,
duration, size) and downloads the ones that pass into the chosen folder.
Its terminal twin is pelvaro-cli; to try it without the platform, install
pelvaro-sim.")
set(CPACK_DEBIAN_COLLECTOR_PACKAGE_DEPENDS "fonts-wqy-microhei, qt6-translations-l10n, libqt6svg6")
set(CPACK_DEBIAN_COLLECTOR_PACKAGE_RECOMMENDS "ca-certificates")
set(CPACK_DEBIAN_COLLECTOR_PACKAGE_SUGGESTS "pelvaro-cli, pelvaro-sim")

set(CPACK_DEBIAN_SIM_PACKAGE_NAME pelvaro-sim)
set(CPACK_DEBIAN_SIM_DESCRIPTION "simulated Pelvaro platform for trying pelvaro-collector
pelvaro-sim serves on 127.0.0.1 everything pelvaro-collector and pelvaro-cli
ask of the Pelvaro platform and its vendor: related videos, article pages and
video files over HTTPS, the collection and category services, update hosts,
a quote and a speech service. It is the way to try both programs without the
platform: \"pelvaro-sim --ephemeral --env-file F\" writes the variables to
source before starting them. Faults can be switched on for tests.")

# The documents every package carries.
foreach(component IN LISTS pelvaro_packages)
  string(TOUPPER ${component} upper)
  set(PACKAGE ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  set(doc ${CMAKE_INSTALL_DATADIR}/doc/${PACKAGE})
  set(changelog ${CMAKE_BINARY_DIR}/packaging/${PACKAGE}/changelog)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${changelog} @ONLY)
  execute_process(COMMAND gzip -9nkf ${changelog} COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${changelog}.gz DESTINATION ${doc} COMPONENT ${component})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/docs/pelvaro-cli.service DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pelvaro-cli/examples
        COMPONENT cli)

include(CPack)

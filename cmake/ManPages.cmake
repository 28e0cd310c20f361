# Manual pages, installed gzipped into the component of their program. The terminal programs'
# pages are made from their --help (help2man) and the sections of packaging/man; the desktop
# program reads no command line, so its page is written out and shares those sections.
include(GNUInstallDirs)
find_program(HELP2MAN help2man)
set(PELVARO_MAN_SOURCE ${PROJECT_SOURCE_DIR}/packaging/man)

# pelvaro_help2man(TARGET NAME WHATIS COMPONENT C INCLUDES file...)
function(pelvaro_help2man target)
  cmake_parse_arguments(ARG "" "WHATIS;COMPONENT" "INCLUDES" ${ARGN})
  if(NOT HELP2MAN)
    return()
  endif()
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  set(includes)
  foreach(file IN LISTS ARG_INCLUDES)
    list(APPEND includes --include ${PELVARO_MAN_SOURCE}/${file})
    list(APPEND depends ${PELVARO_MAN_SOURCE}/${file})
  endforeach()
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section 1 --name ${ARG_WHATIS} ${includes}
            --output ${page} $<TARGET_FILE:${target}>
    # The "Exit status:" paragraph of --help is a section of its own in a manual page.
    COMMAND sed -i "s/^\\.SS \"Exit status:\"$/.SH \"EXIT STATUS\"/" ${page}
    COMMAND gzip -9nf ${page}
    DEPENDS ${target} ${depends}
    COMMENT "Manual page of ${target}"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${ARG_COMPONENT})
endfunction()

# pelvaro_written_man_page(NAME COMPONENT C): packaging/man/NAME.1.in with the shared sections.
function(pelvaro_written_man_page name)
  cmake_parse_arguments(ARG "" "COMPONENT" "" ${ARGN})
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${PELVARO_MAN_SOURCE}/${name}.1.in ${PELVARO_MAN_SOURCE}/environment.h2m)
  file(READ ${PELVARO_MAN_SOURCE}/environment.h2m PELVARO_MAN_ENVIRONMENT)
  string(REGEX REPLACE "\\[([A-Z ]+)\\]" ".SH \\1" PELVARO_MAN_ENVIRONMENT "${PELVARO_MAN_ENVIRONMENT}")
  # A build for the tests obeys one variable more; its page says so.
  if(PELVARO_TEST_AUTOMATION)
    string(REPLACE ".SH FILES" ".TP\n.B PELVARO_TEST_AUTOMATION\nsteps for the tests to run after the hand-over (this build only)\n\n.SH FILES"
           PELVARO_MAN_ENVIRONMENT "${PELVARO_MAN_ENVIRONMENT}")
  endif()
  string(TIMESTAMP PELVARO_MAN_DATE "%B %Y" UTC)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${name}.1)
  configure_file(${PELVARO_MAN_SOURCE}/${name}.1.in ${page} @ONLY)
  add_custom_command(OUTPUT ${page}.gz COMMAND gzip -9nkf ${page} DEPENDS ${page}
                     COMMENT "Manual page of ${name}" VERBATIM)
  add_custom_target(${name}-man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${ARG_COMPONENT})
endfunction()

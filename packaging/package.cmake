# SPDX-License-Identifier: MIT
# What an installed Loomwise brings besides its programs (manual pages, bash,
# zsh and fish completion, AppStream metainfo, the Debian changelog and copyright), and
# the Debian package made from the install: cpack -G DEB in the build
# directory (scripts/package.sh builds it and checks it).

set(LOOMWISE_MAINTAINER
  "Seed 9cfc067e maintainers <maintainers@users.noreply.c-seed-9cfc067e.example>")

set(pkg ${CMAKE_CURRENT_LIST_DIR})
set(out ${CMAKE_BINARY_DIR}/packaging)
set(doc ${CMAKE_INSTALL_DATADIR}/doc/loomwise)

# Manual pages: help2man from each program's --help, plus the sections
# written in packaging/<program>.h2m.
find_program(HELP2MAN help2man)
set(programs loomwise-batch)
if(TARGET loomwise)
  list(APPEND programs loomwise)
endif()
if(HELP2MAN)
  set(pages)
  foreach(program ${programs})
    add_custom_command(OUTPUT ${out}/${program}.1.gz
      COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${HELP2MAN} -DPROGRAM=$<TARGET_FILE:${program}>
              -DINCLUDE=${pkg}/${program}.h2m -DOUTPUT=${out}/${program}.1 -P ${pkg}/man_page.cmake
      DEPENDS ${program} ${pkg}/${program}.h2m ${pkg}/man_page.cmake
      COMMENT "Manual page ${program}(1)")
    list(APPEND pages ${out}/${program}.1.gz)
  endforeach()
  add_custom_target(man-pages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no manual pages (scripts/package.sh installs it)")
endif()

install(FILES ${pkg}/loomwise-batch.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME loomwise-batch)
install(FILES ${pkg}/loomwise-batch.zsh
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions RENAME _loomwise-batch)
install(FILES ${pkg}/loomwise-batch.fish
  DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)

if(TARGET loomwise)
  configure_file(${pkg}/org.loomwise.Loomwise.metainfo.xml
    ${out}/org.loomwise.Loomwise.metainfo.xml @ONLY)
  install(FILES ${out}/org.loomwise.Loomwise.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

add_custom_command(OUTPUT ${out}/changelog.gz
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/debian/changelog > ${out}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/debian/changelog
  VERBATIM)
add_custom_target(package-changelog ALL DEPENDS ${out}/changelog.gz)
install(FILES ${out}/changelog.gz ${pkg}/copyright DESTINATION ${doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME loomwise)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${LOOMWISE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Setup's grids read the rules through Qt's SQLite driver, a plugin that the
# libraries' own dependencies do not bring.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6sql6-sqlite)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "turn a directory of plain text files into a small web site
Loomwise makes one HTML page of every plain text file of a directory and one
index page that links them all, grouped by file type. Rules kept in a small
SQLite database decide how each line becomes HTML: search and replace, blocks
to remove, formatting marks, header lines, titles and the text around pages.
.
The package holds the desktop program loomwise, which edits the rules and
converts a directory pair, and loomwise-batch for scripts. Each user edits
their own copy of the rules, made for text of this platform.")
include(CPack)

# SPDX-License-Identifier: MIT
# What an installed Loomwise brings besides its programs and rules: manual
# pages, bash, zsh and fish completion, AppStream metainfo. debian/ parts the
# install into the packages loomwise-batch and loomwise (scripts/package.sh
# builds and checks them).

set(pkg ${CMAKE_CURRENT_LIST_DIR})
set(out ${CMAKE_BINARY_DIR}/packaging)

# Manual pages: help2man from each program's --help, plus the sections
# written in packaging/<program>.h2m. Installed uncompressed: a Debian build
# compresses them the way it wants.
find_program(HELP2MAN help2man)
set(programs loomwise-batch)
if(TARGET loomwise)
  list(APPEND programs loomwise)
endif()
if(HELP2MAN)
  set(pages)
  foreach(program ${programs})
    add_custom_command(OUTPUT ${out}/${program}.1
      COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${HELP2MAN} -DPROGRAM=$<TARGET_FILE:${program}>
              -DINCLUDE=${pkg}/${program}.h2m -DOUTPUT=${out}/${program}.1 -P ${pkg}/man_page.cmake
      DEPENDS ${program} ${pkg}/${program}.h2m ${pkg}/man_page.cmake
      COMMENT "Manual page ${program}(1)")
    list(APPEND pages ${out}/${program}.1)
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

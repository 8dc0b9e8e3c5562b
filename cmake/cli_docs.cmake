# Man pages and bash completion written from a program's CLI11 definition,
# by the program itself at build time (--write-man-page,
# --write-bash-completion), and installed with it.
include_guard(GLOBAL)

function(orvo_cli_docs program)
  # A Windows build would need its emulator to run the program; its package
  # has no man pages.
  if(CMAKE_CROSSCOMPILING)
    return()
  endif()
  set(man_dir ${CMAKE_BINARY_DIR}/share/man/man1)
  set(completion_dir ${CMAKE_BINARY_DIR}/share/bash-completion/completions)
  # Installed compressed, as Debian keeps its pages; the build tree keeps
  # the plain page too, for man -l.
  add_custom_command(
    OUTPUT ${man_dir}/${program}.1 ${man_dir}/${program}.1.gz ${completion_dir}/${program}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir} ${completion_dir}
    COMMAND ${program} --write-man-page ${man_dir}/${program}.1
    COMMAND gzip -9 -n -f -k ${man_dir}/${program}.1
    COMMAND ${program} --write-bash-completion ${completion_dir}/${program}
    DEPENDS ${program}
    COMMENT "Writing the man page and bash completion of ${program}"
    VERBATIM)
  add_custom_target(${program}_docs ALL DEPENDS ${man_dir}/${program}.1.gz)
  install(FILES ${man_dir}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${completion_dir}/${program}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endfunction()

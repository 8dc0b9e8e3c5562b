# Where an installation puts each kind of file (GNUInstallDirs), and where
# the build tree has the same files. The host library finds the plug-in and
# the catalogs from the platform library's own folder, in either tree, by
# the relative paths worked out here.
include(GNUInstallDirs)

if(WIN32)
  # Windows finds a library's DLLs in its own folder: programs, the platform
  # library and the plug-in share one.
  set(ORVO_INSTALL_LIBRARYDIR ${CMAKE_INSTALL_BINDIR})
  set(ORVO_INSTALL_MODULEDIR ${CMAKE_INSTALL_BINDIR})
  set(ORVO_BUILD_LIBRARYDIR ${CMAKE_BINARY_DIR}/bin)
else()
  set(ORVO_INSTALL_LIBRARYDIR ${CMAKE_INSTALL_LIBDIR})
  # The plug-in is loaded, never linked: a folder of its own keeps it off the
  # linker's search path.
  set(ORVO_INSTALL_MODULEDIR ${CMAKE_INSTALL_LIBDIR}/orvo)
  set(ORVO_BUILD_LIBRARYDIR ${CMAKE_BINARY_DIR}/lib)
endif()
set(ORVO_INSTALL_CATALOGDIR ${CMAKE_INSTALL_DATADIR}/orvo)
set(ORVO_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/orvo)
set(ORVO_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/orvo)
# The build tree keeps the plug-in beside orvo-host and the tests.
set(ORVO_BUILD_MODULEDIR ${CMAKE_BINARY_DIR}/bin)
set(ORVO_BUILD_CATALOGDIR ${CMAKE_BINARY_DIR}/share/orvo)

# `to` relative to `from`, both absolute or both under one prefix; "." when
# they are the same.
function(orvo_relative_path out from to)
  if(NOT IS_ABSOLUTE ${from})
    set(from /prefix/${from})
    set(to /prefix/${to})
  endif()
  file(RELATIVE_PATH relative ${from} ${to})
  if(relative STREQUAL "")
    set(relative .)
  endif()
  set(${out} ${relative} PARENT_SCOPE)
endfunction()

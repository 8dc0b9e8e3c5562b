# What engines build against (a CMake package and a pkg-config file) and
# the packages: a Debian package of the Linux build, a ZIP of the Windows one.
include(CMakePackageConfigHelpers)

if(WIN32)
  set(plugin_file ${ORVO_INSTALL_MODULEDIR}/orvo_ds_mzxml.dll)
else()
  set(plugin_file ${ORVO_INSTALL_MODULEDIR}/liborvo_ds_mzxml.so)
endif()

install(EXPORT orvo_targets NAMESPACE orvo:: FILE orvoTargets.cmake
  DESTINATION ${ORVO_INSTALL_CMAKEDIR})
configure_package_config_file(cmake/package/orvoConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/orvoConfig.cmake
  INSTALL_DESTINATION ${ORVO_INSTALL_CMAKEDIR}
  PATH_VARS plugin_file ORVO_INSTALL_CATALOGDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/orvoConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/orvoConfig.cmake
  ${CMAKE_BINARY_DIR}/package/orvoConfigVersion.cmake
  DESTINATION ${ORVO_INSTALL_CMAKEDIR})

# Written at install time, when the prefix is known (a package's differs
# from the build's).
install(CODE "
  set(prefix \${CMAKE_INSTALL_PREFIX})
  set(ORVO_INSTALL_LIBRARYDIR [[${ORVO_INSTALL_LIBRARYDIR}]])
  set(ORVO_INSTALL_INCLUDEDIR [[${ORVO_INSTALL_INCLUDEDIR}]])
  set(ORVO_INSTALL_CATALOGDIR [[${ORVO_INSTALL_CATALOGDIR}]])
  set(plugin_file [[${plugin_file}]])
  set(PROJECT_VERSION [[${PROJECT_VERSION}]])
  configure_file([[${PROJECT_SOURCE_DIR}/cmake/package/orvo-pal.pc.in]]
    [[${CMAKE_BINARY_DIR}/package/orvo-pal.pc]] @ONLY)")
install(FILES ${CMAKE_BINARY_DIR}/package/orvo-pal.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(CPACK_PACKAGE_NAME orvo)
set(CPACK_PACKAGE_VENDOR "orvo")
set(CPACK_PACKAGE_CONTACT "orvo developers <orvo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "mzXML 2.0/2.1 data-source plug-in, its host and Python module")
set(CPACK_PACKAGE_DESCRIPTION
  "A data-source plug-in that lets a mass-spectrometry analysis engine read\n\
peak-list files in the open mzXML format (schema 2.0 and 2.1), the\n\
command-line host orvo-host, the generator orvo-mkmzxml, the orvo Python\n\
package and what an engine needs to load the plug-in: headers, a CMake\n\
package and a pkg-config file.")
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-windows-x86_64)
  # The compiler's runtime DLLs the programs and libraries need, found in
  # the cross compiler's folders by the files' import tables.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
    OUTPUT_VARIABLE runtime_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
    OUTPUT_VARIABLE pthread_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(runtime_dir ${runtime_dll} DIRECTORY)
  get_filename_component(pthread_dir ${pthread_dll} DIRECTORY)
  install(CODE "
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND [[${CMAKE_OBJDUMP}]])
    file(GET_RUNTIME_DEPENDENCIES
      EXECUTABLES $<TARGET_FILE:orvo-host> $<TARGET_FILE:orvo-mkmzxml>
      LIBRARIES $<TARGET_FILE:orvo_pal>
      MODULES $<TARGET_FILE:orvo_ds_mzxml>
      DIRECTORIES [[${runtime_dir}]] [[${pthread_dir}]]
      # Windows' own DLLs stay unresolved; the project's are installed already.
      POST_INCLUDE_REGEXES [[^${runtime_dir}/]] [[^${pthread_dir}/]]
      POST_EXCLUDE_REGEXES .*
      RESOLVED_DEPENDENCIES_VAR runtime_dlls
      UNRESOLVED_DEPENDENCIES_VAR system_dlls)
    file(INSTALL \${runtime_dlls}
      DESTINATION \${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR})")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  # The libraries it links, as dpkg-shlibdeps finds their packages; its own
  # platform library is in the package.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_BINARY_DIR}/_CPack_Packages/Linux/DEB/${CPACK_PACKAGE_FILE_NAME}/usr/${ORVO_INSTALL_LIBRARYDIR})
  if(TARGET orvo)
    # The Python package is built for one interpreter version and uses numpy.
    execute_process(COMMAND ${ORVO_PYTHON_EXECUTABLE} -c
      "import sys; print('%d.%d' % sys.version_info[:2]); print('%d.%d' % (sys.version_info[0], sys.version_info[1] + 1))"
      OUTPUT_VARIABLE python_versions OUTPUT_STRIP_TRAILING_WHITESPACE)
    string(REPLACE "\n" ";" python_versions "${python_versions}")
    list(GET python_versions 0 python_this)
    list(GET python_versions 1 python_next)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "python3 (>= ${python_this}), python3 (<< ${python_next}), python3-numpy")
    set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-dask, python3-distributed, python3-pandas")
    configure_file(cmake/package/prerm.in ${CMAKE_BINARY_DIR}/package/prerm @ONLY)
    file(CHMOD ${CMAKE_BINARY_DIR}/package/prerm PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
      GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/package/prerm)
  endif()
endif()
include(CPack)

# The host's libraries in a cross build, where none is installed for the
# target: fmt, CLI11 and nlohmann-json are used header-only from the build
# machine's headers (each folder linked alone into the build tree, so no
# other header of the build machine is seen), and SHA-1 comes from a small
# header of the project with nettle's interface.
include_guard(GLOBAL)

set(ORVO_HEADER_ONLY_ROOT /usr/include CACHE PATH
    "Folder holding the fmt, CLI and nlohmann header folders for a cross build")
set(header_only_dir ${CMAKE_BINARY_DIR}/header-only)
file(MAKE_DIRECTORY ${header_only_dir})
foreach(name fmt CLI nlohmann)
  if(NOT EXISTS ${ORVO_HEADER_ONLY_ROOT}/${name})
    message(FATAL_ERROR "no ${ORVO_HEADER_ONLY_ROOT}/${name} (libfmt-dev, libcli11-dev, nlohmann-json3-dev)")
  endif()
  file(CREATE_LINK ${ORVO_HEADER_ONLY_ROOT}/${name} ${header_only_dir}/${name} SYMBOLIC)
endforeach()

add_library(fmt::fmt INTERFACE IMPORTED GLOBAL)
set_target_properties(fmt::fmt PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${header_only_dir}
  INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY=1)
add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${header_only_dir})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${header_only_dir})
add_library(PkgConfig::NETTLE INTERFACE IMPORTED GLOBAL)
set_target_properties(PkgConfig::NETTLE PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/third_party)

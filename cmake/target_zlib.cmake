# ZLIB::ZLIB for the target: the build machine's zlib, or in a cross build
# Debian's libz-mingw-w64-dev, which the cross toolchain's search root holds.
# Included by each folder that links it: find_package's targets are seen
# only in the folder that found them.
if(CMAKE_CROSSCOMPILING)
  if(NOT TARGET ZLIB::ZLIB)
    find_path(ORVO_TARGET_ZLIB_INCLUDE zlib.h)
    find_library(ORVO_TARGET_ZLIB NAMES libz.a z)
    if(NOT ORVO_TARGET_ZLIB_INCLUDE OR NOT ORVO_TARGET_ZLIB)
      message(FATAL_ERROR "no zlib for the target (Debian's libz-mingw-w64-dev)")
    endif()
    add_library(ZLIB::ZLIB STATIC IMPORTED GLOBAL)
    set_target_properties(ZLIB::ZLIB PROPERTIES IMPORTED_LOCATION ${ORVO_TARGET_ZLIB}
      INTERFACE_INCLUDE_DIRECTORIES ${ORVO_TARGET_ZLIB_INCLUDE})
  endif()
else()
  find_package(ZLIB REQUIRED)
endif()

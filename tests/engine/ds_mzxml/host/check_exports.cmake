# Checks that the plug-in module exports its entry point and nothing else. Run as:
#   cmake -DMODULE=<path> -DENTRY=<mangled name> -P check_exports.cmake
# ENTRY is the name the host looks up, as the host-facing header spells it.
if(NOT MODULE)
  message(FATAL_ERROR "MODULE is not set")
endif()
if(NOT ENTRY)
  message(FATAL_ERROR "ENTRY is not set")
endif()
set(entry "${ENTRY}")

find_program(NM nm REQUIRED)
execute_process(COMMAND ${NM} -D --defined-only ${MODULE}
                OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "nm -D --defined-only ${MODULE} failed")
endif()

string(REPLACE "\n" ";" lines "${listing}")
set(own)
foreach(line ${lines})
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" symbol "${line}")
  if(symbol STREQUAL "")
    continue()
  endif()
  list(APPEND own "${symbol}")
endforeach()

message(STATUS "exported symbols: ${own}")
if(NOT own STREQUAL entry)
  message(FATAL_ERROR "expected only ${entry}, found: ${own}")
endif()

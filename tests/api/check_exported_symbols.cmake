# Compares the dynamic symbols the shared library defines with the version
# script: nothing outside the script may be visible, and every function the
# script names must be there.
file(STRINGS "${VERSION_SCRIPT}" script_lines REGEX "^[ \t]*vha?_[a-z0-9_]+;")
set(expected "")
foreach(line IN LISTS script_lines)
  string(STRIP "${line}" line)
  string(REPLACE ";" "" line "${line}")
  list(APPEND expected "${line}")
endforeach()
list(SORT expected)

execute_process(COMMAND nm -D --defined-only "${LIBRARY}"
                OUTPUT_VARIABLE nm_output RESULT_VARIABLE nm_result)
if(NOT nm_result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" nm_lines "${nm_output}")
set(actual "")
foreach(line IN LISTS nm_lines)
  if(line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) (.+)$")
    set(kind "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    string(REGEX REPLACE "@.*$" "" name "${name}")
    # The version node itself shows up as an absolute symbol.
    if(kind STREQUAL "A")
      continue()
    endif()
    list(APPEND actual "${name}")
  endif()
endforeach()
list(SORT actual)

if(NOT actual STREQUAL expected)
  set(extra ${actual})
  list(REMOVE_ITEM extra ${expected})
  set(missing ${expected})
  list(REMOVE_ITEM missing ${actual})
  message(FATAL_ERROR "exported symbols differ from the version script\n"
                      "  not in the script: ${extra}\n  missing: ${missing}")
endif()
list(LENGTH actual count)
message(STATUS "${count} exported symbols, all in the version script")

# The binary interface of libexprcalc.so.1 against its baseline in this folder:
#   libexprcalc.so.1.abi  what abidw (libabigail) reads from the shared library's
#                         debug information: every export, its parameters and
#                         the structs they reach, with their layout
#   constants.txt         the header's EXPRCALC_* constants (result codes, types,
#                         record layout, ...), which no binary holds
# MODE=check fails when a function is removed or changed, a struct's layout
# changes, or a constant is removed or changes its value; additions pass and
# are listed. MODE=baseline writes both files anew from the library given.
# Run by the targets abi-check and abi-baseline (packaging/CMakeLists.txt):
#   cmake -DMODE=check|baseline -DLIBRARY=... -DSOURCE_DIR=... -DWORK_DIR=...
#         -DC_COMPILER=... -P CheckAbi.cmake
# The library needs debug information (RelWithDebInfo or Debug).
cmake_minimum_required(VERSION 3.25)
foreach(required IN ITEMS MODE LIBRARY SOURCE_DIR WORK_DIR C_COMPILER)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "CheckAbi.cmake needs -D${required}=...")
  endif()
endforeach()
set(baseline_dir "${CMAKE_CURRENT_LIST_DIR}")
set(baseline_abi "${baseline_dir}/libexprcalc.so.1.abi")
set(baseline_constants "${baseline_dir}/constants.txt")
find_program(ABIDW abidw)
find_program(ABIDIFF abidiff)
if(NOT ABIDW OR NOT ABIDIFF)
  message(FATAL_ERROR "abidw and abidiff are needed: apt-get install abigail-tools")
endif()
file(MAKE_DIRECTORY "${WORK_DIR}")

# The library's ABI as the public header declares it, without the paths of
# this checkout, so that the baseline reads the same wherever it was made.
execute_process(COMMAND "${ABIDW}" --headers-dir "${SOURCE_DIR}/include" --drop-private-types
                        --exported-interfaces-only --drop-undefined-syms --no-elf-needed
                        --no-corpus-path --no-comp-dir-path --no-show-locs "${LIBRARY}"
  RESULT_VARIABLE result OUTPUT_VARIABLE abi ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "abidw ${LIBRARY} failed (${result}): ${errors}")
endif()
if(NOT abi MATCHES "<function-decl ")
  message(FATAL_ERROR "${LIBRARY} has no debug information for abidw: build it with -g (RelWithDebInfo or Debug)")
endif()
string(REPLACE "path='${SOURCE_DIR}/" "path='" abi "${abi}")
set(current_abi "${WORK_DIR}/libexprcalc.so.1.abi")
file(WRITE "${current_abi}" "${abi}")

# The header's constants, "NAME value" a line, as the preprocessor sees them
# (the version and the macros that decorate declarations are not constants).
execute_process(COMMAND "${C_COMPILER}" -E -dM -x c "${SOURCE_DIR}/include/exprcalc.h"
  RESULT_VARIABLE result OUTPUT_VARIABLE macros ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${C_COMPILER} -E -dM failed (${result}): ${errors}")
endif()
string(REPLACE "\n" ";" macros "${macros}")
set(constants "")
foreach(line IN LISTS macros)
  if(line MATCHES "^#define (EXPRCALC_[A-Z0-9_]+) (.+)$")
    set(constant "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
    if(NOT CMAKE_MATCH_1 MATCHES "^EXPRCALC_(H|API|CALL|VERSION|VERSION_NUMBER)$")
      list(APPEND constants "${constant}")
    endif()
  endif()
endforeach()
list(SORT constants)
list(JOIN constants "\n" constants_text)
set(current_constants "${WORK_DIR}/constants.txt")
file(WRITE "${current_constants}" "${constants_text}\n")

if(MODE STREQUAL "baseline")
  file(COPY_FILE "${current_abi}" "${baseline_abi}")
  file(COPY_FILE "${current_constants}" "${baseline_constants}")
  list(LENGTH constants constant_count)
  message(STATUS "ABI baseline written from ${LIBRARY}: ${baseline_abi} and ${constant_count} constants in "
                 "${baseline_constants}; commit both")
  return()
elseif(NOT MODE STREQUAL "check")
  message(FATAL_ERROR "MODE is check or baseline, not '${MODE}'")
endif()

# Every constant of the baseline keeps its value; new ones are additions.
file(STRINGS "${baseline_constants}" promised)
set(broken "")
foreach(line IN LISTS promised)
  if(NOT line IN_LIST constants)
    string(REGEX REPLACE " .*" "" name "${line}")
    set(now "removed")
    foreach(current IN LISTS constants)
      if(current MATCHES "^${name} (.*)$")
        set(now "now ${CMAKE_MATCH_1}")
      endif()
    endforeach()
    list(APPEND broken "  ${line} (${now})")
  endif()
endforeach()
set(added ${constants})
if(promised)
  list(REMOVE_ITEM added ${promised})
endif()

# abidiff lists every difference; with additions left out, any that remains
# breaks hosts built against the baseline.
execute_process(COMMAND "${ABIDIFF}" "${baseline_abi}" "${current_abi}" OUTPUT_VARIABLE report ERROR_VARIABLE report)
execute_process(COMMAND "${ABIDIFF}" --no-added-syms "${baseline_abi}" "${current_abi}"
  RESULT_VARIABLE abi_result OUTPUT_QUIET ERROR_QUIET)
if(added)
  list(JOIN added "\n  " added_text)
  string(APPEND report "Constants added:\n  ${added_text}\n")
endif()
if(broken OR NOT abi_result EQUAL 0)
  list(JOIN broken "\n" broken_text)
  message(FATAL_ERROR "The ABI of ${LIBRARY} breaks its baseline (abidiff exit ${abi_result}):\n${report}"
                      "Constants removed or changed:\n${broken_text}\n"
                      "Within SONAME libexprcalc.so.1 exports and constants are only ever added.")
endif()
if(report STREQUAL "")
  set(report "no difference\n")
endif()
message(STATUS "The ABI of ${LIBRARY} keeps its baseline: ${report}")

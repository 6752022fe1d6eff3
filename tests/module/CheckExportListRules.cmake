# Holds cmake/ExportList.cmake to the export list's rules: the project's list
# and a list grown by extension functions generate three files that agree, and
# each list that breaks one rule is refused with a message naming the fault.
# Run with cmake -P -DEXPORT_LIST=... -DWORK_DIR=...; a run given -DPARSE_ONLY=FILE
# only parses that file (each refused list needs a process of its own).
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ExportList.cmake)
if(DEFINED PARSE_ONLY)
  exprcalc_parse_exports("${PARSE_ONLY}" names)
  return()
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
# The cases are built from the project's fourteen classic names.
exprcalc_parse_exports("${EXPORT_LIST}" project)
list(SUBLIST project 0 ${EXPRCALC_CLASSIC_EXPORT_COUNT} classic)
list(JOIN classic "\n" classic_lines)
list(GET classic 0 first)
list(GET classic 1 second)
list(SUBLIST classic 2 -1 rest)
list(JOIN rest "\n" rest_lines)
list(SUBLIST classic 0 13 thirteen)
list(JOIN thirteen "\n" thirteen_lines)

# Generates from the list text and checks that the three files name the same
# entries at the same ordinals as expected_lines ("name ordinal" each).
function(ExpectGenerated case text expected_lines)
  set(dir "${WORK_DIR}/${case}")
  file(WRITE "${dir}/exports.list" "# a comment, then a blank line\n\n${text}\n")
  exprcalc_generate_exports("${dir}/exports.list" "${dir}")
  file(READ "${EXPRCALC_EXPORTS_FILE}" actual)
  if(NOT actual STREQUAL "${expected_lines}")
    message(FATAL_ERROR "${case}: exports file is\n${actual}\nexpected\n${expected_lines}")
  endif()
  file(READ "${EXPRCALC_DEF_FILE}" def)
  file(READ "${EXPRCALC_VERSION_SCRIPT}" map)
  string(REPLACE "\n" ";" entries "${expected_lines}")
  foreach(entry IN LISTS entries)
    if(entry MATCHES "^(.+) (.+)$")
      string(FIND "${def}" "    ${CMAKE_MATCH_1} @${CMAKE_MATCH_2}\n" at_def)
      string(FIND "${map}" "    ${CMAKE_MATCH_1};\n" at_map)
      if(at_def EQUAL -1 OR at_map EQUAL -1)
        message(FATAL_ERROR "${case}: ${entry} missing from the .def file or the version script")
      endif()
    endif()
  endforeach()
  message(STATUS "${case}: generated")
endfunction()

function(ExpectRefused case text message_pattern)
  set(file "${WORK_DIR}/refused/${case}.list")
  file(WRITE "${file}" "${text}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DPARSE_ONLY=${file} -P ${CMAKE_CURRENT_LIST_FILE}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  string(REGEX REPLACE "[ \t\r\n]+" " " output "${output}")  # CMake wraps its messages
  if(result EQUAL 0 OR NOT output MATCHES "${message_pattern}")
    message(FATAL_ERROR "${case}: expected a refusal matching '${message_pattern}', got (${result}):\n${output}")
  endif()
  message(STATUS "${case}: refused")
endfunction()

set(classic_numbered "")
set(ordinal 1)
foreach(name IN LISTS classic)
  string(APPEND classic_numbered "${name} ${ordinal}\n")
  math(EXPR ordinal "${ordinal} + 1")
endforeach()
ExpectGenerated(classic "${classic_lines}" "${classic_numbered}")
ExpectGenerated(extended "${classic_lines}\n  exprcalc_version\nexprcalc_evaluate 16\t\n"
  "${classic_numbered}exprcalc_version 15\nexprcalc_evaluate 16\n")

ExpectRefused(ClassicOutOfOrder "${second}\n${first}\n${rest_lines}" "not in byte order at ${first}")
ExpectRefused(ClassicListedTwice "${first}\n${first}\n${rest_lines}" "${first} is listed twice")
ExpectRefused(ClassicMissing "${thirteen_lines}" "13 names, fewer than the 14 classic")
ExpectRefused(ExtensionAmongClassic "${first}\nexprcalc_early\n${rest_lines}" "exprcalc_early takes ordinal 2")
ExpectRefused(ExtensionTakesFreedOrdinal "${thirteen_lines}\nexprcalc_next" "exprcalc_next takes ordinal 14")
ExpectRefused(ExtensionWithoutPrefix "${classic_lines}\nNewFunction" "NewFunction at ordinal 15 lacks the exprcalc_ prefix")
ExpectRefused(ExtensionListedTwice "${classic_lines}\nexprcalc_a\nexprcalc_a" "exprcalc_a is listed twice")
ExpectRefused(ExtensionInsertedOutOfTurn "${classic_lines}\nexprcalc_new\nexprcalc_old 15"
  "exprcalc_old states ordinal 15 but stands at 16")
ExpectRefused(NotACName "${classic_lines}\nexprcalc-dash" "'exprcalc-dash' is not a C name")

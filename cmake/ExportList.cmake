# The export list, parsed in one place. src/module/exports.list names the
# exported functions one a line, in the order of their ordinals: the fourteen
# classic names first, in byte order (ordinals 1 to 14), then the extension
# functions (exprcalc_*) from 15 on, each keeping its place for good. A line
# may state its ordinal after the name ("exprcalc_version 15"); it must then
# be the line's place, so that an entry inserted out of turn fails the build.
# Everything else that needs the list reads what exprcalc_generate_exports
# writes from it.

set(EXPRCALC_CLASSIC_EXPORT_COUNT 14)

# Reads list_file into out_var (the names in ordinal order) and stops the
# configuration with the line at fault when the list breaks a rule above.
function(exprcalc_parse_exports list_file out_var)
  file(STRINGS "${list_file}" lines)
  set(names "")
  set(ordinal 0)
  set(previous_classic "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    math(EXPR ordinal "${ordinal} + 1")
    if(NOT line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)([ \t]+([0-9]+))?$")
      message(FATAL_ERROR "${list_file}: '${line}' is not a C name with an optional ordinal")
    endif()
    set(name "${CMAKE_MATCH_1}")
    if(NOT "${CMAKE_MATCH_3}" STREQUAL "" AND NOT "${CMAKE_MATCH_3}" EQUAL ordinal)
      message(FATAL_ERROR "${list_file}: ${name} states ordinal ${CMAKE_MATCH_3} but stands at ${ordinal}")
    endif()
    if(name IN_LIST names)
      message(FATAL_ERROR "${list_file}: ${name} is listed twice")
    endif()
    if(ordinal LESS_EQUAL EXPRCALC_CLASSIC_EXPORT_COUNT)
      if(name MATCHES "^exprcalc_")
        message(FATAL_ERROR "${list_file}: ${name} takes ordinal ${ordinal}, one of the classic names' 1 to ${EXPRCALC_CLASSIC_EXPORT_COUNT}")
      endif()
      if(NOT previous_classic STREQUAL "" AND NOT previous_classic STRLESS name)
        message(FATAL_ERROR "${list_file}: the classic names are not in byte order at ${name}")
      endif()
      set(previous_classic "${name}")
    elseif(NOT name MATCHES "^exprcalc_")
      message(FATAL_ERROR "${list_file}: ${name} at ordinal ${ordinal} lacks the exprcalc_ prefix of extension functions")
    endif()
    list(APPEND names "${name}")
  endforeach()
  if(ordinal LESS EXPRCALC_CLASSIC_EXPORT_COUNT)
    message(FATAL_ERROR "${list_file}: ${ordinal} names, fewer than the ${EXPRCALC_CLASSIC_EXPORT_COUNT} classic ones")
  endif()
  set(${out_var} "${names}" PARENT_SCOPE)
endfunction()

# Parses list_file once and writes, in out_dir:
#   exprcalc.map          the linker version script (every listed name global, all else local)
#   exprcalc.def          the Windows module-definition file, each name at its ordinal
#   exprcalc-exports.txt  "name ordinal" a line, in ordinal order, for checkers and bindings
# Sets EXPRCALC_EXPORT_NAMES, EXPRCALC_VERSION_SCRIPT, EXPRCALC_DEF_FILE and
# EXPRCALC_EXPORTS_FILE in the caller's scope. Files are rewritten only when
# their text changes, and an edit of the list configures the build again.
function(exprcalc_generate_exports list_file out_dir)
  exprcalc_parse_exports("${list_file}" names)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${list_file}")
  set(version_script "EXPRCALC_1 {\n  global:\n")
  set(def_file "LIBRARY exprcalc\nEXPORTS\n")
  set(exports_file "")
  set(ordinal 1)
  foreach(name IN LISTS names)
    string(APPEND version_script "    ${name};\n")
    string(APPEND def_file "    ${name} @${ordinal}\n")
    string(APPEND exports_file "${name} ${ordinal}\n")
    math(EXPR ordinal "${ordinal} + 1")
  endforeach()
  string(APPEND version_script "  local:\n    *;\n};\n")
  file(CONFIGURE OUTPUT "${out_dir}/exprcalc.map" CONTENT "${version_script}" @ONLY)
  file(CONFIGURE OUTPUT "${out_dir}/exprcalc.def" CONTENT "${def_file}" @ONLY)
  file(CONFIGURE OUTPUT "${out_dir}/exprcalc-exports.txt" CONTENT "${exports_file}" @ONLY)
  set(EXPRCALC_EXPORT_NAMES "${names}" PARENT_SCOPE)
  set(EXPRCALC_VERSION_SCRIPT "${out_dir}/exprcalc.map" PARENT_SCOPE)
  set(EXPRCALC_DEF_FILE "${out_dir}/exprcalc.def" PARENT_SCOPE)
  set(EXPRCALC_EXPORTS_FILE "${out_dir}/exprcalc-exports.txt" PARENT_SCOPE)
endfunction()

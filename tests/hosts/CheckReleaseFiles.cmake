# Holds the release's files to the header and the export list:
#  - debian/changelog names the header's version (VERSION) as its upstream part;
#  - debian/libexprcalc1.symbols lists the version node and exactly the names
#    of the export list (EXPORTS_FILE, "name ordinal" a line, generated), each
#    with the version that introduced it: 1.0.0 for the fourteen classic
#    names, from 1.1.0 to the header's version for the exprcalc_* functions;
#  - the README and docs/*.md name the header's version wherever they name a
#    file by it (a package such as libexprcalc1_1.2.0-1_amd64.deb, or
#    libexprcalc.so.1.2.0), so that no command they show names a file the
#    build does not make;
#  - cmake/HeaderVersion.cmake takes a header whose version macros agree and
#    refuses, naming the fault, one whose macros disagree or are missing.
# Run with cmake -P -DSOURCE_DIR=... -DEXPORTS_FILE=... -DVERSION=... -DWORK_DIR=...;
# a run given -DREAD_VERSION=FILE only reads that header's version.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/HeaderVersion.cmake)
if(DEFINED READ_VERSION)
  exprcalc_read_header_version("${READ_VERSION}" version)
  message(STATUS "version ${version}")
  return()
endif()

set(node EXPRCALC_1)
set(classic_version 1.0.0)
set(first_extension_version 1.1.0)

file(STRINGS "${SOURCE_DIR}/debian/changelog" first_line LIMIT_COUNT 1)
if(NOT first_line MATCHES "^exprcalc \\(([0-9.]+)-[^)]+\\) " OR NOT CMAKE_MATCH_1 STREQUAL VERSION)
  message(FATAL_ERROR "debian/changelog begins '${first_line}'; the header's version is ${VERSION}: "
                      "add an entry for ${VERSION}-1 (dch -v ${VERSION}-1)")
endif()
message(STATUS "debian/changelog: ${VERSION}")

# The symbols file: "libexprcalc.so.1 libexprcalc1 #MINVER#", fields, then " name@node version".
set(symbols_file "${SOURCE_DIR}/debian/libexprcalc1.symbols")
file(STRINGS "${symbols_file}" lines)
set(listed "")
foreach(line IN LISTS lines)
  if(line MATCHES "^ ([A-Za-z_][A-Za-z0-9_]*)@([A-Za-z0-9_.]+) ([0-9.]+)$")
    if(NOT CMAKE_MATCH_2 STREQUAL node)
      message(FATAL_ERROR "${symbols_file}: ${CMAKE_MATCH_1} is at version node ${CMAKE_MATCH_2}, not ${node}")
    endif()
    if(DEFINED version_of_${CMAKE_MATCH_1})
      message(FATAL_ERROR "${symbols_file}: ${CMAKE_MATCH_1} is listed twice")
    endif()
    set(version_of_${CMAKE_MATCH_1} "${CMAKE_MATCH_3}")
    list(APPEND listed "${CMAKE_MATCH_1}")
  elseif(NOT line MATCHES "^(libexprcalc\\.so\\.1 libexprcalc1 #MINVER#|\\* [A-Za-z-]+: .+|#.*)$")
    message(FATAL_ERROR "${symbols_file}: unexpected line '${line}'")
  endif()
endforeach()

file(STRINGS "${EXPORTS_FILE}" exports)
set(expected "${node}")
foreach(line IN LISTS exports)
  string(REGEX REPLACE " [0-9]+$" "" name "${line}")
  list(APPEND expected "${name}")
  set(version "${version_of_${name}}")
  if(version STREQUAL "")
    message(FATAL_ERROR "${symbols_file} lacks ${name}: add the line ' ${name}@${node} ${VERSION}'")
  endif()
  if(version VERSION_GREATER VERSION OR (name MATCHES "^exprcalc_" AND version VERSION_LESS first_extension_version)
     OR (NOT name MATCHES "^exprcalc_" AND NOT version STREQUAL classic_version))
    message(FATAL_ERROR "${symbols_file}: ${name} came with ${version}, but the classic names came with "
                        "${classic_version}, the exprcalc_* functions from ${first_extension_version} to ${VERSION}")
  endif()
endforeach()
if(NOT version_of_${node} STREQUAL classic_version)
  message(FATAL_ERROR "${symbols_file}: the version node ${node}@${node} came with ${classic_version}")
endif()
list(SORT expected)
list(SORT listed)
if(NOT listed STREQUAL expected)
  list(REMOVE_ITEM listed ${expected})
  message(FATAL_ERROR "${symbols_file} lists names that are not exported: ${listed}")
endif()
list(LENGTH exports export_count)
message(STATUS "debian/libexprcalc1.symbols: the ${export_count} exports with the versions that introduced them")

# The header's version macros, as cmake/HeaderVersion.cmake reads them: each
# case is accepted with the version or refused with the message expected.
function(ExpectVersion case outcome macros expected)
  set(header "${WORK_DIR}/${case}.h")
  file(WRITE "${header}" "/* a header */\n${macros}#define EXPRCALC_VERSION_NUMBER_NEXT 1\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DREAD_VERSION=${header} -P ${CMAKE_CURRENT_LIST_FILE}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  string(REGEX REPLACE "[ \t\r\n]+" " " output "${output}")  # CMake wraps its messages
  set(actual refused)
  if(result EQUAL 0)
    set(actual accepted)
  endif()
  if(NOT actual STREQUAL outcome OR NOT output MATCHES "${expected}")
    message(FATAL_ERROR "${case}: expected ${outcome} with '${expected}', got (${result}): ${output}")
  endif()
  message(STATUS "${case}: ${outcome}")
endfunction()
file(GLOB documents "${SOURCE_DIR}/README.md" "${SOURCE_DIR}/docs/*.md")
foreach(document IN LISTS documents)
  file(READ "${document}" text)
  string(REGEX MATCHALL "libexprcalc[a-z0-9-]*_[0-9]+\\.[0-9]+\\.[0-9]+|libexprcalc\\.so\\.[0-9]+\\.[0-9]+\\.[0-9]+"
         named "${text}")
  foreach(file_name IN LISTS named)
    string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+$" named_version "${file_name}")
    if(NOT named_version STREQUAL VERSION)
      message(FATAL_ERROR "${document} names ${file_name}, but the build makes version ${VERSION}: "
                          "name the file without its version, or take the version from debian/changelog")
    endif()
  endforeach()
endforeach()
message(STATUS "files named by version in the documents: ${VERSION}")

file(REMOVE_RECURSE "${WORK_DIR}")
ExpectVersion(Agree accepted "#define EXPRCALC_VERSION_NUMBER 12003004\n#define EXPRCALC_VERSION \"12.3.4\"\n"
  "version 12.3.4")
ExpectVersion(NumberDisagrees refused "#define EXPRCALC_VERSION_NUMBER 1001001\n#define EXPRCALC_VERSION \"1.1.0\"\n"
  "EXPRCALC_VERSION_NUMBER 1001001 does not match EXPRCALC_VERSION \"1.1.0\" \\(expected 1001000\\)")
ExpectVersion(NumberMissing refused "#define EXPRCALC_VERSION \"1.1.0\"\n" "no EXPRCALC_VERSION")

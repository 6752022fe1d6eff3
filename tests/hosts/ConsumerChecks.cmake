# Steps that the consumer tests share: build a host against an exprcalc found
# under a prefix, through its CMake package or its pkg-config file, check how
# it was linked and run it. Included by RunInstallConsumers.cmake (a prefix
# installed from a build tree) and RunPackagedConsumers.cmake (the Debian
# packages unpacked into a root). The caller sets WORK_DIR, CONSUMER_DIR,
# VERSION, GENERATOR, MAKE_PROGRAM, C_COMPILER, CXX_COMPILER, CONFIG and
# SANITIZE_FLAGS.

set(strict_c -std=c99 -pedantic -Wall -Wextra -Werror)
set(strict_cxx -Wall -Wextra -Wpedantic -Werror)
separate_arguments(sanitize UNIX_COMMAND "${SANITIZE_FLAGS}")

# Runs a command and stops the test with its output when it fails.
function(RunStep what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${output}")
  endif()
  message(STATUS "${what}: ok")
endfunction()

# A program linked with the shared library names libexprcalc.so.1 in its
# dynamic section; one linked with the static library names no libexprcalc.
function(CheckLinkage program kind)
  execute_process(COMMAND readelf -d "${program}" RESULT_VARIABLE result OUTPUT_VARIABLE dynamic ERROR_VARIABLE dynamic)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "readelf -d ${program} failed (${result}):\n${dynamic}")
  endif()
  string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*libexprcalc[^\n]*" needed "${dynamic}")
  if(kind STREQUAL "static" AND needed)
    message(FATAL_ERROR "${program} was to link the static library but needs: ${needed}")
  elseif(kind STREQUAL "shared" AND NOT needed MATCHES "\\[libexprcalc\\.so\\.1\\]")
    message(FATAL_ERROR "${program} was to link libexprcalc.so.1 but needs: '${needed}'")
  endif()
  message(STATUS "${program}: linked with the ${kind} library")
endfunction()

# Configures and builds tests/hosts/consumer as a LANGUAGE (C or CXX) program
# against the package under PREFIX, which must give the KIND library (shared
# or static) at VERSION, checks the linkage and runs it with RUN_ENVIRONMENT
# (NAME=value entries). USE_STATIC sets exprcalc_USE_STATIC_LIBS; MISSING_KIND
# names a kind the prefix lacks, which the package must refuse.
function(RunCMakeConsumer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "PREFIX;LANGUAGE;KIND;USE_STATIC;MISSING_KIND" "RUN_ENVIRONMENT")
  set(dir "${WORK_DIR}/${name}")
  set(options "-DCONSUMER_LANGUAGE=${arg_LANGUAGE}" "-DEXPECTED_KIND=${arg_KIND}" "-DEXPECTED_VERSION=${VERSION}")
  if(DEFINED arg_USE_STATIC)
    list(APPEND options "-Dexprcalc_USE_STATIC_LIBS=${arg_USE_STATIC}")
  endif()
  if(DEFINED arg_MISSING_KIND)
    list(APPEND options "-DMISSING_KIND=${arg_MISSING_KIND}")
  endif()
  if(arg_LANGUAGE STREQUAL "C")
    list(JOIN strict_c " " flags)
  else()
    list(JOIN strict_cxx " " flags)
  endif()
  RunStep("configure ${name}"
    ${CMAKE_COMMAND} -S "${CONSUMER_DIR}" -B "${dir}" -G "${GENERATOR}"
    "-DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}" "-DCMAKE_C_COMPILER=${C_COMPILER}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
    "-DCMAKE_BUILD_TYPE=${CONFIG}" "-DCMAKE_PREFIX_PATH=${arg_PREFIX}"
    "-DCMAKE_${arg_LANGUAGE}_FLAGS=${flags} ${SANITIZE_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${SANITIZE_FLAGS}"
    ${options})
  RunStep("build ${name}" ${CMAKE_COMMAND} --build "${dir}" --config "${CONFIG}")
  file(GLOB_RECURSE program "${dir}/installed_consumer" "${dir}/installed_consumer.exe")
  CheckLinkage("${program}" "${arg_KIND}")
  RunStep("run ${name}" ${CMAKE_COMMAND} -E env ${arg_RUN_ENVIRONMENT} "${program}")
endfunction()

# Compiles tests/hosts/consumer/InstalledConsumer.c as strict C99 with the
# flags that pkg-config gives for exprcalc (PKG_CONFIG_PATH set by the
# caller; --static with STATIC) and LINK_FLAGS, checks that it got the KIND
# library and runs it with RUN_ENVIRONMENT.
function(RunPkgConfigConsumer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "STATIC" "KIND" "LINK_FLAGS;RUN_ENVIRONMENT")
  set(static "")
  if(arg_STATIC)
    set(static --static)
  endif()
  execute_process(COMMAND "${PKG_CONFIG}" --cflags --libs ${static} exprcalc
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR NOT flags MATCHES "-lexprcalc")
    message(FATAL_ERROR "pkg-config --cflags --libs ${static} exprcalc gave '${flags}'")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(program "${WORK_DIR}/${name}")
  RunStep("build ${name}"
    "${C_COMPILER}" ${strict_c} ${sanitize} "${CONSUMER_DIR}/InstalledConsumer.c" ${flags} ${arg_LINK_FLAGS}
    -o "${program}")
  CheckLinkage("${program}" "${arg_KIND}")
  RunStep("run ${name}" ${CMAKE_COMMAND} -E env ${arg_RUN_ENVIRONMENT} "${program}")
endfunction()

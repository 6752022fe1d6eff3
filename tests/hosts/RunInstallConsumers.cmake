# Installs the built tree into a scratch prefix, checks the installed layout,
# then builds and runs consumers against that prefix alone: a CMake project
# that uses find_package, a C program compiled with pkg-config's flags and,
# when PYTHON names an interpreter, the installed Python binding: the prefix
# is then first made a virtual environment of that interpreter, and its own
# Python, with nothing pointing it anywhere, must import the binding from the
# prefix and load the library installed there.
# Run with cmake -P; the variables below come from tests/hosts/CMakeLists.txt.
foreach(required IN ITEMS BUILD_DIR WORK_DIR CONSUMER_DIR LIBDIR BINDIR MANDIR VERSION
                          C_COMPILER CXX_COMPILER GENERATOR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "RunInstallConsumers.cmake needs -D${required}=...")
  endif()
endforeach()

# Runs a command and stops the test with its output when it fails.
function(RunStep what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${output}")
  endif()
  message(STATUS "${what}: ok")
endfunction()

set(prefix "${WORK_DIR}/prefix")
unset(ENV{DESTDIR})
file(REMOVE_RECURSE "${WORK_DIR}")
if(PYTHON)
  RunStep("make the prefix a Python virtual environment" "${PYTHON}" -m venv --without-pip "${prefix}")
endif()
# The prefix is given unnormalised, as a user may type it; what is installed names it plainly.
RunStep("install" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${WORK_DIR}/./prefix/" --config "${CONFIG}")

set(libdir "${prefix}/${LIBDIR}")
foreach(file IN ITEMS "include/exprcalc.h" "${LIBDIR}/cmake/exprcalc/exprcalcConfig.cmake"
                      "${LIBDIR}/cmake/exprcalc/exprcalcConfigVersion.cmake" "${LIBDIR}/pkgconfig/exprcalc.pc")
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
# The SONAME chain: libexprcalc.so -> libexprcalc.so.1 -> libexprcalc.so.1.0.0.
string(REGEX MATCH "^[0-9]+" major "${VERSION}")
set(link "libexprcalc.so")
foreach(target IN ITEMS "libexprcalc.so.${major}" "libexprcalc.so.${VERSION}")
  file(READ_SYMLINK "${libdir}/${link}" actual)
  if(NOT actual STREQUAL target)
    message(FATAL_ERROR "${link} points to '${actual}', expected '${target}'")
  endif()
  set(link "${target}")
endforeach()

# The calculator and its manual page, when this build has them.
if(MAN_PAGE AND NOT EXISTS "${prefix}/${MANDIR}/man1/exprcalc.1")
  message(FATAL_ERROR "not installed: ${MANDIR}/man1/exprcalc.1")
endif()
if(CALCULATOR)
  execute_process(COMMAND "${prefix}/${BINDIR}/exprcalc" "1+2*3" RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0 OR NOT output MATCHES "(^|[^0-9.])7([^0-9.]|$)")
    message(FATAL_ERROR "installed calculator on '1+2*3' gave (${result}): ${output}")
  endif()
  message(STATUS "run the installed calculator: ok")
endif()

# The Python binding: the prefix's Python imports it and evaluates with no path,
# no PYTHONPATH, no EXPRCALC_LIBRARY and no LD_LIBRARY_PATH.
if(PYTHON)
  set(python_check [==[
import os, sys
prefix = os.path.realpath(sys.argv[1])
import exprcalc
module = os.path.realpath(exprcalc.__file__)
assert module.startswith(prefix + os.sep), f"exprcalc imported from {module}, not from {prefix}"
import sysconfig
assert os.path.dirname(module) == os.path.realpath(sysconfig.get_path("purelib")), module
calc = exprcalc.Library()
library = os.path.realpath(calc.path)
assert library.startswith(prefix + os.sep), f"library loaded from {library}, not from {prefix}"
calc.variables["@RATE"] = 4
print(calc.evaluate("2*SIN(RAD(30))+@RATE"), library[len(prefix):])
]==])
  set(python_environment --unset=PYTHONPATH --unset=PYTHONHOME --unset=PYTHONSTARTUP --unset=EXPRCALC_LIBRARY
                         --unset=LD_LIBRARY_PATH --unset=PYTHONSAFEPATH PYTHONDONTWRITEBYTECODE=1)
  if(PYTHON_LD_PRELOAD)
    list(APPEND python_environment "LD_PRELOAD=${PYTHON_LD_PRELOAD}" "ASAN_OPTIONS=detect_leaks=0")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${python_environment}
                          "${prefix}/bin/python" -c "${python_check}" "${prefix}"
    WORKING_DIRECTORY "${WORK_DIR}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0 OR NOT output MATCHES "^5\\.0 /${LIBDIR}/libexprcalc")
    message(FATAL_ERROR "the installed Python binding in the prefix's Python gave (${result}):\n${output}")
  endif()
  message(STATUS "import the installed Python binding and evaluate: ok (${output})")
endif()

set(strict_c -std=c99 -pedantic -Wall -Wextra -Werror)
set(strict_cxx -Wall -Wextra -Wpedantic -Werror)
separate_arguments(sanitize UNIX_COMMAND "${SANITIZE_FLAGS}")
list(JOIN strict_cxx " " cxx_flags)
string(APPEND cxx_flags " ${SANITIZE_FLAGS}")

set(cmake_consumer "${WORK_DIR}/cmake-consumer")
RunStep("configure the find_package consumer"
  ${CMAKE_COMMAND} -S "${CONSUMER_DIR}" -B "${cmake_consumer}" -G "${GENERATOR}"
  "-DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
  "-DCMAKE_BUILD_TYPE=${CONFIG}" "-DCMAKE_PREFIX_PATH=${prefix}"
  "-DCMAKE_CXX_FLAGS=${cxx_flags}" "-DCMAKE_EXE_LINKER_FLAGS=${SANITIZE_FLAGS}")
RunStep("build the find_package consumer" ${CMAKE_COMMAND} --build "${cmake_consumer}" --config "${CONFIG}")
file(GLOB_RECURSE consumer_program "${cmake_consumer}/installed_consumer" "${cmake_consumer}/installed_consumer.exe")
RunStep("run the find_package consumer" ${consumer_program})

if(NOT PKG_CONFIG)
  message(STATUS "pkg-config not found: the pkg-config consumer is not built")
  return()
endif()
set(ENV{PKG_CONFIG_PATH} "${libdir}/pkgconfig")
execute_process(COMMAND "${PKG_CONFIG}" --modversion exprcalc OUTPUT_VARIABLE modversion OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT modversion STREQUAL VERSION)
  message(FATAL_ERROR "pkg-config reports version '${modversion}', expected '${VERSION}'")
endif()
execute_process(COMMAND "${PKG_CONFIG}" --cflags --libs exprcalc
  OUTPUT_VARIABLE pc_flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE result)
execute_process(COMMAND "${PKG_CONFIG}" --variable=libdir exprcalc
  OUTPUT_VARIABLE pc_libdir OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0 OR NOT pc_flags MATCHES "-lexprcalc")
  message(FATAL_ERROR "pkg-config --cflags --libs exprcalc gave '${pc_flags}'")
endif()
# libdir is the plain directory the library went to, fit for a run path.
if(NOT pc_libdir STREQUAL libdir)
  message(FATAL_ERROR "pkg-config --variable=libdir exprcalc gave '${pc_libdir}', expected '${libdir}'")
endif()
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
set(pc_program "${WORK_DIR}/pkg-config-consumer")
RunStep("build the pkg-config consumer"
  "${C_COMPILER}" ${strict_c} ${sanitize} "${CONSUMER_DIR}/InstalledConsumer.c" ${pc_flags}
  "-Wl,-rpath,${pc_libdir}" -o "${pc_program}")
RunStep("run the pkg-config consumer" "${pc_program}")

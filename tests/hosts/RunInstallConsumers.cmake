# Installs a build tree into a scratch prefix, checks the installed layout,
# then builds and runs consumers against that prefix alone: CMake projects
# that use find_package, a C program compiled with pkg-config's flags and,
# when PYTHON names an interpreter, the installed Python binding: the prefix
# is then first made a virtual environment of that interpreter, and its own
# Python, with nothing pointing it anywhere, must import the binding from the
# prefix and load the library installed there.
# KIND is shared (the default: BUILD_DIR is the tree under test) or static:
# SOURCE_DIR is then first built with BUILD_SHARED_LIBS=OFF into BUILD_DIR,
# and hosts in C and in C++ link the archive, which must define no name
# outside the exports and the exprcalc namespace.
# Run with cmake -P; the variables below come from tests/hosts/CMakeLists.txt.
cmake_minimum_required(VERSION 3.25)
foreach(required IN ITEMS BUILD_DIR WORK_DIR CONSUMER_DIR LIBDIR BINDIR MANDIR VERSION
                          C_COMPILER CXX_COMPILER GENERATOR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "RunInstallConsumers.cmake needs -D${required}=...")
  endif()
endforeach()
if(NOT DEFINED KIND)
  set(KIND shared)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/ConsumerChecks.cmake)

set(prefix "${WORK_DIR}/prefix")
unset(ENV{DESTDIR})
file(REMOVE_RECURSE "${WORK_DIR}")
if(KIND STREQUAL "static")
  RunStep("configure the static library"
    ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${BUILD_DIR}" -G "${GENERATOR}" "-DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}"
    "-DCMAKE_C_COMPILER=${C_COMPILER}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" "-DCMAKE_BUILD_TYPE=${CONFIG}"
    -DBUILD_SHARED_LIBS=OFF -DEXPRCALC_BUILD_TESTS=OFF -DEXPRCALC_BUILD_TOOLS=OFF
    "-DCMAKE_INSTALL_LIBDIR=${LIBDIR}" "-DCMAKE_INSTALL_BINDIR=${BINDIR}" "-DCMAKE_INSTALL_MANDIR=${MANDIR}"
    "-DEXPRCALC_SANITIZE=${SANITIZE}")
  RunStep("build the static library" ${CMAKE_COMMAND} --build "${BUILD_DIR}" --config "${CONFIG}")
  set(PYTHON "")
endif()
if(PYTHON)
  RunStep("make the prefix a Python virtual environment" "${PYTHON}" -m venv --without-pip "${prefix}")
endif()
# The prefix is given unnormalised, as a user may type it; what is installed names it plainly.
RunStep("install" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${WORK_DIR}/./prefix/" --config "${CONFIG}")

set(libdir "${prefix}/${LIBDIR}")
foreach(file IN ITEMS "include/exprcalc.h" "${LIBDIR}/cmake/exprcalc/exprcalcConfig.cmake"
                      "${LIBDIR}/cmake/exprcalc/exprcalcConfigVersion.cmake"
                      "${LIBDIR}/cmake/exprcalc/exprcalcTargets-${KIND}.cmake" "${LIBDIR}/pkgconfig/exprcalc.pc")
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
if(KIND STREQUAL "shared")
  # The SONAME chain: libexprcalc.so -> libexprcalc.so.1 -> libexprcalc.so.1.1.0.
  string(REGEX MATCH "^[0-9]+" major "${VERSION}")
  set(link "libexprcalc.so")
  foreach(target IN ITEMS "libexprcalc.so.${major}" "libexprcalc.so.${VERSION}")
    file(READ_SYMLINK "${libdir}/${link}" actual)
    if(NOT actual STREQUAL target)
      message(FATAL_ERROR "${link} points to '${actual}', expected '${target}'")
    endif()
    set(link "${target}")
  endforeach()
else()
  file(GLOB shared_files "${libdir}/libexprcalc.so*")
  if(shared_files OR NOT EXISTS "${libdir}/libexprcalc.a")
    message(FATAL_ERROR "a static build installed '${shared_files}' and no ${LIBDIR}/libexprcalc.a")
  endif()
  # A host linking the archive meets its names beside its own: each is an
  # export, lies in the exprcalc namespace or is a member of a type that the
  # header names (exprcalc_expr). Weak definitions may also be the standard
  # library's templates and inline functions, the same in every object that
  # uses them (and so in the host's too).
  file(STRINGS "${BUILD_DIR}/exprcalc-exports.txt" export_lines)
  list(TRANSFORM export_lines REPLACE " [0-9]+$" "")
  execute_process(COMMAND nm -g --defined-only -C "${libdir}/libexprcalc.a"
    RESULT_VARIABLE result OUTPUT_VARIABLE symbols ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "nm on libexprcalc.a failed (${result}): ${errors}")
  endif()
  string(REPLACE "\n" ";" symbols "${symbols}")
  set(strays "")
  set(exports_defined "")
  foreach(line IN LISTS symbols)
    if(NOT line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) (.+)$")
      continue()
    endif()
    set(kind "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    string(REGEX REPLACE "[<(].*" "" qualified "${name}")  # without template arguments or parameters
    string(REGEX REPLACE "::operator[^:]*$" "::operator" qualified "${qualified}")  # std::operator& is no return type
    string(REGEX REPLACE ".*[ &*]" "" qualified "${qualified}")  # and without a return type
    if(name IN_LIST export_lines)
      list(APPEND exports_defined "${name}")
    elseif(NOT name MATCHES "exprcalc::" AND NOT qualified MATCHES "^exprcalc_[A-Za-z0-9_]*::"
           AND NOT name MATCHES "^(DW\\.ref\\.__gxx_personality_v0|__odr_asan\\..*)$"  # made by the compiler
           AND NOT (kind MATCHES "^[WV]$" AND (qualified MATCHES "^(std|__gnu_cxx)::" OR name MATCHES "^operator (new|delete)"
                                               # (an operator's own name ends in its symbol, which the line above drops)
                                               OR name MATCHES "^(std|__gnu_cxx)::operator")))
      list(APPEND strays "${kind} ${name}")
    endif()
  endforeach()
  list(SORT export_lines)
  list(SORT exports_defined)
  if(strays OR NOT exports_defined STREQUAL export_lines)
    message(FATAL_ERROR "libexprcalc.a defines names outside the exprcalc namespace: ${strays}\n"
                        "exports defined: ${exports_defined}\nexpected: ${export_lines}")
  endif()
  message(STATUS "libexprcalc.a defines the exports and names in the exprcalc namespace alone")
  # Nothing that cannot work without the shared library: no Python binding.
  file(GLOB_RECURSE python_modules "${prefix}/*.py")
  if(python_modules)
    message(FATAL_ERROR "a static build installed Python modules, which cannot load it: ${python_modules}")
  endif()
endif()

# The C API's manual pages, with a page for every function that sends man to its family's.
foreach(page IN ITEMS exprcalc exprcalc_explain exprcalc_judge exprcalc_prepare ParseString exprcalc_evaluate_columns)
  if(NOT EXISTS "${prefix}/${MANDIR}/man3/${page}.3")
    message(FATAL_ERROR "not installed: ${MANDIR}/man3/${page}.3")
  endif()
endforeach()

# The calculator and its manual page, when this build has them.
if(MAN_PAGE AND NOT EXISTS "${prefix}/${MANDIR}/man1/exprcalc.1")
  message(FATAL_ERROR "not installed: ${MANDIR}/man1/exprcalc.1")
endif()
if(CALCULATOR)
  # It finds the library through its run path, unless the build left that out
  # (CMAKE_SKIP_INSTALL_RPATH, as the Debian packages do).
  set(calculator_environment "")
  if(SKIP_INSTALL_RPATH)
    set(calculator_environment "LD_LIBRARY_PATH=${libdir}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${calculator_environment} "${prefix}/${BINDIR}/exprcalc" "1+2*3"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
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
assert os.path.dirname(os.path.dirname(module)) == os.path.realpath(sysconfig.get_path("purelib")), module
assert os.path.isfile(os.path.join(os.path.dirname(module), "py.typed")), "no py.typed beside the package"
mirror = os.path.realpath(exprcalc._HEADER.__file__)
assert os.path.dirname(mirror) == os.path.dirname(module), f"the header's mirror imported from {mirror}"
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

if(KIND STREQUAL "static")
  # A project in C alone links with the C driver; the C++ runtime comes from the target.
  RunCMakeConsumer(cmake-c-consumer PREFIX "${prefix}" LANGUAGE C KIND static MISSING_KIND shared)
  RunCMakeConsumer(cmake-cxx-consumer PREFIX "${prefix}" LANGUAGE CXX KIND static USE_STATIC ON)
else()
  RunCMakeConsumer(cmake-consumer PREFIX "${prefix}" LANGUAGE CXX KIND shared MISSING_KIND static)
endif()

if(NOT PKG_CONFIG)
  message(STATUS "pkg-config not found: the pkg-config consumer is not built")
  return()
endif()
set(ENV{PKG_CONFIG_PATH} "${libdir}/pkgconfig")
execute_process(COMMAND "${PKG_CONFIG}" --modversion exprcalc OUTPUT_VARIABLE modversion OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT modversion STREQUAL VERSION)
  message(FATAL_ERROR "pkg-config reports version '${modversion}', expected '${VERSION}'")
endif()
# The -I and -L directories that pkg-config gives, normalised, must be those of
# the prefix the .pc file now lies in.
function(CheckPkgConfigDirectories expected_prefix)
  execute_process(COMMAND "${PKG_CONFIG}" --cflags --libs exprcalc OUTPUT_VARIABLE flags
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(directories "")
  foreach(flag IN LISTS flags)
    if(flag MATCHES "^-[IL](.+)$")
      cmake_path(SET directory NORMALIZE "${CMAKE_MATCH_1}")
      list(APPEND directories "${directory}")
    endif()
  endforeach()
  if(NOT directories STREQUAL "${expected_prefix}/include;${expected_prefix}/${LIBDIR}")
    message(FATAL_ERROR "pkg-config --cflags --libs exprcalc gave '${flags}', not the directories of ${expected_prefix}")
  endif()
endfunction()

if(KIND STREQUAL "static")
  RunPkgConfigConsumer(pkg-config-consumer STATIC KIND static)
else()
  execute_process(COMMAND "${PKG_CONFIG}" --variable=libdir exprcalc
    OUTPUT_VARIABLE pc_libdir OUTPUT_STRIP_TRAILING_WHITESPACE)
  # libdir is the directory the library went to, fit for a run path: reached
  # from the .pc file's folder, with no "." part, doubled or trailing slash.
  cmake_path(SET pc_libdir_normal NORMALIZE "${pc_libdir}")
  if(NOT pc_libdir_normal STREQUAL libdir OR pc_libdir MATCHES "//|/\\./|/$")
    message(FATAL_ERROR "pkg-config --variable=libdir exprcalc gave '${pc_libdir}', expected '${libdir}'")
  endif()
  RunPkgConfigConsumer(pkg-config-consumer KIND shared LINK_FLAGS "-Wl,-rpath,${pc_libdir}")
endif()
CheckPkgConfigDirectories("${prefix}")

# Moved elsewhere, the installed tree still gives its own directories.
set(moved "${WORK_DIR}/moved")
file(RENAME "${prefix}" "${moved}")
set(ENV{PKG_CONFIG_PATH} "${moved}/${LIBDIR}/pkgconfig")
CheckPkgConfigDirectories("${moved}")
if(KIND STREQUAL "static")
  RunPkgConfigConsumer(pkg-config-moved-consumer STATIC KIND static)
else()
  RunPkgConfigConsumer(pkg-config-moved-consumer KIND shared LINK_FLAGS "-Wl,-rpath,${moved}/${LIBDIR}")
endif()
message(STATUS "pkg-config on the installed tree moved to ${moved}: ok")

# Runs the hosts against the Debian packages unpacked into ROOT (dpkg -x), as
# .ci/stages/80-debian.sh leaves them: each package holds its files; CMake
# projects in C and in C++ find the package under ROOT/usr and link the
# shared library (the default) or the static one (exprcalc_USE_STATIC_LIBS);
# a C program builds with pkg-config's flags (ROOT as its sysroot); the
# calculator runs; and the packaged Python module, with no path, loads the
# packaged library and passes the binding's tests.
# Run with cmake -P -DROOT=... -DSOURCE_DIR=... -DWORK_DIR=... -DMULTIARCH=...
cmake_minimum_required(VERSION 3.25)
foreach(required IN ITEMS ROOT SOURCE_DIR WORK_DIR MULTIARCH)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "RunPackagedConsumers.cmake needs -D${required}=...")
  endif()
endforeach()
include(${SOURCE_DIR}/cmake/HeaderVersion.cmake)
exprcalc_read_header_version(${SOURCE_DIR}/include/exprcalc.h VERSION)
set(CONSUMER_DIR "${SOURCE_DIR}/tests/hosts/consumer")
set(GENERATOR "Unix Makefiles")
set(MAKE_PROGRAM make)
set(C_COMPILER cc)
set(CXX_COMPILER c++)
set(CONFIG Release)
set(SANITIZE_FLAGS "")
include(${CMAKE_CURRENT_LIST_DIR}/ConsumerChecks.cmake)
file(REMOVE_RECURSE "${WORK_DIR}")

set(prefix "${ROOT}/usr")
set(libdir "${prefix}/lib/${MULTIARCH}")
set(python_dir "${prefix}/lib/python3/dist-packages")
set(run_environment "LD_LIBRARY_PATH=${libdir}")
foreach(file IN ITEMS "${libdir}/libexprcalc.so.${VERSION}" "${libdir}/libexprcalc.a" "${prefix}/include/exprcalc.h"
                      "${libdir}/cmake/exprcalc/exprcalcConfig.cmake" "${libdir}/pkgconfig/exprcalc.pc"
                      "${prefix}/bin/exprcalc" "${prefix}/share/man/man1/exprcalc.1.gz" "${prefix}/share/man/man3/exprcalc.3.gz"
                      "${prefix}/share/man/man3/exprcalc_prepare.3.gz" "${prefix}/share/man/man3/ParseString.3.gz"
                      "${python_dir}/exprcalc/__init__.py"
                      "${python_dir}/exprcalc/_exprcalc_header.py" "${python_dir}/exprcalc/py.typed")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "not packaged: ${file}")
  endif()
endforeach()
foreach(link IN ITEMS libexprcalc.so libexprcalc.so.1)
  file(REAL_PATH "${libdir}/${link}" target)
  if(NOT target STREQUAL "${libdir}/libexprcalc.so.${VERSION}")
    message(FATAL_ERROR "packaged ${link} leads to ${target}")
  endif()
endforeach()

RunCMakeConsumer(cmake-shared-cxx PREFIX "${prefix}" LANGUAGE CXX KIND shared RUN_ENVIRONMENT ${run_environment})
RunCMakeConsumer(cmake-shared-c PREFIX "${prefix}" LANGUAGE C KIND shared USE_STATIC OFF RUN_ENVIRONMENT ${run_environment})
RunCMakeConsumer(cmake-static-cxx PREFIX "${prefix}" LANGUAGE CXX KIND static USE_STATIC ON)
RunCMakeConsumer(cmake-static-c PREFIX "${prefix}" LANGUAGE C KIND static USE_STATIC ON)

find_program(PKG_CONFIG NAMES pkg-config pkgconf REQUIRED)
set(ENV{PKG_CONFIG_LIBDIR} "${libdir}/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${ROOT}")
RunPkgConfigConsumer(pkg-config-shared KIND shared RUN_ENVIRONMENT ${run_environment})

# The calculator: no run path of its own, it finds the library as installed.
execute_process(COMMAND readelf -d "${prefix}/bin/exprcalc" OUTPUT_VARIABLE dynamic)
if(dynamic MATCHES "R(UN)?PATH")
  message(FATAL_ERROR "the packaged calculator carries a run path:\n${dynamic}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${run_environment} "${prefix}/bin/exprcalc" "2*SIN(RAD(30))+1"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0 OR NOT output STREQUAL "2")
  message(FATAL_ERROR "the packaged calculator on '2*SIN(RAD(30))+1' gave (${result}): ${output}")
endif()
message(STATUS "run the packaged calculator: ok")

# The Python module, imported from the root by Debian's interpreter with no
# path, no EXPRCALC_LIBRARY and no LD_LIBRARY_PATH, loads the root's library.
set(python /usr/bin/python3)
set(python_environment --unset=PYTHONHOME --unset=PYTHONSTARTUP --unset=EXPRCALC_LIBRARY --unset=LD_LIBRARY_PATH
                       "PYTHONPATH=${python_dir}" PYTHONDONTWRITEBYTECODE=1)
set(python_check [==[
import os, sys
root = os.path.realpath(sys.argv[1])
import exprcalc
assert os.path.realpath(exprcalc.__file__).startswith(root + os.sep), exprcalc.__file__
calc = exprcalc.Library()
library = os.path.realpath(calc.path)
assert library.startswith(root + os.sep), f"library loaded from {library}, not from {root}"
calc.variables["@RATE"] = 4
print(calc.evaluate("2*SIN(RAD(30))+@RATE"), library[len(root):])
]==])
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${python_environment} ${python} -c "${python_check}" "${ROOT}"
  WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0 OR NOT output MATCHES "^5\\.0 /usr/lib/${MULTIARCH}/libexprcalc\\.so\\.${VERSION}$")
  message(FATAL_ERROR "the packaged Python module gave (${result}):\n${output}")
endif()
message(STATUS "the packaged Python module loads the packaged library by itself: ok (${output})")

# The binding's tests, run from a folder of their own so that they import the
# packaged module, and checking its packaged mirror against the packaged header. Two tests
# hold only for a module that was not installed: an installed module has a
# recorded library folder, which one expects the search to skip, and it does
# not look for a source tree's build, which the other expects.
set(only_uninstalled
  "test_exprcalc.LoadingTest.test_installed_module_looks_beside_its_recorded_library_folder_first"
  "test_exprcalc.LoadingTest.test_module_in_a_source_tree_finds_the_library_in_its_build")
file(GLOB binding_tests "${SOURCE_DIR}/bindings/python/test_*.py" "${SOURCE_DIR}/bindings/python/generate_*.py")
file(COPY ${binding_tests} DESTINATION "${WORK_DIR}/python-tests")
set(python_runner [==[
import sys, unittest
def tests(suite):
    for test in suite:
        yield from tests(test) if isinstance(test, unittest.TestSuite) else [test]
skipped = set(sys.argv[2:])
found = list(tests(unittest.TestLoader().discover(sys.argv[1], pattern="test_*.py")))
chosen = [test for test in found if test.id() not in skipped]
assert len(found) - len(chosen) == len(skipped), f"not all of {skipped} are among the tests"
result = unittest.TextTestRunner(verbosity=1).run(unittest.TestSuite(chosen))
sys.exit(0 if result.wasSuccessful() and result.testsRun else 1)
]==])
list(REMOVE_ITEM python_environment --unset=EXPRCALC_LIBRARY)
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${python_environment} "EXPRCALC_LIBRARY=${libdir}/libexprcalc.so.1"
                        "EXPRCALC_HEADER=${prefix}/include/exprcalc.h"
                        "EXPRCALC_EXPORT_LIST=${SOURCE_DIR}/src/module/exports.list"
                        "EXPRCALC_JUDGEMENT_LINES=${SOURCE_DIR}/tests/judgement/lines.tsv"
                        ${python} -c "${python_runner}" "${WORK_DIR}/python-tests" ${only_uninstalled}
  WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the binding's tests against the packaged module failed (${result}):\n${output}")
endif()
string(REGEX MATCH "Ran [0-9]+ tests?" ran "${output}")
message(STATUS "the binding's tests against the packaged module: ok (${ran})")

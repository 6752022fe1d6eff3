# Installs the Python binding, the package bindings/python/exprcalc with the mirror
# of the header that the build wrote for it, _exprcalc_header.py, inside; run by `cmake --install`
# through the install(CODE) rule of packaging/CMakeLists.txt, which sets the
# EXPRCALC_PYTHON_* variables below. The prefix is the one given at install time.
#
# The folder: EXPRCALC_PYTHON_DIR when set (relative to the prefix, or absolute);
# else the site folder under the prefix that the prefix's own interpreter
# (PREFIX/bin/python3, as in a virtual environment) or, failing that, the
# configured interpreter searches; else the folder that a Python of the
# configured interpreter's kind installed at the prefix would search;
# else, with no interpreter at all, EXPRCALC_PYTHON_FALLBACK_DIR.
#
# The installed package records where the library is relative to itself, so that
# exprcalc.Library() finds it without a path, wherever the tree is moved.
set(exprcalc_prefix "${CMAKE_INSTALL_PREFIX}")
set(exprcalc_python_dir "")
if(EXPRCALC_PYTHON_DIR)
  set(exprcalc_python_dir "${EXPRCALC_PYTHON_DIR}")
  if(NOT IS_ABSOLUTE "${exprcalc_python_dir}")
    set(exprcalc_python_dir "${exprcalc_prefix}/${exprcalc_python_dir}")
  endif()
else()
  set(exprcalc_interpreters "")
  if(EXPRCALC_PYTHON_ASK_PREFIX)
    foreach(candidate IN ITEMS bin/python3 bin/python python.exe Scripts/python.exe)
      if(EXISTS "${exprcalc_prefix}/${candidate}" AND NOT IS_DIRECTORY "${exprcalc_prefix}/${candidate}")
        list(APPEND exprcalc_interpreters "${exprcalc_prefix}/${candidate}")
        break()
      endif()
    endforeach()
  endif()
  if(EXPRCALC_PYTHON_EXECUTABLE)
    list(APPEND exprcalc_interpreters "${EXPRCALC_PYTHON_EXECUTABLE}")
  endif()
  foreach(mode IN ITEMS search layout)
    set(exprcalc_mode_argument "")
    if(mode STREQUAL "layout")
      set(exprcalc_mode_argument "--layout")
    endif()
    foreach(interpreter IN LISTS exprcalc_interpreters)
      execute_process(
        COMMAND "${interpreter}" "${EXPRCALC_PYTHON_SITE_SCRIPT}" ${exprcalc_mode_argument} "${exprcalc_prefix}"
        RESULT_VARIABLE exprcalc_result OUTPUT_VARIABLE exprcalc_output ERROR_VARIABLE exprcalc_error
        OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(exprcalc_result EQUAL 0 AND NOT exprcalc_output STREQUAL "")
        file(TO_CMAKE_PATH "${exprcalc_output}" exprcalc_python_dir)
        break()
      endif()
      if(mode STREQUAL "layout")
        message(WARNING "${interpreter} could not name a site folder for ${exprcalc_prefix}: ${exprcalc_error}")
      endif()
    endforeach()
    if(exprcalc_python_dir)
      break()
    endif()
  endforeach()
  if(NOT exprcalc_python_dir)
    set(exprcalc_python_dir "${exprcalc_prefix}/${EXPRCALC_PYTHON_FALLBACK_DIR}")
  endif()
endif()

set(exprcalc_library_dir "${EXPRCALC_PYTHON_LIBRARY_DIR}")
if(NOT IS_ABSOLUTE "${exprcalc_library_dir}")
  set(exprcalc_library_dir "${exprcalc_prefix}/${exprcalc_library_dir}")
endif()
set(exprcalc_package_dir "${exprcalc_python_dir}/exprcalc")
file(RELATIVE_PATH exprcalc_relative "${exprcalc_package_dir}" "${exprcalc_library_dir}")
if(exprcalc_relative STREQUAL "")
  set(exprcalc_relative ".")
endif()

file(READ "${EXPRCALC_PYTHON_MODULE}" exprcalc_module)
set(exprcalc_marker "_INSTALLED_LIBRARY_DIR: Optional[str] = None")
string(FIND "${exprcalc_module}" "${exprcalc_marker}" exprcalc_at)
if(exprcalc_at LESS 0)
  message(FATAL_ERROR "${EXPRCALC_PYTHON_MODULE} lacks the line '${exprcalc_marker}'")
endif()
string(REPLACE "${exprcalc_marker}" "_INSTALLED_LIBRARY_DIR: Optional[str] = \"${exprcalc_relative}\""
       exprcalc_module "${exprcalc_module}")
file(WRITE "${EXPRCALC_PYTHON_STAGING}/exprcalc/__init__.py" "${exprcalc_module}")
file(INSTALL DESTINATION "${exprcalc_package_dir}" TYPE FILE
     FILES "${EXPRCALC_PYTHON_STAGING}/exprcalc/__init__.py" "${EXPRCALC_PYTHON_HEADER_MODULE}"
           "${EXPRCALC_PYTHON_TYPED_MARKER}")

# Install-time half of the pkg-config file: fills the prefix into the template
# once `cmake --install --prefix` has settled it, as a normalised absolute path,
# so that `pkg-config --variable=libdir exprcalc` prints a plain directory
# (no "." or ".." parts, no doubled or trailing slash) that a host can use as
# its run path. Included from packaging/CMakeLists.txt's install(CODE) with
# EXPRCALC_PC_TEMPLATE and EXPRCALC_PC_OUTPUT set.
# A relative prefix is taken from where `cmake --install` runs, as the install
# itself takes it.
cmake_path(ABSOLUTE_PATH CMAKE_INSTALL_PREFIX BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE
  OUTPUT_VARIABLE EXPRCALC_PC_PREFIX)
# NORMALIZE keeps a trailing separator, which would double in "${prefix}/lib".
string(REGEX REPLACE "(.)/$" "\\1" EXPRCALC_PC_PREFIX "${EXPRCALC_PC_PREFIX}")
if(EXPRCALC_PC_PREFIX STREQUAL "/")
  set(EXPRCALC_PC_PREFIX "")
endif()
configure_file("${EXPRCALC_PC_TEMPLATE}" "${EXPRCALC_PC_OUTPUT}" @ONLY)

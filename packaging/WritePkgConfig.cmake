# Install-time half of the pkg-config file: fills the prefix into the template
# once `cmake --install --prefix` has settled it. The prefix is written as the
# way up from the .pc file's own folder (${pcfiledir}/../..), so that an
# installed tree moved or copied elsewhere still names its own directories;
# the directories below it are normalised (no "." parts, no doubled or
# trailing slash), so that `pkg-config --variable=libdir exprcalc` gives a
# directory fit for a run path. The system's prefix (/usr, or /) is written as
# it is: pkg-config then knows /usr/include and the system's library folder
# for its own and leaves them out of the flags (and a sysroot applies to it).
# Included from packaging/CMakeLists.txt's install(CODE) with
# EXPRCALC_PC_TEMPLATE, EXPRCALC_PC_OUTPUT and EXPRCALC_PC_DIR (the .pc file's
# folder, relative to the prefix or absolute) set.
# A relative prefix is taken from where `cmake --install` runs, as the install
# itself takes it.
cmake_path(ABSOLUTE_PATH CMAKE_INSTALL_PREFIX BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE
  OUTPUT_VARIABLE exprcalc_prefix)
# NORMALIZE keeps a trailing separator, which would double in "${prefix}/lib".
string(REGEX REPLACE "(.)/$" "\\1" exprcalc_prefix "${exprcalc_prefix}")
if(exprcalc_prefix STREQUAL "/")
  set(exprcalc_prefix "")
endif()
if(exprcalc_prefix STREQUAL "" OR exprcalc_prefix STREQUAL "/usr" OR IS_ABSOLUTE "${EXPRCALC_PC_DIR}")
  set(EXPRCALC_PC_PREFIX "${exprcalc_prefix}")
else()
  file(RELATIVE_PATH exprcalc_up "/prefix/${EXPRCALC_PC_DIR}" "/prefix")
  string(REGEX REPLACE "/$" "" exprcalc_up "${exprcalc_up}")
  set(EXPRCALC_PC_PREFIX "\${pcfiledir}/${exprcalc_up}")
endif()
configure_file("${EXPRCALC_PC_TEMPLATE}" "${EXPRCALC_PC_OUTPUT}" @ONLY)

# Cross-builds the library for 32-bit x86 Windows with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(EXPRCALC_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

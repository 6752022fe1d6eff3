# What both MinGW-w64 toolchain files share: the cross compilers named by
# EXPRCALC_MINGW_TRIPLET, the target's own root for finding libraries, and a
# DLL that needs no MinGW runtime DLL beside it (libgcc and libstdc++ linked in).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${EXPRCALC_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${EXPRCALC_MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${EXPRCALC_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${EXPRCALC_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# What both Windows cross builds share; the flavour's toolchain file sets PELLIX_MINGW_TRIPLE
# (the compiler prefix) and PELLIX_WINDOWS_FLAVOUR (win32 or win64) before including this.
set(CMAKE_SYSTEM_NAME Windows)
# The "-win32" compilers: the "-posix" ones link a POSIX threading runtime that imports
# functions Windows 98 SE and XP lack (GetTickCount64, vectored exception handlers...), so
# the binaries would not start there. The Windows code uses Win32 primitives for threads and locks.
set(CMAKE_C_COMPILER ${PELLIX_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${PELLIX_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${PELLIX_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${PELLIX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The binaries must run on a bare Windows: no MinGW runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# ctest runs the test programs under the Wine loader of this flavour (scripts/wine-run).
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run;${PELLIX_WINDOWS_FLAVOUR}")

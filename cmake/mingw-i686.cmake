# Cross build for 32-bit Windows (x86, the flavour that also runs on 9x) with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PELLIX_MINGW_TRIPLE i686-w64-mingw32)
set(PELLIX_WINDOWS_FLAVOUR win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

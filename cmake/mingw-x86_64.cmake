# Cross build for 64-bit Windows (x64) with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PELLIX_MINGW_TRIPLE x86_64-w64-mingw32)
set(PELLIX_WINDOWS_FLAVOUR win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

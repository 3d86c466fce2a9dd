# 32-bit Windows, cross-built with mingw-w64 (Debian: g++-mingw-w64-i686).
set(triplet i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake")

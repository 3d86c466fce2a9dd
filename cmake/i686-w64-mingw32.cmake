# 32-bit Windows, cross-built with mingw-w64 (Debian: g++-mingw-w64-i686).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(triplet i686-w64-mingw32)
set(CMAKE_C_COMPILER ${triplet}-gcc)
set(CMAKE_CXX_COMPILER ${triplet}-g++)
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_DLLTOOL ${triplet}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Link only the system libraries the compiler driver itself names, in its
# order, rather than CMake's long default list ahead of them: otherwise
# kernel32 would supply what msvcrt supplies to every plain C program.
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "Libraries linked into every C program")
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "Libraries linked into every C++ program")

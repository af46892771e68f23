# Cross build for Windows with Debian's mingw-w64; tests run under Wine. The format's home is
# 32-bit Windows (VKT2_WINDOWS_ARCH=i686, the default); x86_64 serves hosts whose kernel cannot
# run 32-bit programs, and so cannot run 32-bit Wine.
if(NOT VKT2_WINDOWS_ARCH)
  set(VKT2_WINDOWS_ARCH i686)
endif()
set(triple ${VKT2_WINDOWS_ARCH}-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VKT2_WINDOWS_ARCH})
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Every test program is a lone .exe, linked statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Wine's own diagnostics would land in the streams the tests compare.
if(VKT2_WINDOWS_ARCH STREQUAL x86_64)
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all WINELOADER=/usr/lib/wine/wine64
      /usr/lib/wine/wine64)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all wine)
endif()

# Shared part of the MinGW-w64 cross toolchains; MINGW_TRIPLE is set by the including file.
# The -posix compilers are needed: the default -win32 ones lack std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# CTest runs the Windows test programs under Wine. Debian's /usr/bin/wine always picks the
# 32-bit loader when it is installed, so each toolchain names its own loader.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(WINE_LOADER NAMES ${WINE_LOADER_NAME} PATHS /usr/lib/wine /usr/bin NO_DEFAULT_PATH)
  if(WINE_LOADER)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_LOADER})
  endif()
endif()

# Second compiler for the 32-bit program: Debian's clang with the same MinGW-w64 headers and
# libraries as the GCC build. It only checks that the sources build warning-free with another
# compiler; the program that ships and the tests that run come from GCC.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET i686-w64-windows-gnu)
set(CMAKE_CXX_COMPILER_TARGET i686-w64-windows-gnu)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_AR ${MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_LINKER ${MINGW_TRIPLE}-ld CACHE FILEPATH "")

# Without the sysroot clang also searches the host's /usr/include. Debian names GCC's folder
# "12-posix", which clang does not recognise, so libstdc++'s headers are named here.
set(CMAKE_SYSROOT_COMPILE /usr/${MINGW_TRIPLE})
file(GLOB MINGW_GCC_DIRS LIST_DIRECTORIES true /usr/lib/gcc/${MINGW_TRIPLE}/*-posix)
if(NOT MINGW_GCC_DIRS)
  message(FATAL_ERROR "no /usr/lib/gcc/${MINGW_TRIPLE}/*-posix: install g++-mingw-w64-i686-posix")
endif()
list(SORT MINGW_GCC_DIRS COMPARE NATURAL ORDER DESCENDING)
list(GET MINGW_GCC_DIRS 0 MINGW_GCC_DIR)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${MINGW_GCC_DIR}/include/c++ ${MINGW_GCC_DIR}/include/c++/${MINGW_TRIPLE})

# lld 14 cannot link these objects against GCC's libraries; GNU ld through the GCC driver can.
# It notes "duplicate section ... has different size" for some of libstdc++'s type names in the
# tests: clang pads those strings less than GCC does; the contents are the same.
set(MINGW_LINK_DRIVER_C ${MINGW_TRIPLE}-gcc-posix)
set(MINGW_LINK_DRIVER_CXX ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/clang-i686-link.cmake)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

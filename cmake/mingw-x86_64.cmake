# 64-bit build of the same sources, for machines whose kernel cannot run 32-bit code
# (Wine then has no 32-bit loader) so the tests can still run there.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(WINE_LOADER_NAME wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# 32-bit Windows, the console that the tool targets.
set(ENCRYPT_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

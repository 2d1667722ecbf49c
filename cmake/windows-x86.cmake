# 32-bit Windows, the console the tool was first written for. Nothing on an
# x86-64 Linux host can execute its results (there is no 32-bit wine).
set(ENCRYPT_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

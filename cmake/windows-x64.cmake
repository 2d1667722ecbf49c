# 64-bit Windows; the results run here under wine64.
set(ENCRYPT_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Windows with the mingw-w64 GCC and the msvcrt C runtime, for the target
# that the including toolchain file names in ENCRYPT_MINGW_ARCH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ENCRYPT_MINGW_ARCH})
set(triple ${ENCRYPT_MINGW_ARCH}-w64-mingw32)

# The posix thread model gives std::thread; its runtime, like libgcc's and
# libstdc++'s, is linked in statically below.
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe that needs no MinGW DLL beside it: only Windows' own DLLs remain.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# The tests run under wine: the 64-bit loader of Debian's wine64 package for
# x86-64, the 32-bit one of wine32 (i386 architecture) for i686.
if(ENCRYPT_MINGW_ARCH STREQUAL "x86_64")
    set(encrypt_wine_loader wine64)
else()
    set(encrypt_wine_loader wine)
endif()
find_program(ENCRYPT_WINE NAMES ${encrypt_wine_loader} PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(ENCRYPT_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ENCRYPT_WINE})
endif()

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

if(ENCRYPT_MINGW_ARCH STREQUAL "x86_64")
    find_program(ENCRYPT_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
    find_program(ENCRYPT_WINE64 NAMES wine64)
    if(ENCRYPT_WINE64)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${ENCRYPT_WINE64})
    endif()
endif()

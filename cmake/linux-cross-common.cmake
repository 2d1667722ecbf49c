# Linux on another processor with Debian's cross compiler, for the target
# that the including toolchain file names: ENCRYPT_LINUX_PROCESSOR (GCC's
# name for it: the compiler is PROCESSOR-linux-gnu-g++, its libraries are in
# /usr/PROCESSOR-linux-gnu), ENCRYPT_DEBIAN_ARCH (the packages'
# architecture), and where they differ from the processor's name,
# ENCRYPT_LINUX_MULTIARCH (Debian's library folder, lib/MULTIARCH) and
# ENCRYPT_QEMU_ARCH (qemu-user's program for it). Every target's compiler
# installs beside the others' (g++-multilib conflicts with all of them).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${ENCRYPT_LINUX_PROCESSOR})
set(ENCRYPT_LINUX_TRIPLET ${ENCRYPT_LINUX_PROCESSOR}-linux-gnu)
if(NOT ENCRYPT_LINUX_MULTIARCH)
    set(ENCRYPT_LINUX_MULTIARCH ${ENCRYPT_LINUX_TRIPLET})
endif()
if(NOT ENCRYPT_QEMU_ARCH)
    set(ENCRYPT_QEMU_ARCH ${ENCRYPT_LINUX_PROCESSOR})
endif()

set(CMAKE_C_COMPILER ${ENCRYPT_LINUX_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ENCRYPT_LINUX_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${ENCRYPT_LINUX_MULTIARCH})

# Only the target's own libraries may be found, never the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${ENCRYPT_LINUX_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run under qemu-user, unless the including file found
# that they run natively (ENCRYPT_LINUX_RUNS_NATIVELY). qemu finds the
# target's loader under that folder (-L, as QEMU_LD_PREFIX does); the
# loader would still take libraries from the host's cache, which names
# Debian's own for a foreign architecture installed beside (libc6:i386,
# which wine32 brings), and mixed with the cross compiler's loader they hang
# threads: LD_LIBRARY_PATH puts the target's own first. The tests start the
# commands through the same command (ENCRYPT_TOOL_EMULATOR).
if(NOT ENCRYPT_LINUX_RUNS_NATIVELY)
    find_program(ENCRYPT_QEMU_${ENCRYPT_QEMU_ARCH} qemu-${ENCRYPT_QEMU_ARCH} REQUIRED)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ENCRYPT_QEMU_${ENCRYPT_QEMU_ARCH}}
        -L /usr/${ENCRYPT_LINUX_TRIPLET} -E LD_LIBRARY_PATH=/usr/${ENCRYPT_LINUX_TRIPLET}/lib)
endif()

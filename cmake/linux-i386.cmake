# 32-bit x86 Linux from an x86-64 host (g++-multilib). The results run
# natively where the kernel executes 32-bit code (IA32 emulation), and under
# qemu-i386 (package qemu-user) where it does not.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

# Asked once per build tree: can this machine run a -m32 program itself?
if(NOT DEFINED ENCRYPT_I386_RUNS_NATIVELY)
    set(probe ${CMAKE_BINARY_DIR}/i386-probe)
    file(WRITE ${probe}.c "int main(void) { return 0; }\n")
    execute_process(COMMAND gcc -m32 ${probe}.c -o ${probe} RESULT_VARIABLE built
        OUTPUT_QUIET ERROR_QUIET)
    set(runs FALSE)
    if(built EQUAL 0)
        execute_process(COMMAND ${probe} RESULT_VARIABLE ran OUTPUT_QUIET ERROR_QUIET)
        if(ran EQUAL 0)
            set(runs TRUE)
        endif()
    endif()
    set(ENCRYPT_I386_RUNS_NATIVELY ${runs} CACHE BOOL "Whether this machine runs 32-bit x86 programs")
endif()
if(NOT ENCRYPT_I386_RUNS_NATIVELY)
    find_program(ENCRYPT_QEMU_I386 qemu-i386 REQUIRED)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ENCRYPT_QEMU_I386})
endif()

# Only 32-bit libraries may be found, never the host's 64-bit ones.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu/cmake)

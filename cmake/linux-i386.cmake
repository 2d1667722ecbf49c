# 32-bit x86 Linux (g++-i686-linux-gnu). Programs run natively where the
# kernel executes 32-bit code (IA32 emulation) and Debian's i386 loader and
# C++ runtime are installed (libc6:i386, libstdc++6:i386), else under
# qemu-i386 with the cross compiler's own.
set(ENCRYPT_LINUX_PROCESSOR i686)
set(ENCRYPT_DEBIAN_ARCH i386)
set(ENCRYPT_LINUX_MULTIARCH i386-linux-gnu)
set(ENCRYPT_QEMU_ARCH i386)

# Asked once per build tree: does a program linked as the tests are (with
# the C++ runtime) run here by itself?
if(NOT DEFINED ENCRYPT_I386_RUNS_NATIVELY)
    set(probe ${CMAKE_BINARY_DIR}/i386-probe)
    file(WRITE ${probe}.cpp "int main() { return 0; }\n")
    execute_process(COMMAND i686-linux-gnu-g++ ${probe}.cpp -o ${probe} -Wl,--no-as-needed
        RESULT_VARIABLE built OUTPUT_QUIET ERROR_QUIET)
    set(runs FALSE)
    if(built EQUAL 0)
        execute_process(COMMAND ${probe} RESULT_VARIABLE ran OUTPUT_QUIET ERROR_QUIET)
        if(ran EQUAL 0)
            set(runs TRUE)
        endif()
    endif()
    set(ENCRYPT_I386_RUNS_NATIVELY ${runs} CACHE BOOL "Whether this machine runs 32-bit x86 programs itself")
endif()
set(ENCRYPT_LINUX_RUNS_NATIVELY ${ENCRYPT_I386_RUNS_NATIVELY})
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)

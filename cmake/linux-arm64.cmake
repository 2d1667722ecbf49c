# 64-bit Arm Linux (g++-aarch64-linux-gnu); programs run under qemu-aarch64.
set(ENCRYPT_LINUX_PROCESSOR aarch64)
set(ENCRYPT_DEBIAN_ARCH arm64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)

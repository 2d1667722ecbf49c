# IBM Z Linux (g++-s390x-linux-gnu), big-endian: a 16-bit load of a text's
# first two bytes puts the first one high there. Programs run under
# qemu-s390x.
set(ENCRYPT_LINUX_PROCESSOR s390x)
set(ENCRYPT_DEBIAN_ARCH s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)

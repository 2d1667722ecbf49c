# Debian packages from the deb presets (prefix /usr, so that GNUInstallDirs
# puts the library in the multiarch directory): `encrypt` with the commands,
# `libencrypt-dev` with what building against the library needs, and for a
# shared build `libencrypt1` with the library itself. Each carries its own
# copyright and changelog; man pages and the changelog go in compressed with
# gzip -9n, which leaves out the name and time stamp that would make every
# build differ; dependencies on system libraries come from dpkg-shlibdeps.

set(encrypt_deb_files ${PROJECT_BINARY_DIR}/debian)
find_program(ENCRYPT_GZIP gzip REQUIRED)
set(encrypt_compressed)
foreach(source IN ITEMS man/encrypt.1 man/encrypt-lines.1 packaging/debian/changelog)
    get_filename_component(name ${source} NAME)
    set(compressed ${encrypt_deb_files}/${name}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${encrypt_deb_files}
        COMMAND sh -c "${ENCRYPT_GZIP} -9n -c \"$1\" > \"$2\"" sh
            ${PROJECT_SOURCE_DIR}/${source} ${compressed}
        DEPENDS ${source} VERBATIM)
    list(APPEND encrypt_compressed ${compressed})
endforeach()
add_custom_target(encrypt_debian_files ALL DEPENDS ${encrypt_compressed})

install(FILES ${encrypt_deb_files}/encrypt.1.gz ${encrypt_deb_files}/encrypt-lines.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
install(FILES README.md CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/encrypt
    COMPONENT tool)
install(DIRECTORY docs DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/encrypt COMPONENT tool)

set(encrypt_deb_components tool development)
set(CPACK_DEBIAN_TOOL_PACKAGE_NAME encrypt)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libencrypt-dev)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libencrypt1)
if(BUILD_SHARED_LIBS)
    list(APPEND encrypt_deb_components runtime)
endif()
foreach(component IN LISTS encrypt_deb_components)
    string(TOUPPER ${component} upper)
    install(FILES packaging/debian/copyright ${encrypt_deb_files}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
        COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${encrypt_deb_components})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "")
# dpkg names the build machine's architecture; a cross build's toolchain
# file names its own (cmake/linux-cross-common.cmake). dpkg-shlibdeps takes
# the dependencies from Debian's own libraries of that architecture where
# they are installed (libc6:i386 and libgcc-s1:i386, which wine32 brings).
# Else it reads the cross compiler's C library, whose package names
# Debian's (libc6:arm64 (>= 2.36)); the cross libgcc's names only itself,
# which CI would find in a package's Depends.
if(CMAKE_CROSSCOMPILING AND ENCRYPT_DEBIAN_ARCH)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ENCRYPT_DEBIAN_ARCH})
    if(NOT EXISTS /lib/${ENCRYPT_LINUX_MULTIARCH}/libc.so.6)
        set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS /usr/${ENCRYPT_LINUX_TRIPLET}/lib)
    endif()
endif()

# Each package's description is its own: a synopsis line, then the extended
# description. The project's one-line summary, which CPack would put in front
# of each, is dropped when the packages are made.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/debian-cpack-options.cmake)
set(encrypt_deb_warning "This is not encryption in the security sense: there is no key, and anyone
can recover a text from its output by trying all 65,536 units for each word.")

set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_DESCRIPTION "print a fixed, keyless transform of texts in hexadecimal
encrypt takes a text as its one argument, packs its bytes two at a time into
16-bit units (the first byte of each pair low), widens each unit to a 32-bit
word, runs every word through a fixed mix and prints the words in lowercase
hexadecimal after a fixed caption. encrypt-lines does the same for every
line of a stream, in fixed memory and at the speed of the library.

${encrypt_deb_warning}")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "fixed, keyless transform of texts into words - development files
The library behind the encrypt command: it packs a text's bytes into 16-bit
units, transforms them into 32-bit words and writes the line the command
prints into the caller's buffer. This package holds the C header
<encrypt/encrypt.h>, the C++ header <encrypt/encryption.hpp>, the library
for linking, the CMake package encrypt (target encrypt::encryption) and the
pkg-config module encrypt.

${encrypt_deb_warning}")

if(BUILD_SHARED_LIBS)
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "fixed, keyless transform of texts into words - shared library
The shared library behind the encrypt command, libencrypt.so.1: it packs a
text's bytes into 16-bit units and transforms them into 32-bit words.

${encrypt_deb_warning}")
    # dpkg-shlibdeps finds the library in the build tree, but knows no package
    # for it: its own package is named here, at exactly this version.
    list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
    # The library cache is updated by the ldconfig trigger; scripts of our own
    # stand in for the ones CPack would write to call ldconfig directly.
    set(encrypt_runtime_control ${PROJECT_SOURCE_DIR}/packaging/debian/libencrypt1)
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
        ${encrypt_runtime_control}/triggers ${encrypt_runtime_control}/postinst
        ${encrypt_runtime_control}/postrm)
    install(FILES ${encrypt_runtime_control}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME libencrypt1
        COMPONENT runtime)
    set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libencrypt1 (= ${PROJECT_VERSION})")
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libencrypt1 (= ${PROJECT_VERSION})")
endif()

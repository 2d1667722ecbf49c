# Read by cpack for each package (CPACK_PROJECT_CONFIG_FILE): a Debian
# package's synopsis is the first line of its own description.
if(CPACK_GENERATOR STREQUAL "DEB")
    unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
endif()

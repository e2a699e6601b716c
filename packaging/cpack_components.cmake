# Read by cpack for each generator. The .deb and the Windows installer are the plain install (the system
# layout); an archive takes only the portable folder, which the plain install leaves out.
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME ${CPACK_QUORVANE_INSTALLER_FILE_NAME})
    set(CPACK_MONOLITHIC_INSTALL ON)
    # CPack's template has no setting for the target; NSIS makes 32-bit installers unless told, and the
    # line after SetCompressor is still before any data, where Target must be.
    set(CPACK_NSIS_COMPRESSOR "lzma\n  Target amd64-unicode")
elseif(NOT CPACK_GENERATOR STREQUAL "DEB")
    set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
    set(CPACK_COMPONENTS_ALL portable)
    set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()

# Read by cpack for each generator. The .deb is the plain install (the system layout); an archive
# takes only the portable folder, which the plain install leaves out.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
    set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
    set(CPACK_COMPONENTS_ALL portable)
    set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()

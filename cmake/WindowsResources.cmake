# The Windows executable's resources: the program's icon, drawn by the same code as everywhere else, and
# the version information. Cross-building, the icon is drawn by a copy of the drawing tool built for the
# build machine (QUORVANE_ICON_TOOL, which scripts/windows/package.sh passes); without one the executable
# has no icon resource (the window still shows the icon Qt is given at run time).
set(QUORVANE_ICON_TOOL "" CACHE FILEPATH "quorvane_render_icon built for the build machine (cross builds)")
set(QUORVANE_VERSION_PATCH 0)
if(DEFINED PROJECT_VERSION_PATCH AND NOT PROJECT_VERSION_PATCH STREQUAL "")
    set(QUORVANE_VERSION_PATCH ${PROJECT_VERSION_PATCH})
endif()

set(_ico ${CMAKE_BINARY_DIR}/windows/quorvane.ico)
set(_ico_sizes 16 20 24 32 40 48 64 256)
set(QUORVANE_ICON_RESOURCE "")
if(NOT CMAKE_CROSSCOMPILING)
    add_executable(quorvane_render_icon packaging/render_icon.cpp)
    target_link_libraries(quorvane_render_icon PRIVATE quorvane_gui)
    add_custom_command(OUTPUT ${_ico}
        COMMAND quorvane_render_icon --ico ${_ico} ${_ico_sizes}
        DEPENDS quorvane_render_icon
        COMMENT "Drawing the program icon for the executable"
        VERBATIM)
    set(QUORVANE_ICON_RESOURCE "1 ICON \"${_ico}\"")
elseif(QUORVANE_ICON_TOOL)
    add_custom_command(OUTPUT ${_ico}
        COMMAND ${QUORVANE_ICON_TOOL} --ico ${_ico} ${_ico_sizes}
        DEPENDS ${QUORVANE_ICON_TOOL}
        COMMENT "Drawing the program icon for the executable"
        VERBATIM)
    set(QUORVANE_ICON_RESOURCE "1 ICON \"${_ico}\"")
else()
    message(WARNING "QUORVANE_ICON_TOOL is not set: quorvane.exe gets no icon resource")
endif()

set(_rc ${CMAKE_BINARY_DIR}/windows/quorvane.rc)
configure_file(packaging/windows/quorvane.rc.in ${_rc} @ONLY)
target_sources(quorvane PRIVATE ${_rc})
if(QUORVANE_ICON_RESOURCE)
    add_custom_target(quorvane_icon DEPENDS ${_ico})
    add_dependencies(quorvane quorvane_icon)
    set_source_files_properties(${_rc} TARGET_DIRECTORY quorvane PROPERTIES OBJECT_DEPENDS ${_ico})
endif()

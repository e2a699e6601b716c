# Packages made by cpack: a .deb that installs the program under /usr/lib/quorvane (with a launcher,
# a desktop entry, the icon in the theme sizes and a manual page), and a .tar.gz of the portable folder.
# Two install components keep the layouts apart: "system" for the .deb, "portable" for the archive.

set(QUORVANE_PACKAGE_BUILD_DIR ${CMAKE_BINARY_DIR}/packaging)
set(QUORVANE_ICON_SIZES 16 22 24 32 48 64 128 256)

# The theme icons are the program's own, drawn by the same code at each size; no image is committed.
add_executable(quorvane_render_icon packaging/render_icon.cpp)
target_link_libraries(quorvane_render_icon PRIVATE quorvane_gui)
set(_icon_files)
foreach(_size IN LISTS QUORVANE_ICON_SIZES)
    list(APPEND _icon_files ${QUORVANE_PACKAGE_BUILD_DIR}/icons/${_size}x${_size}/apps/quorvane.png)
endforeach()
add_custom_command(OUTPUT ${_icon_files}
    COMMAND quorvane_render_icon ${QUORVANE_PACKAGE_BUILD_DIR}/icons ${QUORVANE_ICON_SIZES}
    DEPENDS quorvane_render_icon
    COMMENT "Drawing the program icon for the package"
    VERBATIM)

set(_man_page ${QUORVANE_PACKAGE_BUILD_DIR}/quorvane.1)
add_custom_command(OUTPUT ${_man_page}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/quorvane.1 ${_man_page}
    COMMAND gzip -9 -n -f ${_man_page}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/quorvane.1
    VERBATIM)
add_custom_target(package_files ALL DEPENDS ${_icon_files} ${_man_page}.gz)

# .deb: the program folder without tunnells/, so every user's tunnels go to their own data folder.
# plink and puttygen are the system's, through links, so security updates of putty-tools reach them.
set(_lib_dir lib/quorvane)
file(MAKE_DIRECTORY ${QUORVANE_PACKAGE_BUILD_DIR}/links)
file(CREATE_LINK ../lib/quorvane/quorvane ${QUORVANE_PACKAGE_BUILD_DIR}/links/quorvane SYMBOLIC)
file(CREATE_LINK /usr/bin/plink ${QUORVANE_PACKAGE_BUILD_DIR}/links/plink.exe SYMBOLIC)
file(CREATE_LINK /usr/bin/puttygen ${QUORVANE_PACKAGE_BUILD_DIR}/links/puttygen.exe SYMBOLIC)
install(TARGETS quorvane RUNTIME DESTINATION ${_lib_dir} COMPONENT system)
install(FILES ${QUORVANE_PACKAGE_BUILD_DIR}/links/plink.exe ${QUORVANE_PACKAGE_BUILD_DIR}/links/puttygen.exe
    DESTINATION ${_lib_dir} COMPONENT system)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${_lib_dir} RENAME license.txt COMPONENT system)
if(EXISTS ${QUORVANE_PUTTY_COPYRIGHT})
    install(FILES ${QUORVANE_PUTTY_COPYRIGHT} DESTINATION ${_lib_dir} RENAME puttylicense.txt COMPONENT system)
endif()
install(FILES ${_language_files} DESTINATION ${_lib_dir}/lang COMPONENT system)
install(FILES ${QUORVANE_PACKAGE_BUILD_DIR}/links/quorvane DESTINATION bin COMPONENT system)
install(FILES packaging/quorvane.desktop DESTINATION share/applications COMPONENT system)
foreach(_size IN LISTS QUORVANE_ICON_SIZES)
    install(FILES ${QUORVANE_PACKAGE_BUILD_DIR}/icons/${_size}x${_size}/apps/quorvane.png
        DESTINATION share/icons/hicolor/${_size}x${_size}/apps COMPONENT system)
endforeach()
install(FILES ${_man_page}.gz DESTINATION share/man/man1 COMPONENT system)

# .tar.gz: the portable folder as the build assembles it, empty tunnells/ included. Left out of a
# plain "cmake --install", which would otherwise lay down both layouts.
install(TARGETS quorvane RUNTIME DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
if(QUORVANE_PLINK)
    install(PROGRAMS ${QUORVANE_PORTABLE_DIR}/plink.exe DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
endif()
if(QUORVANE_PUTTYGEN)
    install(PROGRAMS ${QUORVANE_PORTABLE_DIR}/puttygen.exe DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME license.txt COMPONENT portable EXCLUDE_FROM_ALL)
if(EXISTS ${QUORVANE_PUTTY_COPYRIGHT})
    install(FILES ${QUORVANE_PUTTY_COPYRIGHT} DESTINATION . RENAME puttylicense.txt
        COMPONENT portable EXCLUDE_FROM_ALL)
endif()
install(FILES ${_language_files} DESTINATION lang COMPONENT portable EXCLUDE_FROM_ALL)
install(DIRECTORY DESTINATION tunnells COMPONENT portable EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "Quorvane developers")
set(CPACK_PACKAGE_CONTACT "Quorvane developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop manager for SSH port-forwarding tunnels")
set(CPACK_PACKAGE_DESCRIPTION "Quorvane gives each SSH port-forwarding tunnel a name, starts a private copy of
PuTTY's plink for each tunnel you connect, shows which tunnels are up and, when one
is not, why, and waits in the notification area. Its user interface is Italian by
default, with an English translation included. Tunnels can also be connected,
disconnected and listed from the command line.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_FILE_NAME quorvane-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorvane developers")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS putty-tools)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/cpack_components.cmake)
include(CPack)

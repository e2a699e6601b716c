# Packages made by cpack. Everywhere: an archive of the portable folder (.tar.gz; .zip on Windows). On
# Linux also a .deb that installs the program under /usr/lib/quorvane with a launcher, a desktop entry,
# the icon in the theme sizes and a manual page. Two install components keep the layouts apart:
# "portable" for the archive, the default one for the .deb (and a plain "cmake --install").

# The archive: the portable folder as assembled (on Windows with the Qt libraries windeployqt put
# there), without what a run from the build folder leaves in it: tunnels, language choice, settings.
install(TARGETS quorvane RUNTIME DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
install(DIRECTORY ${QUORVANE_PORTABLE_DIR}/ DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL
    USE_SOURCE_PERMISSIONS
    PATTERN quorvane EXCLUDE
    PATTERN quorvane.exe EXCLUDE
    PATTERN default.lng EXCLUDE
    PATTERN quorvane.ini EXCLUDE
    REGEX "/[Tt]unnells/." EXCLUDE)

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
# Read by cpack once per generator: an archive packs the portable component only.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/cpack_components.cmake)

if(WIN32)
    # The installer: the program folder without tunnells/, so that, installed where users cannot write,
    # every user's tunnels go to their own data folder (as with the .deb).
    install(TARGETS quorvane RUNTIME DESTINATION .)
    install(DIRECTORY ${QUORVANE_PORTABLE_DIR}/ DESTINATION .
        PATTERN quorvane.exe EXCLUDE
        PATTERN default.lng EXCLUDE
        PATTERN quorvane.ini EXCLUDE
        REGEX "/[Tt]unnells($|/)" EXCLUDE)
    set(CPACK_GENERATOR ZIP NSIS)
    set(CPACK_PACKAGE_FILE_NAME quorvane-${PROJECT_VERSION}-windows-x64)
    set(CPACK_QUORVANE_INSTALLER_FILE_NAME quorvane-${PROJECT_VERSION}-setup)
    set(CPACK_PACKAGE_INSTALL_DIRECTORY Quorvane)
    set(CPACK_PACKAGE_EXECUTABLES quorvane Quorvane)
    set(CPACK_NSIS_PACKAGE_NAME Quorvane)
    set(CPACK_NSIS_DISPLAY_NAME Quorvane)
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
    set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
    set(CPACK_NSIS_INSTALLED_ICON_NAME quorvane.exe)
    # No "run now" on the last page: started from the elevated installer, the program would run as the
    # administrator who typed the password, with their tunnels, not the user's.
    set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
    set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
    if(QUORVANE_ICON_RESOURCE)
        set(CPACK_NSIS_MUI_ICON ${CMAKE_BINARY_DIR}/windows/quorvane.ico)
        set(CPACK_NSIS_MUI_UNIICON ${CMAKE_BINARY_DIR}/windows/quorvane.ico)
    endif()
    set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
    include(CPack)
    return()
endif()

set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_FILE_NAME quorvane-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
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
install(TARGETS quorvane RUNTIME DESTINATION ${_lib_dir})
install(FILES ${QUORVANE_PACKAGE_BUILD_DIR}/links/plink.exe ${QUORVANE_PACKAGE_BUILD_DIR}/links/puttygen.exe
    DESTINATION ${_lib_dir})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${_lib_dir} RENAME license.txt)
if(EXISTS ${QUORVANE_PUTTY_COPYRIGHT})
    install(FILES ${QUORVANE_PUTTY_COPYRIGHT} DESTINATION ${_lib_dir} RENAME puttylicense.txt)
endif()
install(FILES ${_language_files} DESTINATION ${_lib_dir}/lang)
install(FILES ${QUORVANE_PACKAGE_BUILD_DIR}/links/quorvane DESTINATION bin)
install(FILES packaging/quorvane.desktop DESTINATION share/applications)
foreach(_size IN LISTS QUORVANE_ICON_SIZES)
    install(FILES ${QUORVANE_PACKAGE_BUILD_DIR}/icons/${_size}x${_size}/apps/quorvane.png
        DESTINATION share/icons/hicolor/${_size}x${_size}/apps)
endforeach()
install(FILES ${_man_page}.gz DESTINATION share/man/man1)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorvane developers")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS putty-tools)
include(CPack)

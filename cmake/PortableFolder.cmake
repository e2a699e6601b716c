# The portable program folder: the executable beside plink.exe, puttygen.exe, the licence texts,
# the language files and an empty tunnells/ folder. The program takes WorkingDir from this folder.
set(QUORVANE_PORTABLE_DIR ${CMAKE_BINARY_DIR}/portable CACHE PATH "Assembled portable program folder")

set_target_properties(quorvane PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUORVANE_PORTABLE_DIR})

if(WIN32)
    # PuTTY built for Windows (scripts/windows/putty.sh makes it from Debian's sources): plink.exe,
    # puttygen.exe and PuTTY's LICENCE. A cross build must never take the build machine's own plink.
    set(QUORVANE_WINDOWS_PUTTY_DIR "" CACHE PATH "Folder with the Windows plink.exe, puttygen.exe and LICENCE")
    if(QUORVANE_WINDOWS_PUTTY_DIR)
        set(QUORVANE_PLINK ${QUORVANE_WINDOWS_PUTTY_DIR}/plink.exe)
        set(QUORVANE_PUTTYGEN ${QUORVANE_WINDOWS_PUTTY_DIR}/puttygen.exe)
        set(QUORVANE_PUTTY_COPYRIGHT ${QUORVANE_WINDOWS_PUTTY_DIR}/LICENCE)
    elseif(NOT CMAKE_CROSSCOMPILING)
        find_program(QUORVANE_PLINK plink.exe)
        find_program(QUORVANE_PUTTYGEN puttygen.exe)
    endif()
else()
    find_program(QUORVANE_PLINK plink)
    find_program(QUORVANE_PUTTYGEN puttygen)
    set(QUORVANE_PUTTY_COPYRIGHT /usr/share/doc/putty-tools/copyright)
endif()

set(_portable_commands
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORVANE_PORTABLE_DIR}/tunnells
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORVANE_PORTABLE_DIR}/lang
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PROJECT_SOURCE_DIR}/LICENSE ${QUORVANE_PORTABLE_DIR}/license.txt)
# Tunnel names are the user's business: the folder is for its owner alone, in the archive too.
if(NOT WIN32)
    list(APPEND _portable_commands COMMAND chmod 0700 ${QUORVANE_PORTABLE_DIR}/tunnells)
endif()
file(GLOB _language_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/lang/*.lng)
foreach(_lng IN LISTS _language_files)
    list(APPEND _portable_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_lng} ${QUORVANE_PORTABLE_DIR}/lang/)
endforeach()
if(QUORVANE_PLINK)
    list(APPEND _portable_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${QUORVANE_PLINK} ${QUORVANE_PORTABLE_DIR}/plink.exe)
else()
    message(WARNING "plink not found: the portable folder will have no plink.exe (install putty-tools)")
endif()
if(QUORVANE_PUTTYGEN)
    list(APPEND _portable_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${QUORVANE_PUTTYGEN} ${QUORVANE_PORTABLE_DIR}/puttygen.exe)
endif()
if(EXISTS ${QUORVANE_PUTTY_COPYRIGHT})
    list(APPEND _portable_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${QUORVANE_PUTTY_COPYRIGHT} ${QUORVANE_PORTABLE_DIR}/puttylicense.txt)
endif()

# Windows: what the executable loads, beside it (windeployqt's job where Qt's own kits are used; the
# cross-built kit has none): Qt's libraries, the platform and style plugins, the compiler's runtime.
if(WIN32)
    foreach(_module Core Gui Widgets Network)
        list(APPEND _portable_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different
            $<TARGET_FILE:Qt6::${_module}> ${QUORVANE_PORTABLE_DIR}/)
    endforeach()
    list(APPEND _portable_commands
        COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORVANE_PORTABLE_DIR}/platforms ${QUORVANE_PORTABLE_DIR}/styles
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
            ${QUORVANE_PORTABLE_DIR}/platforms/
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>
            ${QUORVANE_PORTABLE_DIR}/styles/)
    # Qt's own words in the languages the program ships (.qm files are the same on every system, so the
    # host's qt6-translations-l10n serves a kit built without them).
    find_path(QUORVANE_QT_TRANSLATIONS_DIR qtbase_it.qm
        PATHS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_TRANSLATIONS} /usr/share/qt6/translations NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(QUORVANE_QT_TRANSLATIONS_DIR)
        list(APPEND _portable_commands COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORVANE_PORTABLE_DIR}/translations)
        foreach(_language it en de)
            list(APPEND _portable_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different
                ${QUORVANE_QT_TRANSLATIONS_DIR}/qtbase_${_language}.qm ${QUORVANE_PORTABLE_DIR}/translations/)
        endforeach()
    else()
        message(WARNING "Qt's translations not found (install qt6-translations-l10n): Qt's own words stay English")
    endif()
    if(MINGW)
        foreach(_runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
            execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_runtime}
                OUTPUT_VARIABLE _runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
            if(EXISTS ${_runtime_path})
                list(APPEND _portable_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_runtime_path}
                    ${QUORVANE_PORTABLE_DIR}/)
                # The compiler ships them with their debugging symbols (libstdc++ alone is 23 MB).
                if(CMAKE_STRIP)
                    list(APPEND _portable_commands COMMAND ${CMAKE_STRIP} --strip-unneeded
                        ${QUORVANE_PORTABLE_DIR}/${_runtime})
                endif()
            else()
                message(WARNING "${_runtime} not found beside the compiler: the portable folder will lack it")
            endif()
        endforeach()
    endif()
endif()

add_custom_target(portable ALL ${_portable_commands}
    DEPENDS quorvane
    COMMENT "Assembling the portable folder in ${QUORVANE_PORTABLE_DIR}"
    VERBATIM)

# The portable program folder: the executable beside plink.exe, puttygen.exe, the licence texts,
# the language files and an empty tunnells/ folder. The program takes WorkingDir from this folder.
set(QUORVANE_PORTABLE_DIR ${CMAKE_BINARY_DIR}/portable CACHE PATH "Assembled portable program folder")

set_target_properties(quorvane PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUORVANE_PORTABLE_DIR})

find_program(QUORVANE_PLINK plink)
find_program(QUORVANE_PUTTYGEN puttygen)
set(QUORVANE_PUTTY_COPYRIGHT /usr/share/doc/putty-tools/copyright)

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

add_custom_target(portable ALL ${_portable_commands}
    DEPENDS quorvane
    COMMENT "Assembling the portable folder in ${QUORVANE_PORTABLE_DIR}"
    VERBATIM)

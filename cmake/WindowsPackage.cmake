# The Windows installer, made by CPack with NSIS: Vellora-VERSION-win64.exe
# installs into Program Files with a Start-menu entry carrying the icon and
# an "Open with" entry for .wav files; its uninstaller takes all of it away.
# The window's target installs vellora.exe into bin/ beside vellora-cli.exe.

# The icon, from the window's speaker picture, at the sizes Windows asks for.
find_program(VELLORA_CONVERT convert REQUIRED)
find_program(VELLORA_ICOTOOL icotool REQUIRED)
set(icon ${CMAKE_BINARY_DIR}/vellora.ico)
set(picture ${PROJECT_SOURCE_DIR}/window/pictures/speaker.png)
set(sizes 16 32 48 256)
set(pngs)
foreach(size ${sizes})
  list(APPEND pngs ${CMAKE_BINARY_DIR}/icon/vellora-${size}.png)
endforeach()
add_custom_command(OUTPUT ${icon}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icon
  COMMAND ${VELLORA_CONVERT} ${picture} -filter point -resize 16x16 ${CMAKE_BINARY_DIR}/icon/vellora-16.png
  COMMAND ${VELLORA_CONVERT} ${picture} -filter point -resize 32x32 ${CMAKE_BINARY_DIR}/icon/vellora-32.png
  COMMAND ${VELLORA_CONVERT} ${picture} -filter point -resize 48x48 ${CMAKE_BINARY_DIR}/icon/vellora-48.png
  COMMAND ${VELLORA_CONVERT} ${picture} -filter point -resize 256x256 ${CMAKE_BINARY_DIR}/icon/vellora-256.png
  COMMAND ${VELLORA_ICOTOOL} -c -o ${icon} ${pngs}
  DEPENDS ${picture}
  VERBATIM)
add_custom_target(vellora_icon ALL DEPENDS ${icon})
install(FILES ${icon} DESTINATION .)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Vellora)
set(CPACK_PACKAGE_VENDOR Vellora)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Plays WAV recordings faster or slower by rewriting their rates")
set(VELLORA_INSTALLER Vellora-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_FILE_NAME ${VELLORA_INSTALLER})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Vellora)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Vellora)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# A 64-bit installer, like the programs: it runs where only 64-bit Windows
# programs run (Debian's wine64 alone).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_PACKAGE_NAME Vellora)
set(CPACK_NSIS_DISPLAY_NAME Vellora)
set(CPACK_NSIS_MUI_ICON ${icon})
set(CPACK_NSIS_MUI_UNIICON ${icon})
set(CPACK_NSIS_INSTALLED_ICON_NAME vellora.ico)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY bin)

# The Start-menu entry and the "Open with" entry live in vellora-install.nsh,
# where NSIS's quoting needs no CMake escapes.
set(nsh "!include '${PROJECT_SOURCE_DIR}/cmake/vellora-install.nsh'\n")
set(CPACK_NSIS_CREATE_ICONS_EXTRA "${nsh}!insertmacro VelloraShortcut")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "${nsh}!insertmacro VelloraUnshortcut")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "${nsh}!insertmacro VelloraRegister")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "${nsh}!insertmacro VelloraUnregister")
include(CPack)

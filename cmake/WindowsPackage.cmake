# The Windows installer, made by CPack with NSIS: Vellora-VERSION-win64.exe
# installs into Program Files with a Start-menu entry carrying the icon and
# an "Open with" entry for .wav files; its uninstaller takes all of it away.
# The window's target installs vellora.exe into bin/ beside vellora-cli.exe.

# The program's icon (WindowsResources.cmake) for the shortcut, Settings and
# the installer's own windows, and the licence beside the programs.
install(FILES ${VELLORA_WINDOWS_ICON} DESTINATION . RENAME vellora.ico)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION bin RENAME LICENSE.txt)

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
# programs run (Debian's wine64 alone). Sharp at any display scale, and with
# the version resource the programs carry (NSIS's backquotes, which CPack
# passes on unchanged, unlike double quotes).
set(CPACK_NSIS_DEFINES "Target amd64-unicode
  VIProductVersion ${PROJECT_VERSION}.0
  VIAddVersionKey /LANG=1033 ProductName Vellora
  VIAddVersionKey /LANG=1033 ProductVersion ${PROJECT_VERSION}
  VIAddVersionKey /LANG=1033 FileVersion ${PROJECT_VERSION}
  VIAddVersionKey /LANG=1033 FileDescription `Vellora Setup`
  VIAddVersionKey /LANG=1033 CompanyName `The Vellora developers`
  VIAddVersionKey /LANG=1033 LegalCopyright `${VELLORA_COPYRIGHT}`")
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_PACKAGE_NAME Vellora)
set(CPACK_NSIS_DISPLAY_NAME Vellora)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_NSIS_MUI_ICON ${VELLORA_WINDOWS_ICON})
set(CPACK_NSIS_MUI_UNIICON ${VELLORA_WINDOWS_ICON})
set(CPACK_NSIS_INSTALLED_ICON_NAME vellora.ico)
# CPack's own uninstall-before-install asks in a box that a silent install
# cannot answer and gives no reason when it fails: VelloraReplaceEarlier does it.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL OFF)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY bin)

# The Start-menu entry, the "Open with" entry, the uninstall entry's values
# beyond CPack's and the refusal to uninstall a running Vellora live in
# vellora-install.nsh, where NSIS's quoting needs no CMake escapes.
set(nsh "!include '${PROJECT_SOURCE_DIR}/cmake/vellora-install.nsh'\n")
set(CPACK_NSIS_CREATE_ICONS_EXTRA "${nsh}!insertmacro VelloraShortcut")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "${nsh}!insertmacro VelloraUnshortcut")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "${nsh}!insertmacro VelloraRegister")
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "${nsh}!insertmacro VelloraReplaceEarlier")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS
    "${nsh}!insertmacro VelloraCheckUninstallFolder\n!insertmacro VelloraRefuseWhileRunning\n!insertmacro VelloraUnregister")
include(CPack)

; What the Vellora installer adds beyond its files, and its uninstaller
; takes away: the Start-menu entry, the "Open with" entries for the types of
; recording it converts, and what admins' tools read in the uninstall entry.
; The installer is a 64-bit program, so it writes the registry view that a
; 64-bit Explorer reads.
!ifndef VELLORA_INSTALL_NSH
!define VELLORA_INSTALL_NSH

; The Start-menu entry: the window, with the program's icon.
!macro VelloraShortcut
  CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\Vellora.lnk" "$INSTDIR\bin\vellora.exe" "" "$INSTDIR\vellora.ico"
!macroend

; Runs after the uninstaller removed its own key Software\Vellora\Vellora,
; whose parent would stay behind empty.
!macro VelloraUnshortcut
  Delete "$SMPROGRAMS\$MUI_TEMP\Vellora.lnk"
  DeleteRegKey /ifempty SHCTX "Software\Vellora"
!macroend

; Every file type Vellora converts, as the table of formats lists them, each
; handed to `TypeMacro`.
!macro VelloraTypes TypeMacro
  ; types: kept by format_docs
  !insertmacro ${TypeMacro} ".wav"
  !insertmacro ${TypeMacro} ".wave"
  !insertmacro ${TypeMacro} ".bwf"
  !insertmacro ${TypeMacro} ".rf64"
  !insertmacro ${TypeMacro} ".w64"
  !insertmacro ${TypeMacro} ".aif"
  !insertmacro ${TypeMacro} ".aiff"
  !insertmacro ${TypeMacro} ".aifc"
  !insertmacro ${TypeMacro} ".caf"
  !insertmacro ${TypeMacro} ".flac"
  !insertmacro ${TypeMacro} ".wv"
  !insertmacro ${TypeMacro} ".wvc"
  !insertmacro ${TypeMacro} ".wvp"
  !insertmacro ${TypeMacro} ".ogg"
  !insertmacro ${TypeMacro} ".oga"
  !insertmacro ${TypeMacro} ".m4a"
  !insertmacro ${TypeMacro} ".mp4"
  ; /types
!macroend

!macro VelloraRegisterType extension
  WriteRegStr HKLM "Software\Classes\Applications\vellora.exe\SupportedTypes" "${extension}" ""
  WriteRegStr HKLM "Software\Classes\${extension}\OpenWithList\vellora.exe" "" ""
!macroend

!macro VelloraUnregisterType extension
  DeleteRegKey HKLM "Software\Classes\${extension}\OpenWithList\vellora.exe"
!macroend

!define VELLORA_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellora"

!macro VelloraRegister
  ; Settings removes programs; CPack's Start-menu folder always gets an
  ; Uninstall shortcut, which is taken out again here.
  Delete "$SMPROGRAMS\$STARTMENU_FOLDER\Uninstall.lnk"
  ; The size of the files in kilobytes, as makensis counted them.
  SectionGetSize 0 $0
  WriteRegDWORD SHCTX "${VELLORA_UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegStr SHCTX "${VELLORA_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${VELLORA_UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr HKLM "Software\Classes\Applications\vellora.exe" "FriendlyAppName" "Vellora"
  WriteRegStr HKLM "Software\Classes\Applications\vellora.exe\DefaultIcon" "" "$INSTDIR\vellora.ico"
  WriteRegStr HKLM "Software\Classes\Applications\vellora.exe\shell\open\command" "" '"$INSTDIR\bin\vellora.exe" "%1"'
  !insertmacro VelloraTypes VelloraRegisterType
!macroend

; Windows cannot remove a program that runs: uninstalling then would strand
; it in Program Files without the entry that Settings removes it by. The
; uninstaller asks to close Vellora first; silent, it gives up with status 2
; and leaves everything as it was. A running program cannot be opened for
; writing, which FileOpen's append mode asks for.
!macro VelloraRefuseWhileRunning
  vellora_running_check:
  ClearErrors
  IfFileExists "$INSTDIR\bin\vellora.exe" 0 +3
    FileOpen $0 "$INSTDIR\bin\vellora.exe" a
    FileClose $0
  IfFileExists "$INSTDIR\bin\vellora-cli.exe" 0 +3
    FileOpen $0 "$INSTDIR\bin\vellora-cli.exe" a
    FileClose $0
  IfErrors 0 vellora_not_running
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "Vellora is running. Close it, then choose Retry to uninstall it." \
      /SD IDCANCEL IDRETRY vellora_running_check
    SetErrorLevel 2
    Quit
  vellora_not_running:
!macroend

!macro VelloraUnregister
  DeleteRegKey HKLM "Software\Classes\Applications\vellora.exe"
  !insertmacro VelloraTypes VelloraUnregisterType
!macroend

!endif

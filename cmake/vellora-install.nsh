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
  !insertmacro ${TypeMacro} ".bw64"
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
  !insertmacro ${TypeMacro} ".au"
  !insertmacro ${TypeMacro} ".snd"
  !insertmacro ${TypeMacro} ".sph"
  !insertmacro ${TypeMacro} ".nist"
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

; Sets the error flag when a program of the installation in `folder` runs:
; a running program cannot be opened for writing, which FileOpen's append
; mode asks for.
!macro VelloraCheckRunning folder
  IfFileExists "${folder}\bin\vellora.exe" 0 +3
    FileOpen $0 "${folder}\bin\vellora.exe" a
    FileClose $0
  IfFileExists "${folder}\bin\vellora-cli.exe" 0 +3
    FileOpen $0 "${folder}\bin\vellora-cli.exe" a
    FileClose $0
!macroend

; Windows cannot remove a program that runs: uninstalling then would strand
; it in Program Files without the entry that Settings removes it by. The
; uninstaller asks to close Vellora first; silent, it gives up with status 2
; and leaves everything as it was.
!macro VelloraRefuseWhileRunning
  vellora_running_check:
  ClearErrors
  !insertmacro VelloraCheckRunning "$INSTDIR"
  IfErrors 0 vellora_not_running
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "Vellora is running. Close it, then choose Retry to uninstall it." \
      /SD IDCANCEL IDRETRY vellora_running_check
    SetErrorLevel 2
    Quit
  vellora_not_running:
!macroend

; The uninstaller works only on its own installation: any other folder, one
; without Vellora's programs or another than the one the uninstall entry
; names, is refused with status 2 and nothing removed.
!macro VelloraCheckUninstallFolder
  ; NSIS takes "_?=" only unquoted; a quoted "_?=FOLDER" reaches the copy of
  ; the uninstaller that NSIS starts from the temporary folder, which here
  ; takes FOLDER as the installation.
  StrCpy $2 0
  vellora_find_quoted:
    StrCpy $3 $CMDLINE 4 $2
    StrCmp $3 "" vellora_quoted_done
    StrCmp $3 '"_?=' vellora_quoted_found
    IntOp $2 $2 + 1
    Goto vellora_find_quoted
  vellora_quoted_found:
    IntOp $2 $2 + 4
    StrCpy $3 $CMDLINE "" $2
    StrCpy $4 0
  vellora_find_quote_end:
    StrCpy $5 $3 1 $4
    StrCmp $5 "" vellora_quote_ended
    StrCmp $5 '"' vellora_quote_ended
    IntOp $4 $4 + 1
    Goto vellora_find_quote_end
  vellora_quote_ended:
    StrCpy $INSTDIR $3 $4
  vellora_quoted_done:
  StrCpy $0 $INSTDIR 1 -1
  StrCmp $0 '"' 0 +2
    StrCpy $INSTDIR $INSTDIR -1
  StrCpy $0 $INSTDIR 1 -1
  StrCmp $0 "\" 0 +2
    StrCpy $INSTDIR $INSTDIR -1
  ReadRegStr $1 SHCTX "${VELLORA_UNINSTALL_KEY}" "InstallLocation"
  StrCmp $1 "" +2
  StrCmp $1 $INSTDIR 0 vellora_foreign_folder
  IfFileExists "$INSTDIR\Uninstall.exe" 0 vellora_foreign_folder
  IfFileExists "$INSTDIR\bin\vellora.exe" vellora_own_folder
  IfFileExists "$INSTDIR\bin\vellora-cli.exe" vellora_own_folder
  vellora_foreign_folder:
    MessageBox MB_OK|MB_ICONSTOP "$INSTDIR is not the Vellora installation this uninstaller removes; nothing was removed." /SD IDOK
    SetErrorLevel 2
    Quit
  vellora_own_folder:
!macroend

; Installing over an earlier version: Vellora must not run, as when
; uninstalling (Retry or Cancel; silent, status 2 and nothing changed), and
; the earlier version's uninstaller removes it first in its own folder. If it
; cannot, the installer stops with status 3 and the earlier version stays whole.
!macro VelloraReplaceEarlier
  ReadRegStr $R0 SHCTX "${VELLORA_UNINSTALL_KEY}" "InstallLocation"
  vellora_upgrade_check:
  ClearErrors
  !insertmacro VelloraCheckRunning "$INSTDIR"
  StrCmp $R0 "" vellora_upgrade_checked
  !insertmacro VelloraCheckRunning "$R0"
  vellora_upgrade_checked:
  IfErrors 0 vellora_upgrade_free
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "Vellora is running. Close it, then choose Retry to install the new version." \
      /SD IDCANCEL IDRETRY vellora_upgrade_check
    SetErrorLevel 2
    Quit
  vellora_upgrade_free:
  StrCmp $R0 "" vellora_upgrade_done
  IfFileExists "$R0\Uninstall.exe" 0 vellora_upgrade_done
  ClearErrors
  ExecWait '"$R0\Uninstall.exe" /S _?=$R0' $R1
  IfErrors +2
  StrCmp $R1 "0" vellora_upgrade_removed
    MessageBox MB_OK|MB_ICONSTOP \
      "The installed Vellora in $R0 could not be removed (its uninstaller ended with status $R1); nothing was changed." \
      /SD IDOK
    SetErrorLevel 3
    Quit
  vellora_upgrade_removed:
  ; Run in place, the uninstaller leaves itself and so its folder.
  Delete "$R0\Uninstall.exe"
  RMDir "$R0"
  SetOutPath "$INSTDIR"
  vellora_upgrade_done:
!macroend

!macro VelloraUnregister
  DeleteRegKey HKLM "Software\Classes\Applications\vellora.exe"
  !insertmacro VelloraTypes VelloraUnregisterType
!macroend

!endif

; The Windows installer of Brackwell (NSIS, 64-bit). Built by the target
; brackwell_installer, which gives the paths below:
;   makensis -DVERSION=0.1.0 -DBRACKWELL_EXE=... -DCLI_EXE=... -DICON=... -DOUTFILE=... brackwell.nsi
;
; A per-user install: no administrator rights are asked for. The programs go
; to %LOCALAPPDATA%\Programs\Brackwell, the shortcut to the user's Start menu,
; the entry under installed programs to HKEY_CURRENT_USER. The uninstaller
; removes the programs, the shortcut, that entry and the Explorer verb (the
; user's own, HKEY_CURRENT_USER\Software\Classes\*\shell\Brackwell); it leaves
; the settings (HKEY_CURRENT_USER\Software\Brackwell), as a reinstall would
; find them. Silent: setup.exe /S [/D=FOLDER], uninstall.exe /S.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brackwell"

Name "Brackwell ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$LOCALAPPDATA\Programs\Brackwell"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Brackwell"
VIAddVersionKey "FileDescription" "Brackwell ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "The Brackwell developers"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Brackwell"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "/oname=brackwell.exe" "${BRACKWELL_EXE}"
  File "/oname=brackwell-cli.exe" "${CLI_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Brackwell.lnk" "$INSTDIR\brackwell.exe" "" "$INSTDIR\brackwell.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Brackwell"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Brackwell developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\brackwell.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "$INSTDIR\brackwell.exe"
  Delete "$INSTDIR\brackwell-cli.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Brackwell.lnk"
  DeleteRegKey HKCU "Software\Classes\*\shell\Brackwell"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

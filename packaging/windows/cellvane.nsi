; The Windows installer: installs for the current user only (no administrator rights), adds a
; Start-menu entry that starts the viewer in the user's own folder (%APPDATA%\Cellvane, through
; cellvane-start.exe), and an uninstaller that removes everything installed but that folder.
; make-packages passes VERSION, STAGE (the files of the zip), LAUNCHER, ICON and OUTFILE.
; A 64-bit installer for the 64-bit program; it runs where the program runs.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define PRODUCT "Cellvane 3D"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Cellvane"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Cellvane"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
Icon "${ICON}"
UninstallIcon "${ICON}"
LicenseData "${STAGE}\LICENSE.txt"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Cellvane 3D"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "${STAGE}\cellvane.exe"
  File "${LAUNCHER}"
  File "${STAGE}\SDL.dll"
  File "${STAGE}\README.md"
  File "${STAGE}\LICENSE.txt"
  SetOutPath "$INSTDIR\rules"
  File "${STAGE}\rules\*.ini"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetOutPath "$INSTDIR"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\cellvane-start.exe" "" "$INSTDIR\cellvane.exe" 0 \
    SW_SHOWNORMAL "" "Fly through a three-dimensional cellular automaton"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Cellvane developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\cellvane.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes each installed file by name, so that nothing a user put in the program's folder is lost;
; the user's own folder, %APPDATA%\Cellvane with rules.ini, stays.
Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\cellvane.exe"
  Delete "$INSTDIR\cellvane-start.exe"
  Delete "$INSTDIR\SDL.dll"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\rules\*.ini"
  RMDir "$INSTDIR\rules"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$LOCALAPPDATA\Programs"  ; made by the install when it was the first there; kept unless empty
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

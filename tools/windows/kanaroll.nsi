; The Windows installer: per user, no administrator rights. Installs into
; the user's own programs folder, adds a Start menu entry that starts the
; program in Documents\Kanaroll, and an uninstaller listed under installed
; apps. /S installs (and uninstalls) silently.
Unicode true
; A 64-bit installer for the 64-bit program: it runs wherever the program
; does, Wine's 64-bit loader included.
Target amd64-unicode
!include "MUI2.nsh"

Name "Kanaroll"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Kanaroll"
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kanaroll"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductName" "Kanaroll"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileDescription" "Kanaroll Setup"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "LegalCopyright" "Kanaroll"

Section "Kanaroll"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File /r "${SOURCE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcut starts in the folder that holds the lists and results.
  CreateDirectory "$DOCUMENTS\Kanaroll"
  SetOutPath "$DOCUMENTS\Kanaroll"
  CreateShortCut "$SMPROGRAMS\Kanaroll.lnk" "$INSTDIR\kanaroll.exe" "--documents" "$INSTDIR\kanaroll.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Kanaroll"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Kanaroll"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kanaroll.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The user's lists and results in Documents\Kanaroll are theirs and stay.
Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\Kanaroll.lnk"
  ; Only what the installer put there: the folder may have been chosen by hand.
  Delete "$INSTDIR\kanaroll.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\zqHelp.chm"
  Delete "$INSTDIR\LICENSE.txt"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  RMDir /r "$INSTDIR\translations"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

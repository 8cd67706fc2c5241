; The console's installer for Windows: installs for the current user, without administrator
; rights, into the user's own programs folder; puts the console in the Start menu and registers
; the uninstaller with Windows. Both run silently with /S.
;
; scripts/build-windows.sh runs it:
;   makensis -DVERSION=0.1.0 -DSOURCE=<the zip's folder> -DOUTFILE=<setup.exe>
;            -DFILES=<files.nsh> installer.nsi
; where files.nsh lists the Delete and RMDir lines for every file installed, so the uninstaller
; removes what it installed and nothing else.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define PRODUCT "Сервисная консоль TR7042K"
!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TR7042K"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\TR7042K"
InstallDirRegKey HKCU "${KEY}" "InstallLocation"
Icon "tr7042k.ico"
UninstallIcon "tr7042k.ico"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1049 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка: ${PRODUCT}"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "© 2026 TR7042K service console developers"

!include "MUI2.nsh"
!define MUI_ICON "tr7042k.ico"
!define MUI_UNICON "tr7042k.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\tr7042k-console.exe"
!define MUI_FINISHPAGE_RUN_PARAMETERS "--from-menu"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

Section
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File /r "${SOURCE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcut starts the console in the user's own folder, where its exchange log goes;
  ; never in the programs folder.
  CreateDirectory "$LOCALAPPDATA\TR7042K"
  SetOutPath "$LOCALAPPDATA\TR7042K"
  CreateShortCut "${SHORTCUT}" "$INSTDIR\tr7042k-console.exe" "--from-menu" \
    "$INSTDIR\tr7042k-console.exe" 0 SW_SHOWNORMAL "" "${PRODUCT}"

  WriteRegStr HKCU "${KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${KEY}" "DisplayIcon" "$INSTDIR\tr7042k-console.exe,0"
  WriteRegStr HKCU "${KEY}" "Publisher" "TR7042K service console developers"
  WriteRegStr HKCU "${KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "${SHORTCUT}"
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${KEY}"
  ; $LOCALAPPDATA\TR7042K holds the technician's exchange logs and journals: it stays.
SectionEnd

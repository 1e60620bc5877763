; The Windows installer of Taxferry, made by scripts/windows/build.sh:
;   makensis -INPUTCHARSET UTF8 -DVERSION=… -DSTAGE=… -DOUTFILE=… -DICON=… -DUNINSTALL_LIST=… -DSIZE_KB=…
; STAGE is the installed tree (bin, plugins, translations, share); UNINSTALL_LIST the Delete and RMDir
; lines of exactly those files. The user's databases live in the per-user folder and are never removed.
; A 64-bit installer for a 64-bit program: it also runs where Wine (or Windows) has no 32-bit support.
Target amd64-unicode
SetCompressor /SOLID lzma

!define MENU_NAME "航天金税接口"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Taxferry"

!include "MUI2.nsh"

Name "${MENU_NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Taxferry"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
BrandingText "Taxferry ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\bin\taxferry.exe"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${MENU_NAME}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "Orvane"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${MENU_NAME} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "Orvane"

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Taxferry"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${MENU_NAME}"
  CreateShortcut "$SMPROGRAMS\${MENU_NAME}\${MENU_NAME}.lnk" "$INSTDIR\bin\taxferry.exe" "" \
    "$INSTDIR\bin\taxferry.exe" 0
  CreateShortcut "$SMPROGRAMS\${MENU_NAME}\卸载${MENU_NAME}.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${MENU_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Orvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\bin\taxferry.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${MENU_NAME}\${MENU_NAME}.lnk"
  Delete "$SMPROGRAMS\${MENU_NAME}\卸载${MENU_NAME}.lnk"
  RMDir "$SMPROGRAMS\${MENU_NAME}"
  ; Only the program's own files: the folder may have been chosen with other files in it, and the
  ; user's databases (Taxlink.db, the accounting sets, the log) are in the per-user folder.
  !include "${UNINSTALL_LIST}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; The Windows installer of trv-compteur, made by scripts/windows/package.sh:
;   makensis -INPUTCHARSET UTF8 -DVERSION=x.y.z -DSTAGE=<folder to install> \
;            -DOUTFILE=<setup.exe> -DFILES_NSH=<Delete/RMDir lines of the installed files> \
;            trv-compteur.nsi
; In French; under Program Files for an administrator, else under the user's own programs
; folder; /S installs (and uninstall.exe /S uninstalls) without a question.

Unicode true
; A 64-bit installer for 64-bit programs: Program Files is the 64-bit one, and the registry
; is not redirected.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel highest
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh

!define PRODUCT "Compteur / Décompteur TRV"
; "/" cannot appear in a file name: the Start-menu shortcut shows a division slash (U+2215)
; in its place, and its description keeps the name as it is.
!define SHORTCUT "$SMPROGRAMS\Compteur ∕ Décompteur TRV.lnk"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\trv-compteur"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "trv-compteur ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1036 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1036 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "FileDescription" "Installation de ${PRODUCT}"
VIAddVersionKey /LANG=1036 "CompanyName" "Équipe trv-compteur"
VIAddVersionKey /LANG=1036 "LegalCopyright" "Équipe trv-compteur"

!define MUI_ICON "${STAGE}\trv-compteur.ico"
!define MUI_UNICON "${STAGE}\trv-compteur.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\trv-compteur.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "French"

Function .onInit
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    SetShellVarContext all
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$PROGRAMFILES64\trv-compteur"
    ${EndIf}
  ${Else}
    SetShellVarContext current
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\trv-compteur"
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "trv-compteur"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\trv-compteur.exe" "" "$INSTDIR\trv-compteur.ico" 0 \
    SW_SHOWNORMAL "" "${PRODUCT}"
  ; Listed among the system's installed programs, in the scope installed for.
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINST_KEY}" "Publisher" "Équipe trv-compteur"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\trv-compteur.ico"
  WriteRegStr SHCTX "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoRepair" 1
SectionEnd

; The uninstaller removes what the installation put in the scope it was made for: the
; machine's when the machine's programs list names this folder, else the user's.
Function un.onInit
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Delete "${SHORTCUT}"
  !include "${FILES_NSH}"
  DeleteRegKey SHCTX "${UNINST_KEY}"
  ; Last, so that its absence tells a caller the removal is over.
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd

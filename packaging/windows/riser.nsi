; Installer for Riser on 64-bit Windows. Built by scripts/release_windows.sh:
;   makensis -DVERSION=1.0.1 -DSTAGE=<folder with riser.vst3 and the papers> -DOUTFILE=<setup.exe>
; Installs riser.vst3 into Common Files\VST3 (where every VST3 host looks) and
; the uninstaller with the papers into Program Files\Riser; registers the
; uninstaller under Add/Remove Programs. /S installs and uninstalls silently.
; The uninstaller removes exactly what this installer wrote.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!ifndef VERSION
  !error "makensis needs -DVERSION=<version>"
!endif
!ifndef STAGE
  !error "makensis needs -DSTAGE=<folder with riser.vst3 and the papers>"
!endif
!ifndef OUTFILE
  !error "makensis needs -DOUTFILE=<installer to write>"
!endif

!include MUI2.nsh
!include x64.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define PUBLISHER "Corvid Signal LLC"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Riser"
!define BUNDLE "riser.vst3"
!define UNINSTALLER "Uninstall Riser.exe"

Name "Riser ${VERSION}"
OutFile "${OUTFILE}"
; The uninstaller and the papers; the bundle goes to $BundleDir.
InstallDir "$PROGRAMFILES64\Riser"
BrandingText "Riser ${VERSION} - ${PUBLISHER}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Riser"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "Riser ${VERSION} installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright ${PUBLISHER}, GPL-3.0-or-later"

Var BundleDir

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Both the installer and the uninstaller: 64-bit Windows only, the 64-bit
; registry and folders, for all users.
!macro RiserInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP|MB_OK "Riser is a 64-bit plug-in and needs 64-bit Windows; this Windows is 32-bit." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
  StrCpy $BundleDir "$COMMONFILES64\VST3\${BUNDLE}"
!macroend

Function .onInit
  !insertmacro RiserInit
FunctionEnd

Function un.onInit
  !insertmacro RiserInit
FunctionEnd

Section "Riser"
  ; An upgrade replaces the bundle whole, so no file of an older version stays.
  RMDir /r "$BundleDir"
  SetOutPath "$COMMONFILES64\VST3"
  ClearErrors
  File /r "${STAGE}/${BUNDLE}"
  IfErrors 0 +3
    SetErrorLevel 1
    Abort "Riser could not write $BundleDir."

  SetOutPath "$INSTDIR"
  File "${STAGE}/README.md" "${STAGE}/LICENSE.txt" "${STAGE}/THIRD_PARTY_NOTICES.txt" "${STAGE}/CHANGELOG.md"
  SetOutPath "$INSTDIR\docs"
  File "${STAGE}/docs/manual.md" "${STAGE}/docs/riser-meter.md" "${STAGE}/docs/building.md"
  SetOutPath "$INSTDIR\docs\images"
  File "${STAGE}/docs/images/main.png" "${STAGE}/docs/images/settings.png" "${STAGE}/docs/images/loudness.png"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ${GetSize} "$BundleDir" "/S=0K" $0 $1 $2
  ${GetSize} "$INSTDIR" "/S=0K" $3 $1 $2
  IntOp $0 $0 + $3
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Riser"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$BundleDir"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only what the installer wrote: the bundle folder, the papers, the
; uninstaller, its folder if nothing else is in it, and the registry key.
; The VST3 folder itself and other plug-ins in it stay.
Section "Uninstall"
  RMDir /r "$BundleDir"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD_PARTY_NOTICES.txt"
  Delete "$INSTDIR\CHANGELOG.md"
  Delete "$INSTDIR\docs\manual.md"
  Delete "$INSTDIR\docs\riser-meter.md"
  Delete "$INSTDIR\docs\building.md"
  Delete "$INSTDIR\docs\images\main.png"
  Delete "$INSTDIR\docs\images\settings.png"
  Delete "$INSTDIR\docs\images\loudness.png"
  RMDir "$INSTDIR\docs\images"
  RMDir "$INSTDIR\docs"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

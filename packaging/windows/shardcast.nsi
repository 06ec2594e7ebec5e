; The Windows installer of the Shardcast plug-in (makensis, 64-bit).
;
; Shardcast.aex goes into the plug-ins folder that After Effects and
; Premiere Pro share (MediaCore). Premiere Pro leaves that folder's path in
; the registry, HKLM\SOFTWARE\Adobe\Premiere Pro\CurrentVersion, value
; Plug-InsDir; without it the installer offers Adobe's standard place,
; Program Files\Adobe\Common\Plug-ins\7.0\MediaCore. A page lets the user
; choose another folder (/D=<folder> on the command line, /S for silent).
;
; The command-line tool goes into Program Files\Shardcast with what it looks
; for beside itself: a copy of the module (so it renders whichever plug-ins
; folder was chosen) and the named looks in looks\. The README, the licences
; and the uninstaller go there too, and the uninstaller is registered in
; Add/Remove Programs. It removes exactly what the installer added: the
; module, those files, the registry entries, and any folder the installer
; had to create, if it is empty again.
;
; makensis gets: SHARDCAST_VERSION, SHARDCAST_MODULE (the .aex),
; SHARDCAST_TOOL (shardcast.exe), SHARDCAST_LOOKS_SCRIPT (the macros
; INSTALL_LOOKS and REMOVE_LOOKS, a line per look), SHARDCAST_README,
; SHARDCAST_LICENSES and SHARDCAST_OUTPUT (the installer).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "x64.nsh"
!include "${SHARDCAST_LOOKS_SCRIPT}"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Shardcast"
!define PREMIERE_KEY "SOFTWARE\Adobe\Premiere Pro\CurrentVersion"

Name "Shardcast ${SHARDCAST_VERSION}"
OutFile "${SHARDCAST_OUTPUT}"
!define STANDARD_FOLDER "$PROGRAMFILES64\Adobe\Common\Plug-ins\7.0\MediaCore"
InstallDir "${STANDARD_FOLDER}"
BrandingText "Shardcast ${SHARDCAST_VERSION}"
VIProductVersion "${SHARDCAST_VERSION}.0"
VIAddVersionKey "ProductName" "Shardcast"
VIAddVersionKey "ProductVersion" "${SHARDCAST_VERSION}"
VIAddVersionKey "FileDescription" "Shardcast plug-in installer"
VIAddVersionKey "FileVersion" "${SHARDCAST_VERSION}"
VIAddVersionKey "LegalCopyright" "the Shardcast developers"

Var ProgramFolder
Var CreatedFrom  ; the outermost plug-in folder this installer created, or empty

!define MUI_ABORTWARNING
!define MUI_DIRECTORYPAGE_TEXT_TOP "Shardcast.aex goes into the plug-ins folder that After Effects and Premiere Pro share (MediaCore). Choose another folder only if your hosts read plug-ins from there."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Plug-ins folder"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "Shardcast needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  StrCpy $ProgramFolder "$PROGRAMFILES64\Shardcast"
  ; A folder given with /D (which NSIS has already put into $INSTDIR) wins;
  ; otherwise the one Premiere Pro names.
  ${If} $INSTDIR == "${STANDARD_FOLDER}"
    ReadRegStr $1 HKLM "${PREMIERE_KEY}" "Plug-InsDir"
    ${If} $1 != ""
      StrCpy $INSTDIR $1
    ${EndIf}
  ${EndIf}
FunctionEnd

; Sets $CreatedFrom to the outermost folder of $INSTDIR that does not exist
; yet (empty when $INSTDIR exists).
Function FindMissingFolders
  StrCpy $CreatedFrom ""
  StrCpy $0 $INSTDIR
  ${DoWhile} $0 != ""
    ${If} ${FileExists} "$0\*.*"
      ${Break}
    ${EndIf}
    StrCpy $CreatedFrom $0
    ${GetParent} $0 $1
    ${If} $1 == $0
      ${Break}
    ${EndIf}
    StrCpy $0 $1
  ${Loop}
FunctionEnd

Section "Shardcast"
  SetRegView 64
  Call FindMissingFolders
  SetOutPath "$INSTDIR"
  File "/oname=Shardcast.aex" "${SHARDCAST_MODULE}"

  SetOutPath "$ProgramFolder\looks"
  !insertmacro INSTALL_LOOKS
  SetOutPath "$ProgramFolder"
  File "/oname=shardcast.exe" "${SHARDCAST_TOOL}"
  File "/oname=Shardcast.aex" "${SHARDCAST_MODULE}"
  File "/oname=README.md" "${SHARDCAST_README}"
  File "/oname=LICENSES.txt" "${SHARDCAST_LICENSES}"
  WriteUninstaller "$ProgramFolder\Uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Shardcast ${SHARDCAST_VERSION} (After Effects and Premiere Pro plug-in)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${SHARDCAST_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "the Shardcast developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$ProgramFolder"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "PluginFolder" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "CreatedPluginFolder" "$CreatedFrom"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$ProgramFolder\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$ProgramFolder\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$ProgramFolder" "/S=0K" $0 $1 $2
  ${GetSize} "$INSTDIR" "/M=Shardcast.aex /S=0K" $3 $1 $2
  IntOp $0 $0 + $3
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  SetRegView 64
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "PluginFolder"
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "CreatedPluginFolder"
  ${If} $0 != ""
    Delete "$0\Shardcast.aex"
    ; Folders this installer created, innermost first, while they are empty.
    ${If} $1 != ""
      StrCpy $2 $0
      ${Do}
        RMDir $2
        ${If} $2 == $1
          ${Break}
        ${EndIf}
        ${GetParent} $2 $3
        ${If} $3 == $2
        ${OrIf} $3 == ""
          ${Break}
        ${EndIf}
        StrCpy $2 $3
      ${Loop}
    ${EndIf}
  ${EndIf}
  !insertmacro REMOVE_LOOKS
  RMDir "$INSTDIR\looks"
  Delete "$INSTDIR\shardcast.exe"
  Delete "$INSTDIR\Shardcast.aex"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSES.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; Korvalux's Windows installer (NSIS 3, makensis): a 64-bit, per-user install
; with no administrator rights into %LOCALAPPDATA%\Programs\Korvalux, a Start
; menu shortcut, an entry in Apps & features, and an uninstaller that also ends
; the converter service started from there and removes its cache, but keeps the
; window's two settings, as a Windows user expects of an uninstall.
; scripts/package-windows calls it with the staged files:
;   makensis -DVERSION=1.0.0 -DSTAGE=<folder> -DOUTFILE=<setup.exe> korvalux.nsi

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!ifndef VERSION
  !error "give -DVERSION=, -DSTAGE= and -DOUTFILE="
!endif
!ifndef STAGE
  !error "give -DSTAGE="
!endif
!ifndef OUTFILE
  !error "give -DOUTFILE="
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvalux"
!define SERVICE_EXE "korvalux-service.exe"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

Name "Korvalux"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Korvalux"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Korvalux ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Korvalux"
VIAddVersionKey /LANG=1033 "CompanyName" "Vantoril"
VIAddVersionKey /LANG=1033 "FileDescription" "Korvalux setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright 2026 Korvalux maintainers"

!define MUI_FINISHPAGE_RUN "$INSTDIR\korvalux.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Ends every korvalux-service.exe whose program is the one in $INSTDIR: it holds
; its .exe open until it leaves by itself when idle, and a file in use can be
; neither replaced nor deleted. One started from another folder is left alone.
!macro EndServiceFunction prefix
Function ${prefix}EndService
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  ; TH32CS_SNAPPROCESS; PROCESSENTRY32W is 568 bytes on x64, th32ProcessID at 8.
  System::Call "kernel32::CreateToolhelp32Snapshot(i 2, i 0) p .r0"
  ${If} $0 P<> -1
    System::Alloc 568
    Pop $1
    System::Call "*$1(i 568)"
    System::Call "kernel32::Process32FirstW(p r0, p r1) i .r2"
    ${DoWhile} $2 <> 0
      System::Call "*$1(i, i, i .r3)"
      ; PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE
      System::Call "kernel32::OpenProcess(i 0x101001, i 0, i r3) p .r4"
      ${If} $4 P<> 0
        StrCpy $5 ""
        System::Call "kernel32::QueryFullProcessImageNameW(p r4, i 0, w .r5, *i ${NSIS_MAX_STRLEN})"
        ${If} $5 == "$INSTDIR\${SERVICE_EXE}"
          DetailPrint "Ending the converter service (process $3)"
          System::Call "kernel32::TerminateProcess(p r4, i 0)"
          System::Call "kernel32::WaitForSingleObject(p r4, i 5000)"
        ${EndIf}
        System::Call "kernel32::CloseHandle(p r4)"
      ${EndIf}
      System::Call "kernel32::Process32NextW(p r0, p r1) i .r2"
    ${Loop}
    System::Free $1
    System::Call "kernel32::CloseHandle(p r0)"
  ${EndIf}
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro EndServiceFunction ""
!insertmacro EndServiceFunction "un."

Section "Korvalux"
  SetShellVarContext current
  ; An update replaces the service's program.
  Call EndService
  SetOutPath "$INSTDIR"
  File "${STAGE}\korvalux.exe"
  File "${STAGE}\${SERVICE_EXE}"
  File "${STAGE}\HAND-M.CUR"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\README.txt"
  SetOutPath "$INSTDIR\data"
  File "${STAGE}\data\*.*"
  ; The shortcut starts in the program's folder.
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Korvalux.lnk" "$INSTDIR\korvalux.exe" "" "$INSTDIR\korvalux.exe" 0 \
    SW_SHOWNORMAL "" "Currency converter"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Korvalux"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Vantoril"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\korvalux.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Only what the installer put there, so that a folder chosen with other files in
; it keeps them. The settings under HKCU\Software\VB and VBA Program Settings
; stay: a reinstall finds the currencies chosen last.
Section "Uninstall"
  SetShellVarContext current
  Call un.EndService
  Delete "$INSTDIR\korvalux.exe"
  Delete "$INSTDIR\${SERVICE_EXE}"
  Delete "$INSTDIR\HAND-M.CUR"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\README.txt"
  RMDir /r "$INSTDIR\data"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Korvalux.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; The service's cache of fetched rates, and its parent when nothing else is there.
  RMDir /r "$LOCALAPPDATA\Korvalux\cache"
  RMDir "$LOCALAPPDATA\Korvalux"
SectionEnd

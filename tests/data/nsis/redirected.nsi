; A test installer that writes where a 32-bit installer lands on 64-bit
; Windows: registry keys under Software\WOW6432Node (SetRegView 32) and
; files under "Program Files (x86)". It is built for amd64 because the
; test prefix runs 64-bit programs only; the places it writes are those a
; redirected 32-bit installer would write. It registers a shared DLL and
; an uninstaller that is started the ordinary way: it copies itself to the
; temporary folder, starts the copy and returns at once. The uninstaller
; leaves the install log and the SharedDLLs count behind, as many do.
;
;   makensis -DOUT=<folder> redirected.nsi   (writes <folder>\redirected-setup.exe)

Target amd64-unicode
Name "Zarvo Redirected Trial"
OutFile "${OUT}\redirected-setup.exe"
SilentInstall silent
SilentUnInstall silent
RequestExecutionLevel user

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZarvoRedirectedTrial"
!define SHARED_KEY "Software\Microsoft\Windows\CurrentVersion\SharedDLLs"

; A 64-bit NSIS takes $PROGRAMFILES32 from the 64-bit view, which is
; "Program Files" under Wine; the folder a 32-bit installer gets is named
; by the environment.
Function .onInit
  ReadEnvStr $0 "ProgramFiles(x86)"
  StrCpy $INSTDIR "$0\Zarvo Redirected Trial"
FunctionEnd

Section
  SetRegView 32
  SetOutPath "$INSTDIR"
  File "app.txt"
  File "shared.dll"
  FileOpen $0 "$INSTDIR\install.log" w
  FileWrite $0 "installed$\r$\n"
  FileClose $0
  WriteRegStr HKLM "Software\ZarvoRedirectedTrial" "Version" "1.0"
  WriteRegDWORD HKLM "${SHARED_KEY}" "$INSTDIR\shared.dll" 1
  WriteUninstaller "$INSTDIR\uninst.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Zarvo Redirected Trial"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninst.exe"'
SectionEnd

Section Uninstall
  SetRegView 32
  Delete "$INSTDIR\app.txt"
  Delete "$INSTDIR\shared.dll"
  Delete "$INSTDIR\uninst.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "Software\ZarvoRedirectedTrial"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd

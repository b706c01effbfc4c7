; A small real installer for the install monitor's end-to-end test: it
; copies two files into a new folder, writes keys and values under
; HKEY_LOCAL_MACHINE\SOFTWARE\Classes and HKEY_CURRENT_USER\Software,
; changes an existing value, registers an Uninstall key and ships its
; uninstaller. It runs silently, so no person has to answer it.
;
;   makensis -DOUT=<folder> trial.nsi   (writes <folder>\setup.exe)

; A 64-bit installer: the test prefix runs 64-bit programs only.
Target amd64-unicode
Name "Zarvo Trial Application"
OutFile "${OUT}\setup.exe"
InstallDir "C:\ZarvoTrialApp"
SilentInstall silent
SilentUnInstall silent
RequestExecutionLevel user

Section
  SetOutPath "$INSTDIR"
  File "app.txt"
  SetOutPath "$INSTDIR\docs"
  File "readme.txt"
  WriteRegStr HKLM "SOFTWARE\Classes\.zarvotrial" "" "ZarvoTrial.Document"
  WriteRegStr HKLM "SOFTWARE\Classes\.zarvotrial\ShellNew" "NullFile" ""
  WriteRegStr HKLM "SOFTWARE\Classes\.zarvotrialold" "Content Type" "text/zarvo-trial"
  WriteRegStr HKLM "SOFTWARE\Classes\.zarvotrialold" "" "ZarvoTrial.Document"
  WriteRegStr HKCU "Software\ZarvoTrial" "Theme" "dark"
  WriteUninstaller "$INSTDIR\uninst.exe"
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZarvoTrial" "DisplayName" "Zarvo Trial Application"
  ; As NSIS installers register it: started so, the uninstaller copies
  ; itself to the temporary folder, starts the copy and returns at once.
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZarvoTrial" "UninstallString" '"$INSTDIR\uninst.exe"'
SectionEnd

Section Uninstall
  Delete "$INSTDIR\app.txt"
  Delete "$INSTDIR\docs\readme.txt"
  RMDir "$INSTDIR\docs"
  DeleteRegKey HKLM "SOFTWARE\Classes\.zarvotrial"
  DeleteRegValue HKLM "SOFTWARE\Classes\.zarvotrialold" "Content Type"
  DeleteRegKey HKCU "Software\ZarvoTrial"
  DeleteRegKey HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZarvoTrial"
SectionEnd

; A bootstrapper: it unpacks a second installer (the redirected one) into
; the temporary folder, starts it and returns without waiting, as many
; setup programs do. A monitor that waits only for this process sees none
; of what the second one writes.
;
;   makensis -DOUT=<folder> -DINNER=<redirected-setup.exe> bootstrap.nsi
;   (writes <folder>\bootstrap-setup.exe)

Target amd64-unicode
Name "Zarvo Bootstrap Trial"
OutFile "${OUT}\bootstrap-setup.exe"
SilentInstall silent
RequestExecutionLevel user

Section
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "/oname=inner-setup.exe" "${INNER}"
  ; Exec does not wait; $PLUGINSDIR goes when this process ends, so the
  ; inner setup runs from a folder of its own.
  CreateDirectory "$TEMP\ZarvoBootstrap"
  CopyFiles /SILENT "$PLUGINSDIR\inner-setup.exe" "$TEMP\ZarvoBootstrap"
  SetOutPath "$TEMP"
  Exec '"$TEMP\ZarvoBootstrap\inner-setup.exe"'
SectionEnd

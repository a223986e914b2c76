; The TapeKnot installer (makensis from Debian's nsis), made by scripts/build-windows.sh:
;   makensis -DVERSION=1.0.1 -DSTAGE=<folder with tapeknot.exe…> -DICON=<tapeknot.ico> \
;            -DOUTFILE=<setup.exe> scripts/tapeknot.nsi
; It installs for all users under Program Files, adds a Start-menu entry and
; "Open with" entries for .rm, .ra and .ram; its uninstaller removes what it
; installed and nothing else (the user's settings and files stay: settings an
; earlier version left in the program's folder move to the user's own).
; Its pages speak Japanese on a Japanese Windows and English elsewhere.
Unicode true
Target amd64-unicode ; a 64-bit installer for a 64-bit program
RequestExecutionLevel admin
SetCompressor /SOLID lzma

Name "TapeKnot ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\TapeKnot"
InstallDirRegKey HKLM "Software\TapeKnot" "InstallDir"
BrandingText "TapeKnot ${VERSION}"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TapeKnot"
!define APP_KEY "Software\Classes\Applications\tapeknot.exe"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The first is the one for every language but these; the user's interface
; language picks among them, without asking.
LoadLanguageFile "${NSISDIR}\Contrib\Language files\English.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Japanese.nlf"

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "TapeKnot"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}\tapeknot.exe"
  File "${STAGE}\rmeditor.exe"
  File "${STAGE}\Readme.txt"
  SetOutPath "$INSTDIR\translations"
  File "${STAGE}\translations\qtbase_ja.qm"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\TapeKnot.lnk" "$INSTDIR\tapeknot.exe"

  ; "Open with" for RealMedia clips.
  WriteRegStr HKLM "${APP_KEY}" "FriendlyAppName" "TapeKnot"
  WriteRegStr HKLM "${APP_KEY}\shell\open\command" "" '"$INSTDIR\tapeknot.exe" "%1"'
  WriteRegStr HKLM "${APP_KEY}\SupportedTypes" ".rm" ""
  WriteRegStr HKLM "${APP_KEY}\SupportedTypes" ".ra" ""
  WriteRegStr HKLM "${APP_KEY}\SupportedTypes" ".ram" ""
  WriteRegStr HKLM "Software\Classes\.rm\OpenWithList\tapeknot.exe" "" ""
  WriteRegStr HKLM "Software\Classes\.ra\OpenWithList\tapeknot.exe" "" ""
  WriteRegStr HKLM "Software\Classes\.ram\OpenWithList\tapeknot.exe" "" ""

  WriteRegStr HKLM "Software\TapeKnot" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "TapeKnot"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "TapeKnot"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tapeknot.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$INSTDIR\tapeknot.exe"
  Delete "$INSTDIR\rmeditor.exe"
  Delete "$INSTDIR\Readme.txt"
  Delete "$INSTDIR\translations\qtbase_ja.qm"
  RMDir "$INSTDIR\translations"
  Delete "$INSTDIR\uninstall.exe"
  ; Settings an earlier version wrote beside the program: to the user's
  ; folder, where the installed program keeps them now, unless it has its own.
  SetShellVarContext current
  IfFileExists "$INSTDIR\tapeknot.ini" 0 settings_done
  IfFileExists "$APPDATA\tapeknot\tapeknot.ini" settings_stale
  CreateDirectory "$APPDATA\tapeknot"
  Rename "$INSTDIR\tapeknot.ini" "$APPDATA\tapeknot\tapeknot.ini"
  Goto settings_done
settings_stale:
  Delete "$INSTDIR\tapeknot.ini"
settings_done:
  SetShellVarContext all
  RMDir "$INSTDIR" ; only when empty: a file the user put there stays
  Delete "$SMPROGRAMS\TapeKnot.lnk"
  DeleteRegKey HKLM "${APP_KEY}"
  DeleteRegKey HKLM "Software\Classes\.rm\OpenWithList\tapeknot.exe"
  DeleteRegKey HKLM "Software\Classes\.ra\OpenWithList\tapeknot.exe"
  DeleteRegKey HKLM "Software\Classes\.ram\OpenWithList\tapeknot.exe"
  DeleteRegKey HKLM "Software\TapeKnot"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; The Windows installer of Dravik Tirn, made by scripts/package-windows.sh
; with makensis. Defines it expects: VERSION (x.y), PUBLISHER, PROGRAM_EXE,
; ICON, LICENSE_FILE, SOURCES_FILE, LICENSES_DIR, OUTFILE.
;
; The program keeps its installation key (key.txt) in the folder it is
; started in, so the shortcuts start it in a folder of the user's own,
; %APPDATA%\Dravik Tirn, which the installation folder never is. That folder
; and its key.txt outlive an upgrade and, unless the user asks, an uninstall.
;
; A running copy of the program (this user's window, or any user's, as its
; executable is then in use) is never left behind nor replaced under it: the
; customer is asked to close it, and it is closed only with their consent,
; through its own close, so that it ends its call and login as it always
; does. A silent run with the program open fails, with exit code 2.
;
; Silent use: setup.exe /S [/CurrentUser | /AllUsers] [/NODESKTOP]
;             uninstall.exe /S [/REMOVEKEY]
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define APP_NAME "Dravik Tirn"
!define APP_KEY "DravikTirn"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP_KEY}"
!define ACTIVE_SETUP_KEY "Software\Microsoft\Active Setup\Installed Components\${APP_KEY}"
!define DATA_FOLDER "Dravik Tirn"
!define SHORTCUT "${APP_NAME}.lnk"
!define WINDOW_CLASS "Dravik Tirn" ; the program's main window

Name "${APP_NAME} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${APP_NAME} ${VERSION}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${APP_NAME}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "Software\${APP_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INIT_TEXT_ADMINREQUIRED "O ${APP_NAME} precisa de privilégios de administrador para esta instalação."
!define MULTIUSER_INIT_TEXT_ALLUSERSNOTPOSSIBLE "Sua conta não tem privilégios para instalar o ${APP_NAME} para todos os usuários deste computador."
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh
!include WinMessages.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE_FILE}"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CloseProgramOrStay
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_PAGE_CUSTOMFUNCTION_LEAVE un.CloseProgramOrStay
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "PortugueseBR"

VIProductVersion "${VERSION}.0.0"
VIFileVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "ProductName" "${APP_NAME}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "FileDescription" "Instalador do ${APP_NAME} ${VERSION}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "LegalCopyright" "GPL-3.0-or-later"

Var WorkDir ; the shortcuts' working folder, as stored in them

; The installing user's own folder, made now. For a per-user installation
; the shortcuts name it as it is; for all users they name it through
; %APPDATA%, which Windows expands for whoever starts them, and Active Setup
; makes it for every other user when they log on.
Function MakeWorkDir
  SetShellVarContext current
  CreateDirectory "$APPDATA\${DATA_FOLDER}"
  ${If} $MultiUser.InstallMode == "AllUsers"
    SetShellVarContext all
    StrCpy $WorkDir "%APPDATA%\${DATA_FOLDER}"
    WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "" "${APP_NAME}"
    WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "Version" "${VERSION}"
    WriteRegExpandStr HKLM "${ACTIVE_SETUP_KEY}" "StubPath" '"%SystemRoot%\System32\cmd.exe" /c mkdir "%APPDATA%\${DATA_FOLDER}"'
  ${Else}
    StrCpy $WorkDir "$APPDATA\${DATA_FOLDER}"
  ${EndIf}
FunctionEnd

; $0 = 1 while the installed program runs: a window of it on this desktop, or
; its executable in use (by any user: a running program cannot be opened
; for writing).
!macro PROGRAM_RUNNING UN
Function ${UN}ProgramRunning
  StrCpy $0 0
  FindWindow $1 "${WINDOW_CLASS}"
  ${If} $1 <> 0
    StrCpy $0 1
  ${ElseIf} ${FileExists} "$INSTDIR\dravik-tirn.exe"
    ClearErrors
    FileOpen $1 "$INSTDIR\dravik-tirn.exe" a
    ${If} ${Errors}
      StrCpy $0 1
    ${Else}
      FileClose $1
    ${EndIf}
  ${EndIf}
FunctionEnd

; Until the program is closed: asks the customer, and with their consent
; sends its window the close of its close box (it asks "Sair ?" itself, and
; refuses during a call); waits for the process to end. $0 = 1 when the
; customer gave up with the program still open. Silent: never asks, $0 = 1
; at once when it runs.
Function ${UN}CloseProgram
  ${Do}
    Call ${UN}ProgramRunning
    ${If} $0 = 0
      Return
    ${EndIf}
    FindWindow $1 "${WINDOW_CLASS}"
    ${If} $1 = 0
      ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "O ${APP_NAME} está aberto em outra sessão deste computador. Feche-o lá e clique em Repetir." /SD IDCANCEL IDRETRY`
        Return
      ${EndIf}
      ${Continue}
    ${EndIf}
    ${IfNot} ${Cmd} `MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "O ${APP_NAME} está aberto e precisa ser fechado para continuar.$\n$\nClique em OK para fechá-lo (o programa pedirá a sua confirmação) ou em Cancelar para voltar." /SD IDCANCEL IDOK`
      Return
    ${EndIf}
    ; Returns once the program answered its close (after its own box).
    ${Do}
      SendMessage $1 ${WM_CLOSE} 0 0 /TIMEOUT=120000
      FindWindow $1 "${WINDOW_CLASS}" "" 0 $1
    ${LoopUntil} $1 = 0
    ; A closed window's process ends within moments.
    StrCpy $2 0
    ${Do}
      Call ${UN}ProgramRunning
      ${If} $0 = 0
      ${OrIf} $2 >= 40
        ${ExitDo}
      ${EndIf}
      Sleep 250
      IntOp $2 $2 + 1
    ${Loop}
  ${Loop}
FunctionEnd

; A page's leave: the wizard goes on only once the program is closed.
Function ${UN}CloseProgramOrStay
  Call ${UN}CloseProgram
  ${If} $0 = 1
    Abort
  ${EndIf}
FunctionEnd

; First in the files' section: never a file replaced or left under a
; running program. Silent runs get here without the pages.
Function ${UN}CloseProgramOrFail
  Call ${UN}CloseProgram
  ${If} $0 = 1
    SetErrorLevel 2
    Abort "O ${APP_NAME} está aberto: nada foi alterado."
  ${EndIf}
FunctionEnd
!macroend
!insertmacro PROGRAM_RUNNING ""
!insertmacro PROGRAM_RUNNING "un."

Section "${APP_NAME}" SecProgram
  SectionIn RO
  Call CloseProgramOrFail
  SetOutPath "$INSTDIR"
  File "/oname=dravik-tirn.exe" "${PROGRAM_EXE}"
  File "/oname=LICENSE.txt" "${LICENSE_FILE}"
  File "/oname=SOURCES.txt" "${SOURCES_FILE}"
  RMDir /r "$INSTDIR\licenses" ; an upgrade leaves no licence of a library no longer shipped
  SetOutPath "$INSTDIR\licenses"
  File "${LICENSES_DIR}\*.txt"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  Call MakeWorkDir
  StrCpy $OUTDIR $WorkDir ; CreateShortcut stores $OUTDIR as the working folder
  CreateShortcut "$SMPROGRAMS\${SHORTCUT}" "$INSTDIR\dravik-tirn.exe" "" "$INSTDIR\dravik-tirn.exe" 0
  SetOutPath "$INSTDIR"

  WriteRegStr SHCTX "Software\${APP_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\dravik-tirn.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Atalho na área de trabalho" SecDesktop
  StrCpy $OUTDIR $WorkDir
  CreateShortcut "$DESKTOP\${SHORTCUT}" "$INSTDIR\dravik-tirn.exe" "" "$INSTDIR\dravik-tirn.exe" 0
  SetOutPath "$INSTDIR"
SectionEnd

Section "un.${APP_NAME}" SecUnProgram
  SectionIn RO
  Call un.CloseProgramOrFail
  ; The program first: while it cannot go, everything stays as it was.
  ClearErrors
  Delete "$INSTDIR\dravik-tirn.exe"
  ${If} ${Errors}
    SetErrorLevel 2
    Abort "Não foi possível remover $INSTDIR\dravik-tirn.exe: nada foi alterado."
  ${EndIf}
  Delete "$SMPROGRAMS\${SHORTCUT}"
  Delete "$DESKTOP\${SHORTCUT}"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\SOURCES.txt"
  RMDir /r "$INSTDIR\licenses"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  DeleteRegKey SHCTX "Software\${APP_KEY}"
  ${If} $MultiUser.InstallMode == "AllUsers"
    DeleteRegKey HKLM "${ACTIVE_SETUP_KEY}"
  ${EndIf}
  ; What earlier versions kept in this user's local data: the ringing tone
  ; and an empty plugin folder in a folder of the program's, and the empty
  ; folder the SIP library made (kept if another program put files in it).
  ; The program now keeps them in a folder of each run's own in the
  ; temporary folder, removed when it ends; one that a run ended by force
  ; left goes now.
  SetShellVarContext current
  Delete "$LOCALAPPDATA\dravik-tirn\ringback.wav"
  RMDir "$LOCALAPPDATA\dravik-tirn\media-plugins"
  RMDir "$LOCALAPPDATA\dravik-tirn"
  RMDir "$LOCALAPPDATA\linphone"
  FindFirst $0 $1 "$TEMP\dravik-tirn-*"
  ${DoWhile} $1 != ""
    RMDir /r "$TEMP\$1"
    FindNext $0 $1
  ${Loop}
  FindClose $0
  ${If} $MultiUser.InstallMode == "AllUsers"
    SetShellVarContext all
  ${EndIf}
SectionEnd

; The installation key identifies this computer's installation to the
; service: kept unless the user asks for it to go.
Section /o "un.Apagar a chave de instalação (key.txt)" SecRemoveKey
  SetShellVarContext current
  Delete "$APPDATA\${DATA_FOLDER}\key.txt"
  RMDir "$APPDATA\${DATA_FOLDER}"
SectionEnd

; After the sections: they name them.
Function .onInit
  !insertmacro MULTIUSER_INIT
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/NODESKTOP" $R1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecDesktop}
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVEKEY" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecRemoveKey}
  ${EndIf}
FunctionEnd

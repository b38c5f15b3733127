; Velmor for Windows: per-user installer and uninstaller.
;
; makensis -DCLIENT_EXE=<Velmorw.exe> -DICON=<mainicon.ico> -DOUTFILE=<VelmorSetup.exe> velmor.nsi
;
; Installs for the current user, without administrator rights, into a folder
; of the user's own that is also the client's data directory. Command line
; (also for the silent install, /S):
;   /HOST=name      server host written as VServerID (default: localhost)
;   /PORT=n         server port written as Port (default: 1123)
;   /AUTOSTART=1    start Velmor hidden when the user logs on (default: 0)
;   /D=folder       installation folder (last, unquoted; NSIS's own switch)
; An existing velmor.cfg is kept as it is: installing again over an
; installation changes no setting, log or donation list.
;
; The uninstaller closes running clients, gives back the wallpaper and the
; event sounds the client changed (see content/desktop_record.h for the
; record it reads), and removes what Velmor wrote.

Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
; The installer's manifest: Windows 7 to 11, common controls 6, drawn for
; the monitor's DPI (system DPI before Windows 10), as the client's.
ManifestSupportedOS {35138b9a-5d96-4fbd-8e2d-a2440225f93a} {4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38} {1f676c76-80e1-4239-95bb-83d0f6d0da78} {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}
ManifestDPIAware true
ManifestDPIAwareness "PerMonitorV2,System"
XPStyle on

!include "MUI2.nsh"
!include "nsDialogs.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"

!getdllversion "${CLIENT_EXE}" CLIENT_VERSION_
!define VERSION "${CLIENT_VERSION_1}.${CLIENT_VERSION_2}"
!define PRODUCT "Velmor"
!define PUBLISHER "The Velmor project"
!define DEFAULT_HOST "localhost"
!define DEFAULT_PORT "1123"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmor"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RESTORE_KEY "Software\Velmor\Restore"
!define INSTALLER_KEY "Software\Velmor\Installer"
!define UNINSTALL_PARENT "Software\Microsoft\Windows\CurrentVersion\Uninstall"
; The client keeps its data directory in a 100-byte buffer with a backslash.
!define MAX_FOLDER_LENGTH 98

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Velmor"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${CLIENT_VERSION_1}.${CLIENT_VERSION_2}.${CLIENT_VERSION_3}.${CLIENT_VERSION_4}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "Velmor for Windows setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Velmorw.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Velmor now"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
Page custom ServerPage ServerPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Var Host
Var Port
Var AutoStart
Var HostField
Var PortField
Var AutoStartBox

; ---- Closing running clients (normal and transfer instances) -------------

; Asks every Velmor window to close and waits for its process to end; a
; process that has not ended after 20 seconds is stopped.
!macro CLOSE_CLIENTS un
Function ${un}CloseClients
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $4 0
  ${Do}
    FindWindow $0 "VelmorW"
    ${If} $0 = 0
      FindWindow $0 "Transfer"
    ${EndIf}
    ${If} $0 = 0
    ${OrIf} $4 >= 16
      ${Break}
    ${EndIf}
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i 0 r1)'
    ; SYNCHRONIZE | PROCESS_TERMINATE
    System::Call 'kernel32::OpenProcess(i 0x100001, i 0, i r1) p .r2'
    System::Call 'user32::PostMessage(p r0, i ${WM_CLOSE}, p 0, p 0)'
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 20000) i .r3'
      ${If} $3 <> 0
        System::Call 'kernel32::TerminateProcess(p r2, i 1)'
        System::Call 'kernel32::WaitForSingleObject(p r2, i 5000)'
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p r2)'
    ${Else}
      Sleep 200
    ${EndIf}
    IntOp $4 $4 + 1
  ${Loop}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro CLOSE_CLIENTS ""
!insertmacro CLOSE_CLIENTS "un."

; ---- Install ---------------------------------------------------------------

Function .onInit
  ${GetParameters} $R0
  StrCpy $Host "${DEFAULT_HOST}"
  StrCpy $Port "${DEFAULT_PORT}"
  StrCpy $AutoStart 0
  ClearErrors
  ${GetOptions} $R0 "/HOST=" $R1
  ${IfNot} ${Errors}
  ${AndIf} $R1 != ""
    StrCpy $Host $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/PORT=" $R1
  ${IfNot} ${Errors}
  ${AndIf} $R1 != ""
    StrCpy $Port $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/AUTOSTART=" $R1
  ${IfNot} ${Errors}
    StrCpy $AutoStart $R1
  ${EndIf}
  ; An installation made before keeps its folder.
  ReadRegStr $R1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R1 != ""
    StrCpy $INSTDIR $R1
  ${EndIf}
FunctionEnd

Function .onVerifyInstDir
  StrLen $R0 $INSTDIR
  ${If} $R0 > ${MAX_FOLDER_LENGTH}
    Abort
  ${EndIf}
FunctionEnd

Function ServerPage
  !insertmacro MUI_HEADER_TEXT "Velmor server" "Where Velmor fetches its content from."
  nsDialogs::Create 1018
  Pop $0
  ${If} ${FileExists} "$INSTDIR\velmor.cfg"
    ${NSD_CreateLabel} 0 0 100% 24u "Velmor is installed in this folder already. Its settings, logs and donation lists are kept; change the server in Configure."
    Pop $0
  ${Else}
    ${NSD_CreateLabel} 0 0 100% 12u "Server host name or address:"
    Pop $0
    ${NSD_CreateText} 0 13u 100% 12u "$Host"
    Pop $HostField
    ${NSD_CreateLabel} 0 32u 100% 12u "Server port:"
    Pop $0
    ${NSD_CreateNumber} 0 45u 60u 12u "$Port"
    Pop $PortField
  ${EndIf}
  ${NSD_CreateCheckbox} 0 70u 100% 12u "Start Velmor when I log on"
  Pop $AutoStartBox
  ${If} $AutoStart == 1
    ${NSD_Check} $AutoStartBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ServerPageLeave
  ${IfNot} ${FileExists} "$INSTDIR\velmor.cfg"
    ${NSD_GetText} $HostField $Host
    ${NSD_GetText} $PortField $Port
  ${EndIf}
  ${NSD_GetState} $AutoStartBox $AutoStart
  ${If} $AutoStart == ${BST_CHECKED}
    StrCpy $AutoStart 1
  ${EndIf}
FunctionEnd

; Notes in Software\Velmor\Installer that the key is about to be created,
; unless an earlier installation noted it already.
!macro NOTE_CREATED_KEY key note
  ClearErrors
  EnumRegKey $0 HKCU "${key}" 0
  ${If} ${Errors}
    WriteRegDWORD HKCU "${INSTALLER_KEY}" "${note}" 1
  ${EndIf}
!macroend

; One line as the client appends a key.
!macro CFG_LINE handle key value
  FileWrite ${handle} "${key}  =  ${value}$\r$\n"
!macroend

Section "Velmor"
  Call CloseClients
  SetOutPath "$INSTDIR"
  File "/oname=Velmorw.exe" "${CLIENT_EXE}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ${IfNot} ${FileExists} "$INSTDIR\velmor.cfg"
    FileOpen $0 "$INSTDIR\velmor.cfg" w
    !insertmacro CFG_LINE $0 "Directory" "$INSTDIR\"
    !insertmacro CFG_LINE $0 "Port" "$Port"
    !insertmacro CFG_LINE $0 "VServerID" "$Host"
    FileClose $0
  ${EndIf}

  SetShellVarContext current
  CreateDirectory "$SMPROGRAMS\Velmor"
  CreateShortcut "$SMPROGRAMS\Velmor\Velmor.lnk" "$INSTDIR\Velmorw.exe" "" "$INSTDIR\Velmorw.exe" 0
  CreateShortcut "$SMPROGRAMS\Velmor\Uninstall Velmor.lnk" "$INSTDIR\Uninstall.exe"

  ${If} $AutoStart == 1
    !insertmacro NOTE_CREATED_KEY "${RUN_KEY}" "CreatedRunKey"
    WriteRegStr HKCU "${RUN_KEY}" "Velmor" '"$INSTDIR\Velmorw.exe" /N'
  ${Else}
    DeleteRegValue HKCU "${RUN_KEY}" "Velmor"
  ${EndIf}

  ; A key that only this installation brought is removed with it.
  !insertmacro NOTE_CREATED_KEY "${UNINSTALL_PARENT}" "CreatedUninstallKey"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Velmorw.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; ---- Uninstall ---------------------------------------------------------------

; Puts value $R3 of key $R2 back as recorded under $R0 (the record key) in
; the value named $R1 with its state and type beside it.
Function un.RestoreValue
  ReadRegDWORD $0 HKCU $R0 "$R1State"
  ${If} $0 = 2
    ; The record keeps the value's own type: REG_SZ or REG_EXPAND_SZ.
    ReadRegStr $1 HKCU $R0 $R1
    System::Call 'advapi32::RegOpenKeyEx(p 0x80000001, t R0, i 0, i 0x20019, *p .r2) i .r3'
    StrCpy $4 1
    ${If} $3 = 0
      System::Call 'advapi32::RegQueryValueEx(p r2, t R1, p 0, *i .r4, p 0, p 0)'
      System::Call 'advapi32::RegCloseKey(p r2)'
    ${EndIf}
    ${If} $4 = 2
      WriteRegExpandStr HKCU $R2 $R3 $1
    ${Else}
      WriteRegStr HKCU $R2 $R3 $1
    ${EndIf}
  ${Else}
    DeleteRegValue HKCU $R2 $R3
  ${EndIf}
FunctionEnd

Function un.RestoreWallpaper
  StrCpy $R0 "${RESTORE_KEY}\Desktop"
  ClearErrors
  ReadRegStr $5 HKCU $R0 "Set"
  ${If} ${Errors}
    Return
  ${EndIf}
  ; Changed by hand since Velmor's last change: left as the user set it.
  ReadRegStr $6 HKCU "Control Panel\Desktop" "Wallpaper"
  ${If} $5 != $6
    Return
  ${EndIf}
  ReadRegStr $7 HKCU $R0 "Wallpaper"
  ; SPI_SETDESKWALLPAPER, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE; then the two
  ; values exactly as they were.
  System::Call 'user32::SystemParametersInfo(i 20, i 0, t r7, i 3)'
  StrCpy $R2 "Control Panel\Desktop"
  StrCpy $R1 "Wallpaper"
  StrCpy $R3 "Wallpaper"
  Call un.RestoreValue
  StrCpy $R1 "TileWallpaper"
  StrCpy $R3 "TileWallpaper"
  Call un.RestoreValue
  ; A record made by a client that did not yet write the style has none:
  ; the style is then the user's own and stays.
  ClearErrors
  ReadRegDWORD $0 HKCU $R0 "WallpaperStyleState"
  ${IfNot} ${Errors}
    StrCpy $R1 "WallpaperStyle"
    StrCpy $R3 "WallpaperStyle"
    Call un.RestoreValue
  ${EndIf}
FunctionEnd

; One recorded event: $R0 its record key.
Function un.RestoreEventSound
  ReadRegStr $R2 HKCU $R0 "Key"
  ReadRegStr $5 HKCU $R0 "Set"
  ${If} $R2 == ""
    Return
  ${EndIf}
  ; Velmor's sound file goes whatever becomes of the event.
  Delete "$5"
  ReadRegStr $6 HKCU "$R2\.Current" ""
  ${If} $5 != $6
    Return
  ${EndIf}
  ReadRegDWORD $7 HKCU $R0 "CurrentState"
  StrCpy $R2 "$R2\.Current"
  StrCpy $R1 "Current"
  StrCpy $R3 ""
  Call un.RestoreValue
  ${If} $7 = 0
    DeleteRegKey /ifempty HKCU $R2
  ${EndIf}
FunctionEnd

Function un.RestoreSounds
  StrCpy $8 0
  ${Do}
    EnumRegKey $9 HKCU "${RESTORE_KEY}\Sounds" $8
    ${If} $9 == ""
      ${Break}
    ${EndIf}
    StrCpy $R4 0
    ${Do}
      EnumRegKey $R5 HKCU "${RESTORE_KEY}\Sounds\$9" $R4
      ${If} $R5 == ""
        ${Break}
      ${EndIf}
      StrCpy $R0 "${RESTORE_KEY}\Sounds\$9\$R5"
      Call un.RestoreEventSound
      IntOp $R4 $R4 + 1
    ${Loop}
    IntOp $8 $8 + 1
  ${Loop}
FunctionEnd

; The files Velmor writes in a data directory ($0).
Function un.RemoveDataFiles
  Delete "$0\import.bin"
  Delete "$0\Backgrou.bmp"
  Delete "$0\Randomsound.wav"
  Delete "$0\velmor.cfg"
  Delete "$0\velmor.cfg.lock"
  Delete "$0\velmor.cfg.new"
FunctionEnd

Section "Uninstall"
  Call un.CloseClients

  Call un.RestoreWallpaper
  ReadRegStr $0 HKCU "${RESTORE_KEY}\Desktop" "Set"
  ${If} $0 != ""
    Delete "$0"
  ${EndIf}
  Call un.RestoreSounds
  DeleteRegKey HKCU "${RESTORE_KEY}"
  ReadRegDWORD $R6 HKCU "${INSTALLER_KEY}" "CreatedRunKey"
  ReadRegDWORD $R7 HKCU "${INSTALLER_KEY}" "CreatedUninstallKey"
  DeleteRegKey HKCU "${INSTALLER_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Velmor"

  StrCpy $0 "$INSTDIR"
  Call un.RemoveDataFiles
  ; Every received picture and sound lives in the folder under a name of its
  ; item; the folder is Velmor's own.
  Delete "$INSTDIR\*.wav"
  Delete "$INSTDIR\*.bmp"
  MessageBox MB_YESNO|MB_ICONQUESTION "Keep Velmor's activity log (VelmorW.log)?" /SD IDNO IDYES keep_log
    Delete "$INSTDIR\VelmorW.log"
  keep_log:
  Delete "$INSTDIR\Velmorw.exe"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  SetShellVarContext current
  Delete "$SMPROGRAMS\Velmor\Velmor.lnk"
  Delete "$SMPROGRAMS\Velmor\Uninstall Velmor.lnk"
  RMDir "$SMPROGRAMS\Velmor"

  ReadRegStr $0 HKCU "${RUN_KEY}" "Velmor"
  ${If} $0 != ""
    DeleteRegValue HKCU "${RUN_KEY}" "Velmor"
  ${EndIf}
  ${If} $R6 = 1
    DeleteRegKey /ifempty HKCU "${RUN_KEY}"
  ${EndIf}
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${If} $R7 = 1
    DeleteRegKey /ifempty HKCU "${UNINSTALL_PARENT}"
  ${EndIf}
SectionEnd

; The Quillmere installer: per machine into Program Files\Quillmere, a Start
; menu shortcut, an Add/Remove Programs entry, access to the store for every
; user of the machine, and, when chosen, a start at sign-in. The build passes
; the version and the files:
;   makensis -DVERSION=1.1.0 -DPROGRAM_EXE=quillmere.exe
;            -DACCESS_EXE=quillmere-access.exe -DICON=quillmere.ico
;            -DOUTFILE=Quillmere-1.1.0-setup.exe quillmere.nsi
; "/S" installs and uninstalls silently, with the defaults.

Unicode true
Target amd64-unicode
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "Quillmere"
!define PUBLISHER "The Quillmere Project"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillmere"
; A running copy holds ONE_COPY_MUTEX in its sign-in session
; (CSingleInstance::kMutexName) and, with the copies of every other session,
; RUNNING_MARKER in the machine's (CSingleInstance::kRunningMarkerName).
!define ONE_COPY_MUTEX "Local\Quillmere.OneCopy"
!define RUNNING_MARKER "Global\Quillmere.Running"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "Quillmere setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!define MUI_WELCOMEPAGE_TEXT "Setup will install Quillmere ${VERSION}, a calendar that keeps your appointments and reminds you of them from the notification area.$\r$\n$\r$\nQuillmere is installed for every user of this computer, and every user may then file and change appointments.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
; The log stays up, with the word on access for every user.
!define MUI_FINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "Quillmere ${VERSION} is installed.$\r$\n$\r$\nStart it from the Start menu. When you close its window it stays in the notification area and reminds you of the day's appointments."
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_UNFINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "Quillmere has been removed"
!define MUI_FINISHPAGE_TEXT "Quillmere has been removed from this computer.$\r$\n$\r$\nYour appointments and options have been kept: they are your data, in the registry under HKEY_LOCAL_MACHINE\SOFTWARE\Calendar. Install Quillmere again and you will find them there."
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

; Files in use cannot be replaced or removed: a running copy must end first.
; Sets $R0 to what is running, "" when nothing is: "session" for a copy in
; this session (the user's, or another account's), "elsewhere" for one in
; another session, "locked" when the program file is in use all the same (by
; an earlier version, which holds no marker, say). A mutex that exists but
; may not be opened belongs to a copy of another account: it runs.
!macro FIND_RUNNING_COPY un
Function ${un}FindRunningCopy
    StrCpy $R0 ""
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${ONE_COPY_MUTEX}") p .r0 ?e'
    Pop $1
    ${If} $0 != 0
        System::Call 'kernel32::CloseHandle(p r0)'
        StrCpy $R0 "session"
    ${ElseIf} $1 = 5
        StrCpy $R0 "session"
    ${Else}
        System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MARKER}") p .r0 ?e'
        Pop $1
        ${If} $0 != 0
            System::Call 'kernel32::CloseHandle(p r0)'
            StrCpy $R0 "elsewhere"
        ${ElseIf} $1 = 5
            StrCpy $R0 "elsewhere"
        ${ElseIf} ${FileExists} "$INSTDIR\quillmere.exe"
            ; A program file that runs may not be opened for writing.
            System::Call 'kernel32::CreateFileW(w "$INSTDIR\quillmere.exe", i 0x40000000, i 7, p 0, i 3, i 0, p 0) p .r0 ?e'
            Pop $1
            ${If} $0 = -1
                ${If} $1 = 32
                    StrCpy $R0 "locked"
                ${EndIf}
            ${Else}
                System::Call 'kernel32::CloseHandle(p r0)'
            ${EndIf}
        ${EndIf}
    ${EndIf}
FunctionEnd
!macroend
!insertmacro FIND_RUNNING_COPY ""
!insertmacro FIND_RUNNING_COPY "un."

!define PROGRAM_IN_USE "Its program file, $INSTDIR\quillmere.exe, is in use, most likely by Quillmere in another user's session; ask them to Unload it, or sign them out."

; Waits, with Retry and Cancel, until no copy runs, saying what `action`
; waits for; Cancel (and, silently, a copy running) sets exit code 2 and runs
; `end` (Quit before the pages, Abort in a section).
!macro WAIT_WHILE_RUNNING un action end
    retry:
    Call ${un}FindRunningCopy
    ${If} $R0 == "session"
        StrCpy $R1 "Quillmere is running in this session; choose Unload from the menu of its icon in the notification area."
    ${ElseIf} $R0 == "elsewhere"
        StrCpy $R1 "Quillmere is running in another user's session; ask them to Unload it, or sign them out."
    ${ElseIf} $R0 == "locked"
        StrCpy $R1 "${PROGRAM_IN_USE}"
    ${EndIf}
    ${If} $R0 != ""
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${action}$\r$\n$\r$\n$R1 Then click Retry." /SD IDCANCEL IDRETRY retry
        DetailPrint "${action} $R1"
        SetErrorLevel 2
        ${end}
    ${EndIf}
!macroend

!define SETUP_WAITS "Setup cannot install Quillmere ${VERSION} while Quillmere runs."
!define REMOVAL_WAITS "Quillmere cannot be removed while it runs."

Function .onInit
    SetShellVarContext all
    SetRegView 64
    !insertmacro WAIT_WHILE_RUNNING "" "${SETUP_WAITS}" Quit
FunctionEnd

Function un.onInit
    SetShellVarContext all
    SetRegView 64
    !insertmacro WAIT_WHILE_RUNNING "un." "${REMOVAL_WAITS}" Quit
FunctionEnd

; HKLM\SOFTWARE\Calendar is writable only by administrators; the helper,
; run from the temporary folder and never installed, lets the built-in Users
; group read, write and delete there, and keeps the owner of each key from
; changing its permissions. (In a function, so that its size does not count
; as installed.)
Function GrantUsersAccess
    InitPluginsDir
    File "/oname=$PLUGINSDIR\quillmere-access.exe" "${ACCESS_EXE}"
    ExecWait '"$PLUGINSDIR\quillmere-access.exe"' $0
    ${If} $0 != 0
        DetailPrint "Could not give the users access to the appointments (error $0)."
        MessageBox MB_OK|MB_ICONEXCLAMATION "Quillmere is installed, but Setup could not give the users of this computer access to the appointments in HKEY_LOCAL_MACHINE\SOFTWARE\Calendar (error $0). Only administrators can save appointments until an administrator grants the Users group read, write and delete access to that key." /SD IDOK
        SetErrorLevel 3
    ${Else}
        DetailPrint "Every user of this computer may now file and change appointments."
    ${EndIf}
FunctionEnd

Section "Quillmere" SecProgram
    SectionIn RO
    ; Quillmere may have been started while the pages were up.
    !insertmacro WAIT_WHILE_RUNNING "" "${SETUP_WAITS}" Abort
    SetOutPath "$INSTDIR"
    File "/oname=quillmere.exe" "${PROGRAM_EXE}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\Quillmere.lnk" "$INSTDIR\quillmere.exe"
    ; A start at sign-in left from an earlier installation goes; the next
    ; section puts it back when it is chosen.
    Delete "$SMSTARTUP\Quillmere.lnk"

    Call GrantUsersAccess

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quillmere.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

; Run minimised: Quillmere then starts hidden in the notification area, with
; its reminders on.
Section "Start Quillmere when I sign in" SecStartAtSignIn
    CreateShortCut "$SMSTARTUP\Quillmere.lnk" "$INSTDIR\quillmere.exe" "" "$INSTDIR\quillmere.exe" 0 SW_SHOWMINIMIZED
SectionEnd

; The appointments and options in HKLM\SOFTWARE\Calendar are the users' data
; and stay. The program goes first: while it cannot, everything stays, the
; Add/Remove Programs entry and the uninstaller included, so that the removal
; can be run again.
Section "Uninstall"
    retry:
    Delete "$INSTDIR\quillmere.exe"
    ${If} ${FileExists} "$INSTDIR\quillmere.exe"
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${REMOVAL_WAITS}$\r$\n$\r$\n${PROGRAM_IN_USE} Then click Retry.$\r$\n$\r$\nCancel leaves Quillmere installed." /SD IDCANCEL IDRETRY retry
        DetailPrint "Quillmere stays installed: $INSTDIR\quillmere.exe is in use."
        SetErrorLevel 2
        Abort
    ${EndIf}
    Delete "$SMSTARTUP\Quillmere.lnk"
    Delete "$SMPROGRAMS\Quillmere.lnk"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; Setup program for players: installs Orvane.exe, config.ini and the players' guide PLAYERS.txt
; for the current user (no elevation), with a desktop shortcut, Start-menu shortcuts to the
; program, its diagnosis (Orvane.exe /diagnose) and the guide, an uninstaller and an entry in the
; installed apps. Compiled by tools/release.sh (makensis -INPUTCHARSET UTF8), which passes:
;   VERSION, PRODUCT, PUBLISHER, COPYRIGHT  read back from the executable's version resource
;   STAGE    folder holding the Orvane.exe, config.ini and PLAYERS.txt to install
;   ICON     the program's icon
;   OUTFILE  the setup to write
;   TARGET   optional makensis target (default x86-unicode; the tests use amd64-unicode)
;   SIGN     optional command that signs, in place, the file named by its last argument
;
; What survives an upgrade or an uninstall: config.ini is the operator's (or a player's) to
; change. The setup records in the uninstall entry the SHA-256 of the config.ini it installed
; (ConfigSha256), together with the folder it installed it to (InstallLocation). A config.ini
; whose content still has that hash is the setup's own and is replaced or removed; any other
; config.ini (changed, or there before the setup with no record) is left as it is, and the old
; record is kept so that a later run still recognises the changed file as changed.
; The embedded browser's feature values are treated alike: the setup writes one only where there
; is none (a value already there is someone's choice and stays as it is), and records in the
; entry whether it created it (CreatedGpuRendering, CreatedBrowserEmulation: 1, or 0 for a value
; found there); the record is kept across upgrades, and the uninstaller removes only a value the
; setup created that still holds what the setup wrote.
;
; Exit codes: 0 done; 1 cancelled by the player; 2 a step failed (the message says which);
; 3 Orvane.exe is running (nothing changed, try again later); 4 another setup or uninstaller of
; this product is running (nothing changed). One named mutex, held for the whole run, keeps a
; setup and an uninstaller from working on the same install at once.
;
; Every step that can fail is checked, and all of them that do not need the new program come
; before it: a failed run leaves the old Orvane.exe with the entry that names its version. The
; uninstaller removes Orvane.exe first and checks it: if that fails, it removes nothing else.

Unicode true
!ifdef TARGET
  Target ${TARGET}
!endif
SetCompressor /SOLID lzma
; The files' times stay out of the setup, so one commit gives one setup, byte for byte.
SetDateSave off
RequestExecutionLevel user
ManifestDPIAware true
!ifdef SIGN
  !finalize '${SIGN} "%1"' = 0
  !uninstfinalize '${SIGN} "%1"' = 0
!endif

!define EXE "Orvane.exe"
!define UNINSTALLER "uninstall.exe"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; The WebBrowser control's per-program settings, named after the executable's file name.
!define FEATURES "Software\Microsoft\Internet Explorer\Main\FeatureControl"
!define GPU_RENDERING 1
!define BROWSER_EMULATION 11000
; Session-local: another user's setup works on another HKCU and another folder. It reaches the
; System plugin through a register, never inside its quoted call text, so any product name
; versioninfo.py accepts (a quote or a backtick in it too) names the same mutex.
!define MUTEX "Local\${PRODUCT}-setup"
!define GUIDE "PLAYERS.txt"
!define GUIDE_LINK "$SMPROGRAMS\${PRODUCT} 玩家指南.lnk"
!define DIAGNOSE_LINK "$SMPROGRAMS\${PRODUCT} 诊断.lnk"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; An upgrade goes where the last install went, unless /D= or the folder page says otherwise.
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
BrandingText "${PUBLISHER}"
; A file that cannot be written stops the setup; it is never skipped silently.
AllowSkipFiles off

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; Closing the game window (and answering 是) brings back a launcher, which keeps the program
; running: the launcher has to be closed too.
!define HOW_TO_QUIT "请先完全退出 ${PRODUCT}：$\r$\n\
1. 关闭游戏窗口（只剩托盘图标时，先单击托盘图标打开它），在退出提示中单击“是”；$\r$\n\
2. 这时会回到启动器窗口：把启动器也关闭，同样单击“是”。$\r$\n"
LangString RunningSetup ${LANG_SIMPCHINESE} "${PRODUCT} 正在运行，现在无法更新。$\r$\n$\r$\n\
${HOW_TO_QUIT}然后单击“重试”。$\r$\n\
单击“取消”退出安装，已安装的文件不会有任何改动。"
LangString RunningUninstall ${LANG_SIMPCHINESE} "${PRODUCT} 正在运行，现在无法卸载。$\r$\n$\r$\n\
${HOW_TO_QUIT}然后单击“重试”。$\r$\n\
单击“取消”退出卸载，已安装的文件不会有任何改动。"
LangString Unchanged ${LANG_SIMPCHINESE} "${PRODUCT} 正在运行：已取消，没有做任何改动。"
LangString FeatureKept ${LANG_SIMPCHINESE} "已有的浏览器设置 HKEY_CURRENT_USER\$1\${EXE} 保留不变。"
LangString ConfigKept ${LANG_SIMPCHINESE} "config.ini 安装后已被修改，保留原文件。"
LangString AnotherRun ${LANG_SIMPCHINESE} "另一个 ${PRODUCT} 安装或卸载程序正在运行。$\r$\n$\r$\n\
请等它结束后再试。本程序已退出，没有做任何改动。"
LangString CannotOpenSetup ${LANG_SIMPCHINESE} "无法写入 $INSTDIR\${EXE}（Windows 错误代码 $1）。$\r$\n$\r$\n\
安装已停止，没有做任何改动。请确认您对这个文件夹有写入权限，或者安装到其他文件夹。"
LangString CannotOpenUninstall ${LANG_SIMPCHINESE} "无法删除 $INSTDIR\${EXE}（Windows 错误代码 $1）。$\r$\n$\r$\n\
卸载已停止，没有做任何改动。请确认您对这个文件夹有写入权限。"
LangString CannotRemove ${LANG_SIMPCHINESE} "无法删除 $INSTDIR\${EXE}（Windows 错误代码 $1）。$\r$\n$\r$\n\
卸载已停止，没有删除其他任何内容：快捷方式、卸载信息和设置都保留了。$\r$\n\
${PRODUCT} 可能刚刚又被启动了：请完全退出它（关闭游戏窗口和启动器），然后重新运行卸载程序。"
LangString StepFailed ${LANG_SIMPCHINESE} "安装没有完成：$Failed。$\r$\n$\r$\n\
请确认您对安装文件夹、桌面和开始菜单有写入权限，然后重新运行安装程序。"
LangString FailUninstaller ${LANG_SIMPCHINESE} "无法写入卸载程序 $INSTDIR\${UNINSTALLER}"
LangString FailFolder ${LANG_SIMPCHINESE} "无法创建文件夹 $INSTDIR"
LangString FailDesktop ${LANG_SIMPCHINESE} "无法创建桌面快捷方式 $DESKTOP\${PRODUCT}.lnk"
LangString FailStartMenu ${LANG_SIMPCHINESE} "无法创建开始菜单快捷方式 $SMPROGRAMS\${PRODUCT}.lnk"
LangString FailDiagnoseLink ${LANG_SIMPCHINESE} "无法创建开始菜单快捷方式 ${DIAGNOSE_LINK}"
LangString FailGuideLink ${LANG_SIMPCHINESE} "无法创建开始菜单快捷方式 ${GUIDE_LINK}"
LangString FailEntry ${LANG_SIMPCHINESE} "无法写入注册表项 HKEY_CURRENT_USER\${UNINST_KEY}"
LangString FailFeature ${LANG_SIMPCHINESE} "无法写入注册表项 HKEY_CURRENT_USER\${FEATURES}"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "${COPYRIGHT}"

; What the uninstall entry says about $INSTDIR: $Owned is 1 when the entry names this folder
; (then the shortcuts and the entry are this folder's); $Recorded is the SHA-256 of the
; config.ini the setup put here, or "" when none is known.
Var Owned
Var Recorded
; Sha256's argument and result.
Var HashPath
Var Hash
; What failed, for StepFailed.
Var Failed
; 1 when the entry was there before this run but holds no feature records: an older setup's.
Var OlderEntry

!macro SharedFunctions un running cannot
; Refuses to run beside another setup or uninstaller of this product: both read and write the
; uninstall entry and the install folder. The handle stays open until the process ends.
Function ${un}RefuseSecondRun
  StrCpy $2 "${MUTEX}"
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w r2) p .r0 ?e'
  Pop $1
  ${If} $0 P= 0
  ${OrIf} $1 = 183 ; ERROR_ALREADY_EXISTS
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(AnotherRun)" /SD IDOK
    SetErrorLevel 4
    Quit
  ${EndIf}
FunctionEnd

; Waits until $INSTDIR\Orvane.exe can be replaced or removed. A program that runs has its image
; mapped, and Windows refuses to open a mapped image for writing with a sharing violation: that
; error, and only that one, means "running from here", and the player is asked to close it;
; Cancel (the silent run's answer) ends the run before anything is changed, with exit code 3,
; so that a deployment tool can try again later. A read-only file is made writable first; any
; other failure (a folder the player cannot write to, a folder in the file's place) will not go
; away by waiting: it ends the run with its own message and exit code 2.
Function ${un}WaitUntilClosed
  Push $0
  Push $1
  retry:
  ${If} ${FileExists} "$INSTDIR\${EXE}"
    System::Call 'kernel32::GetFileAttributesW(w "$INSTDIR\${EXE}") i .r0'
    IntOp $1 $0 & 0x11 ; FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_DIRECTORY
    ${If} $0 <> -1
    ${AndIf} $1 = 1
      IntOp $0 $0 & 0xFFFFFFFE
      ${If} $0 = 0
        StrCpy $0 0x80 ; FILE_ATTRIBUTE_NORMAL
      ${EndIf}
      System::Call 'kernel32::SetFileAttributesW(w "$INSTDIR\${EXE}", i r0) i .r0 ?e'
      Pop $1
      ${If} $0 = 0
        Goto cannot
      ${EndIf}
    ${EndIf}
    ; Any sharing with other readers and writers is granted, so that only a mapped image (or
    ; an opener that shares nothing) gives a sharing violation.
    System::Call 'kernel32::CreateFileW(w "$INSTDIR\${EXE}", i 0x40000000, i 7, p 0, i 3, i 0, p 0) p .r0 ?e'
    Pop $1
    ${If} $0 P= -1
      ${If} $1 = 32 ; ERROR_SHARING_VIOLATION
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(${running})" /SD IDCANCEL IDRETRY retry
        SetErrorLevel 3
        Abort "$(Unchanged)"
      ${EndIf}
      Goto cannot
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
  Pop $1
  Pop $0
  Return
  cannot:
  MessageBox MB_OK|MB_ICONSTOP "$(${cannot})" /SD IDOK
  SetErrorLevel 2
  Abort "$(${cannot})"
FunctionEnd

; Sets $Owned and $Recorded from the uninstall entry.
Function ${un}ReadRecord
  Push $0
  StrCpy $Owned 0
  StrCpy $Recorded ""
  ReadRegStr $0 HKCU "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 == $INSTDIR
    StrCpy $Owned 1
    ReadRegStr $Recorded HKCU "${UNINST_KEY}" "ConfigSha256"
  ${EndIf}
  Pop $0
FunctionEnd

; $Hash = SHA-256 of the file $HashPath in lower-case hex, or "" if it cannot be read.
; CryptoAPI's AES provider has SHA-256 from Windows XP SP3 on.
Function ${un}Sha256
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  StrCpy $Hash ""
  ClearErrors
  FileOpen $0 $HashPath r
  ${IfNot} ${Errors}
    FileSeek $0 0 END $1
    FileSeek $0 0 SET
    IntOp $2 $1 + 1
    System::Alloc $2
    Pop $2
    System::Call 'kernel32::ReadFile(p r0, p r2, i r1, *i 0 r3, p 0) i .r4'
    FileClose $0
    ${If} $4 <> 0
    ${AndIf} $3 = $1
      System::Call 'advapi32::CryptAcquireContextW(*p 0 r5, p 0, p 0, i 24, i 0xF0000000) i .r4'
      ${If} $4 <> 0
        System::Call 'advapi32::CryptCreateHash(p r5, i 0x800C, p 0, i 0, *p 0 r6) i .r4'
        ${If} $4 <> 0
          System::Call 'advapi32::CryptHashData(p r6, p r2, i r1, i 0) i .r4'
          ${If} $4 <> 0
            System::Alloc 32
            Pop $7
            System::Call 'advapi32::CryptGetHashParam(p r6, i 2, p r7, *i 32 r3, i 0) i .r4'
            ${If} $4 <> 0
            ${AndIf} $3 = 32
              ${For} $3 0 31
                IntPtrOp $0 $7 + $3
                System::Call '*$0(&i1 .r4)'
                IntOp $4 $4 & 0xFF
                IntFmt $4 "%02x" $4
                StrCpy $Hash "$Hash$4"
              ${Next}
            ${EndIf}
            System::Free $7
          ${EndIf}
          System::Call 'advapi32::CryptDestroyHash(p r6)'
        ${EndIf}
        System::Call 'advapi32::CryptReleaseContext(p r5, i 0)'
      ${EndIf}
    ${EndIf}
    System::Free $2
  ${EndIf}
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro SharedFunctions "" RunningSetup CannotOpenSetup
!insertmacro SharedFunctions "un." RunningUninstall CannotOpenUninstall

Function .onInit
  Call RefuseSecondRun
FunctionEnd

Function un.onInit
  Call un.RefuseSecondRun
FunctionEnd

; Ends the run with exit code 2 when the error flag is set, naming what failed.
!macro CheckStep what
  ${If} ${Errors}
    StrCpy $Failed "${what}"
    Call StepFailed
  ${EndIf}
!macroend

Function StepFailed
  MessageBox MB_OK|MB_ICONSTOP "$(StepFailed)" /SD IDOK
  SetErrorLevel 2
  Abort "$(StepFailed)"
FunctionEnd

; The shortcuts' working folder is the current output folder.
Function Shortcuts
  ClearErrors
  CreateShortCut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\${EXE}"
  !insertmacro CheckStep "$(FailDesktop)"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}"
  !insertmacro CheckStep "$(FailStartMenu)"
  CreateShortCut "${DIAGNOSE_LINK}" "$INSTDIR\${EXE}" "/diagnose"
  !insertmacro CheckStep "$(FailDiagnoseLink)"
  CreateShortCut "${GUIDE_LINK}" "$INSTDIR\${GUIDE}"
  !insertmacro CheckStep "$(FailGuideLink)"
FunctionEnd

; Writes a feature value only where there is none, and records in the entry whether the setup
; created it (1) or found it there (0). A value already there is left exactly as it is: someone
; else's choice, or this setup's own from an earlier run, whose record stays as it was (the entry
; is kept across upgrades). An entry from an older setup has no records: that setup wrote both
; values whatever was there, so a value that still holds what it wrote is taken as the setup's.
; The record is written before the value: a run that fails between the two leaves a record of a
; value that is not there, which removes nothing.
!macro WriteFeature feature value record
  ; Any value of that name counts, whatever its type; a key or value that cannot be read
  ; counts as there (nothing is written over what could not be seen).
  StrCpy $1 "${FEATURES}\${feature}"
  StrCpy $2 "${EXE}"
  System::Call 'advapi32::RegOpenKeyExW(p 0x80000001, w r1, i 0, i 0x20019, *p 0 r3) i .r0'
  ${If} $0 = 0
    System::Call 'advapi32::RegQueryValueExW(p r3, w r2, p 0, p 0, p 0, p 0) i .r0'
    System::Call 'advapi32::RegCloseKey(p r3)'
  ${EndIf}
  ${If} $0 = 2 ; ERROR_FILE_NOT_FOUND: no key, or no value
    ClearErrors
    WriteRegDWORD HKCU "${UNINST_KEY}" "${record}" 1
    WriteRegDWORD HKCU "${FEATURES}\${feature}" "${EXE}" ${value}
    !insertmacro CheckStep "$(FailFeature)"
  ${Else}
    ClearErrors
    ReadRegDWORD $4 HKCU "${UNINST_KEY}" "${record}"
    ${If} ${Errors}
      StrCpy $4 0
      ${If} $OlderEntry = 1
        ClearErrors
        ReadRegDWORD $5 HKCU "${FEATURES}\${feature}" "${EXE}"
        ${IfNot} ${Errors}
        ${AndIf} $5 = ${value}
          StrCpy $4 1
        ${EndIf}
      ${EndIf}
      ClearErrors
      WriteRegDWORD HKCU "${UNINST_KEY}" "${record}" $4
      !insertmacro CheckStep "$(FailFeature)"
    ${EndIf}
    ${If} $4 <> 1
      DetailPrint "$(FeatureKept)"
    ${EndIf}
  ${EndIf}
!macroend

Section
  Call WaitUntilClosed
  Call ReadRecord
  StrCpy $OlderEntry 0
  ReadRegStr $0 HKCU "${UNINST_KEY}" "DisplayName"
  ${If} $0 != ""
    ClearErrors
    ReadRegDWORD $0 HKCU "${UNINST_KEY}" "CreatedGpuRendering"
    ${If} ${Errors}
      ClearErrors
      ReadRegDWORD $0 HKCU "${UNINST_KEY}" "CreatedBrowserEmulation"
      ${If} ${Errors}
        StrCpy $OlderEntry 1
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ClearErrors
  SetOutPath "$INSTDIR"
  !insertmacro CheckStep "$(FailFolder)"

  ; config.ini: a new one unless the one here was changed (or has no record, see the top). A
  ; new one is recorded at once: a new file with the old record would look changed for good.
  ; (A file that cannot be written stops the run with NSIS's own message; AllowSkipFiles off.)
  StrCpy $HashPath "$INSTDIR\config.ini"
  StrCpy $0 1
  ${If} ${FileExists} $HashPath
    Call Sha256
    ${If} $Recorded == ""
    ${OrIf} $Hash != $Recorded
      StrCpy $0 0
    ${EndIf}
  ${EndIf}
  ${If} $0 = 1
    File "${STAGE}\config.ini"
    Call Sha256
    StrCpy $Recorded $Hash
  ${Else}
    DetailPrint "$(ConfigKept)"
  ${EndIf}
  ClearErrors
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  ${If} $Recorded != ""
    WriteRegStr HKCU "${UNINST_KEY}" "ConfigSha256" $Recorded
  ${Else}
    DeleteRegValue HKCU "${UNINST_KEY}" "ConfigSha256"
    ClearErrors ; there may be no value to delete
  ${EndIf}
  !insertmacro CheckStep "$(FailEntry)"

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  !insertmacro CheckStep "$(FailUninstaller)"

  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${EXE}"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  !insertmacro CheckStep "$(FailEntry)"

  ; The WebBrowser control renders in software without GPU rendering, and shows a page that
  ; declares no document mode in IE 7 mode without browser emulation; 11000 is what Internet
  ; Explorer 11 does itself: standards mode for a standards doctype, the page's X-UA-Compatible
  ; first. Per user, named after the executable's file name; the program writes nothing.
  !insertmacro WriteFeature FEATURE_GPU_RENDERING ${GPU_RENDERING} CreatedGpuRendering
  !insertmacro WriteFeature FEATURE_BROWSER_EMULATION ${BROWSER_EMULATION} CreatedBrowserEmulation

  ; The players' guide (Start-menu shortcut below) goes with every install: it describes this
  ; version.
  ClearErrors
  File "${STAGE}\${GUIDE}"

  ; The program last (its shortcuts before it on an upgrade, where the target is there): a run
  ; that fails before this point leaves the old program with the entry of its version.
  ${If} ${FileExists} "$INSTDIR\${EXE}"
    Call Shortcuts
    File "${STAGE}\${EXE}"
  ${Else}
    File "${STAGE}\${EXE}"
    Call Shortcuts
  ${EndIf}
  ClearErrors
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  ${GetSize} "$INSTDIR" "/S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $0
  !insertmacro CheckStep "$(FailEntry)"
SectionEnd

; Removes a feature value only when the setup created it (the entry's record) and it still holds
; what the setup wrote: a value that was there before, or was changed since, is someone's choice
; and stays. Read before the entry goes.
!macro RemoveFeature feature value record
  ClearErrors
  ReadRegDWORD $0 HKCU "${UNINST_KEY}" "${record}"
  ${IfNot} ${Errors}
  ${AndIf} $0 = 1
    ClearErrors
    ReadRegDWORD $0 HKCU "${FEATURES}\${feature}" "${EXE}"
    ${IfNot} ${Errors}
    ${AndIf} $0 = ${value}
      DeleteRegValue HKCU "${FEATURES}\${feature}" "${EXE}"
    ${EndIf}
  ${EndIf}
!macroend

Section "Uninstall"
  Call un.WaitUntilClosed
  Call un.ReadRecord
  ; Checked: the program may have been started again since WaitUntilClosed. Nothing else is
  ; removed then, so that the entry, the shortcuts and the settings still go with a program
  ; that is there.
  System::Call 'kernel32::DeleteFileW(w "$INSTDIR\${EXE}") i .r0 ?e'
  Pop $1
  ${If} $0 = 0
  ${AndIf} $1 <> 2 ; ERROR_FILE_NOT_FOUND: gone already
  ${AndIf} $1 <> 3 ; ERROR_PATH_NOT_FOUND
    MessageBox MB_OK|MB_ICONSTOP "$(CannotRemove)" /SD IDOK
    SetErrorLevel 2
    Abort "$(CannotRemove)"
  ${EndIf}
  Delete "$INSTDIR\${GUIDE}"
  ${If} $Recorded != ""
    StrCpy $HashPath "$INSTDIR\config.ini"
    Call un.Sha256
    ${If} $Hash == $Recorded
      Delete "$INSTDIR\config.ini"
    ${EndIf}
  ${EndIf}
  Delete "$INSTDIR\${UNINSTALLER}"
  ; The shortcuts, the entry and the feature values belong to the folder the entry names: a
  ; later install elsewhere has taken them over.
  ${If} $Owned = 1
    Delete "$DESKTOP\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "${DIAGNOSE_LINK}"
    Delete "${GUIDE_LINK}"
    !insertmacro RemoveFeature FEATURE_GPU_RENDERING ${GPU_RENDERING} CreatedGpuRendering
    !insertmacro RemoveFeature FEATURE_BROWSER_EMULATION ${BROWSER_EMULATION} CreatedBrowserEmulation
    DeleteRegKey HKCU "${UNINST_KEY}"
  ${EndIf}
  RMDir "$INSTDIR"
SectionEnd

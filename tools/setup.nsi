; Setup program for players: installs Orvane.exe and config.ini for the current user (no
; elevation), with a desktop and a Start-menu shortcut, an uninstaller and an entry in the
; installed apps. Compiled by tools/release.sh (makensis -INPUTCHARSET UTF8), which passes:
;   VERSION, PRODUCT, PUBLISHER, COPYRIGHT  read back from the executable's version resource
;   STAGE    folder holding the Orvane.exe and config.ini to install
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

LangString RunningSetup ${LANG_SIMPCHINESE} "${PRODUCT} 正在运行，现在无法更新。$\r$\n$\r$\n\
请先退出 ${PRODUCT}（如果只剩托盘图标，请单击托盘图标打开游戏窗口，再关闭它），然后单击“重试”。$\r$\n\
单击“取消”退出安装，已安装的文件不会有任何改动。"
LangString RunningUninstall ${LANG_SIMPCHINESE} "${PRODUCT} 正在运行，现在无法卸载。$\r$\n$\r$\n\
请先退出 ${PRODUCT}（如果只剩托盘图标，请单击托盘图标打开游戏窗口，再关闭它），然后单击“重试”。$\r$\n\
单击“取消”退出卸载，已安装的文件不会有任何改动。"
LangString Unchanged ${LANG_SIMPCHINESE} "${PRODUCT} 正在运行：已取消，没有做任何改动。"
LangString ConfigKept ${LANG_SIMPCHINESE} "config.ini 安装后已被修改，保留原文件。"

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

!macro SharedFunctions un running
; Waits until $INSTDIR\Orvane.exe can be replaced or removed, asking the player to close the
; program; Cancel (the silent setup's answer) ends the run before anything is changed, with
; exit code 3 (other failures end with NSIS's 2), so that a deployment tool can try again later.
; A program that runs has its image mapped, and Windows refuses to open a mapped image for
; writing: so a failed write-open of the installed exe is exactly "it is running from here".
Function ${un}WaitUntilClosed
  Push $0
  retry:
  ${If} ${FileExists} "$INSTDIR\${EXE}"
    ClearErrors
    FileOpen $0 "$INSTDIR\${EXE}" a
    ${If} ${Errors}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(${running})" /SD IDCANCEL IDRETRY retry
      Pop $0
      SetErrorLevel 3
      Abort "$(Unchanged)"
    ${EndIf}
    FileClose $0
  ${EndIf}
  Pop $0
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
!insertmacro SharedFunctions "" RunningSetup
!insertmacro SharedFunctions "un." RunningUninstall

Section
  Call WaitUntilClosed
  Call ReadRecord
  SetOutPath "$INSTDIR"
  File "${STAGE}\${EXE}"

  ; config.ini: a new one unless the one here was changed (or has no record, see the top).
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

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ; The shortcuts' working folder is the current output folder.
  CreateShortCut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\${EXE}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}"

  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${EXE}"
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  ${GetSize} "$INSTDIR" "/S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  ${If} $Recorded != ""
    WriteRegStr HKCU "${UNINST_KEY}" "ConfigSha256" $Recorded
  ${Else}
    DeleteRegValue HKCU "${UNINST_KEY}" "ConfigSha256"
  ${EndIf}
SectionEnd

Section "Uninstall"
  Call un.WaitUntilClosed
  Call un.ReadRecord
  Delete "$INSTDIR\${EXE}"
  ${If} $Recorded != ""
    StrCpy $HashPath "$INSTDIR\config.ini"
    Call un.Sha256
    ${If} $Hash == $Recorded
      Delete "$INSTDIR\config.ini"
    ${EndIf}
  ${EndIf}
  Delete "$INSTDIR\${UNINSTALLER}"
  ; The shortcuts and the entry belong to the folder the entry names: a later install
  ; elsewhere has taken them over.
  ${If} $Owned = 1
    Delete "$DESKTOP\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegKey HKCU "${UNINST_KEY}"
  ${EndIf}
  RMDir "$INSTDIR"
SectionEnd

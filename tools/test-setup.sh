#!/usr/bin/env bash
# The players' setup program under Wine (called by test.sh): the 64-bit twin of the release
# setup (ORVANE_TEST_SETUP=1 bash tools/release.sh; this kernel runs no 32-bit code) installs,
# upgrades, meets a running program, a program file it cannot write or remove, a failing step, a
# second setup and the browser's feature values set before it, and uninstalls, in a fresh prefix. Everything, HOME and the desktop included, stays in
# build/setup-test. The checks look at files, shortcuts and the registry, and at the exit codes
# of the silent setup and of the uninstaller run in place (_?=, so that it is the process
# waited for; in place it cannot delete its own uninstall.exe). The 64-bit test build's
# Orvane.exe (build/test) stands in for the running program.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a bash "$0" "$@"
fi
cd "$root"
work="$root/build/setup-test"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
running_exe="$root/build/test/Orvane.exe"
[ -f "$running_exe" ] || { echo "setup test: build the test preset first ($running_exe)"; exit 1; }

rm -rf "$work"
mkdir -p "$work/home/Desktop" "$work/expect"
started=$(date +%s)
passed=0
failed=0
check() {  # check <what> <command...>
  local what="$1"
  shift
  if "$@" >"$work/check.log" 2>&1; then
    echo "-- passed: $what"
    passed=$((passed + 1))
  else
    sed 's/^/   /' "$work/check.log"
    echo "-- FAILED: $what"
    failed=$((failed + 1))
  fi
}

ORVANE_TEST_SETUP=1 ORVANE_DIST_DIR="$work/dist" bash tools/release.sh >"$work/release.log" 2>&1 || {
  cat "$work/release.log"; echo "setup test: the release did not build"; exit 1; }
setup="$(echo "$work"/dist/test/Orvane-*-setup-amd64.exe)"
# What an install must hold: the zip's program, config.ini and players' guide, and the setup's
# own uninstaller.
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2], ["Orvane.exe", "config.ini", "PLAYERS.txt"])' \
  "$work"/dist/Orvane-*-win32.zip "$work/expect"
# The names the setup was built with, as the release read them from the version resource.
{ read -r _; read -r product; read -r publisher; read -r copyright; } < <(python3 tools/versioninfo.py "$root/build/release/Orvane.exe")
[ -n "$product" ] || { echo "setup test: no product name from build/release/Orvane.exe"; exit 1; }
export PRODUCT="$product" PUBLISHER="$publisher"
(cd "$work/expect" && 7zz e -y "$setup" uninstall.exe >/dev/null) || { echo "setup test: 7zz found no uninstaller"; exit 1; }
version="$(basename "$setup" | sed 's/^Orvane-\(.*\)-setup-amd64.exe$/\1/')"

# The prefix. Every Wine command runs with its output in a file: Wine's service processes
# inherit it and would otherwise hold the caller's pipe open.
export HOME="$work/home" WINEPREFIX="$work/wineprefix" WINEDEBUG=-all LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
w() { "$WINE" "$@" </dev/null >>"$work/wine.log" 2>&1; }
w wineboot -i
"$WINESERVER" -w
"$WINESERVER" -p  # one server for all the runs below
cp "$setup" "$WINEPREFIX/drive_c/setup.exe"
user="$(basename "$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -1)")"
default_win="C:\\users\\$user\\AppData\\Local\\Programs\\$product"
default_dir="$WINEPREFIX/drive_c/users/$user/AppData/Local/Programs/$product"
# A folder a player may well choose: spaces, Chinese letters and an apostrophe.
other_win="C:\\玩家 游戏\\Bob's Orvane 测试"
other_dir="$WINEPREFIX/drive_c/玩家 游戏/Bob's Orvane 测试"
desktop_lnk="$HOME/Desktop/$product.lnk"
programs="$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
start_lnk="$programs/$product.lnk"
diagnose_lnk="$programs/$product 诊断.lnk"
guide_lnk="$programs/$product 玩家指南.lnk"
# Each shortcut with the file it starts (in the install folder) and its arguments.
links=("$desktop_lnk|Orvane.exe|" "$start_lnk|Orvane.exe|" "$diagnose_lnk|Orvane.exe|/diagnose"
       "$guide_lnk|PLAYERS.txt|")
key="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"

# The checks: shortcuts read from their binary form, the entry from `reg export` (UTF-16).
cat >"$work/setupcheck.py" <<'EOF'
import hashlib, os, re, struct, sys

def shortcut(path):
    """(target, working folder, arguments) of a .lnk: the target from its item list, whose file-system
    items carry their long names in UTF-16 (the ANSI path beside it loses Chinese letters)."""
    data = open(path, "rb").read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    pos, parts = 0x4C, []
    if flags & 0x1:
        size = struct.unpack_from("<H", data, pos)[0]
        at, pos = pos + 2, pos + 2 + size
        while True:
            n = struct.unpack_from("<H", data, at)[0]
            if n == 0:
                break
            item, kind = data[at:at + n], data[at + 2]
            if kind & 0x70 == 0x20:  # drive, "C:\" in ASCII
                parts.append(item[3:].split(b"\0")[0].decode("ascii").rstrip("\\"))
            elif kind & 0x70 == 0x30:  # folder or file: long name ends just before the last word
                end = n - 4
                start = end
                while start >= 2 and item[start - 2:start] != b"\0\0":
                    start -= 2
                parts.append(item[start:end].decode("utf-16-le"))
            at += n
    if flags & 0x2:  # link info
        pos += struct.unpack_from("<I", data, pos)[0]
    strings = {}
    for bit, name in ((0x4, "name"), (0x8, "relative"), (0x10, "workdir"), (0x20, "args"), (0x40, "icon")):
        if flags & bit:
            n = struct.unpack_from("<H", data, pos)[0]
            # Wine counts the terminating zero as well.
            strings[name] = data[pos + 2:pos + 2 + 2 * n].decode("utf-16-le").rstrip("\0")
            pos += 2 + 2 * n
    return "\\".join(parts), strings.get("workdir", ""), strings.get("args", "")

def registry(path):
    """Values of the one key in a `reg export` file, or None when there is no file."""
    if not os.path.exists(path):
        return None
    values = {}
    for line in open(path, "rb").read().decode("utf-16").splitlines():
        m = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line)
        if not m:
            continue
        name, value = m.group(1), m.group(2)
        if value.startswith("dword:"):
            values[name] = int(value[6:], 16)
        else:
            values[name] = re.sub(r"\\(.)", r"\1", value[1:-1])
    return values

def sha256(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()

def same(a, b):
    return open(a, "rb").read() == open(b, "rb").read()

problems = []
def expect(ok, what):
    if not ok:
        problems.append(what)

command, args = sys.argv[1], sys.argv[2:]
regs = os.environ.get("REGDIR", "")
entry = registry(os.path.join(regs, "entry.reg"))
features = {name: (registry(os.path.join(regs, name + ".reg")) or {}).get("Orvane.exe")
            for name in ("FEATURE_GPU_RENDERING", "FEATURE_BROWSER_EMULATION")}
# Feature values as "<FEATURE_GPU_RENDERING> <FEATURE_BROWSER_EMULATION>", "-" for none.
def feature_values(text):
    gpu, emulation = (None if v == "-" else int(v) for v in text.split())
    return {"FEATURE_GPU_RENDERING": gpu, "FEATURE_BROWSER_EMULATION": emulation}

if command == "installed":
    # installed <dir> <win dir> <expect dir> <config to find> <version> <feature values>
    #   <the entry's CreatedGpuRendering and CreatedBrowserEmulation, "-" for none> <lnk|file|args>...
    folder, win, expect_dir, config, version, wanted_features, created, *links = args
    expect(sorted(os.listdir(folder)) == ["Orvane.exe", "PLAYERS.txt", "config.ini", "uninstall.exe"],
           "files in %s: %s" % (folder, sorted(os.listdir(folder))))
    for name in ("Orvane.exe", "PLAYERS.txt", "uninstall.exe"):
        expect(same(os.path.join(folder, name), os.path.join(expect_dir, name)), name + " is not the release's")
    expect(same(os.path.join(folder, "config.ini"), config), "config.ini is not " + config)
    exe = win + "\\Orvane.exe"
    for item in links:
        link, name, wanted_args = item.split("|")
        if not os.path.exists(link):
            expect(False, link + " is missing")
            continue
        target, workdir, link_args = shortcut(link)
        wanted = win + "\\" + name
        expect(target.lower() == wanted.lower(), "%s targets %r, not %r" % (link, target, wanted))
        expect(workdir.lower() == win.lower(), "%s works in %r, not %r" % (link, workdir, win))
        expect(link_args == wanted_args, "%s passes %r, not %r" % (link, link_args, wanted_args))
    values = entry or {}
    uninstaller = '"%s\\uninstall.exe"' % win
    # Every install here starts from the release's config.ini: the record names it, also when
    # a changed file was kept.
    wanted = {"DisplayName": os.environ["PRODUCT"], "DisplayVersion": version, "Publisher": os.environ["PUBLISHER"],
              "DisplayIcon": exe, "InstallLocation": win, "UninstallString": uninstaller,
              "QuietUninstallString": uninstaller + " /S", "NoModify": 1, "NoRepair": 1,
              "ConfigSha256": sha256(os.path.join(expect_dir, "config.ini"))}
    for name, value in wanted.items():
        expect(values.get(name) == value, "%s is %r, not %r" % (name, values.get(name), value))
    size = sum(os.path.getsize(os.path.join(folder, f)) for f in os.listdir(folder)) // 1024
    expect(values.get("EstimatedSize") in (size, size + 1),
           "EstimatedSize is %r, the files take %d KB" % (values.get("EstimatedSize"), size))
    wanted = feature_values(wanted_features)
    expect(features == wanted, "feature values %r, not %r" % (features, wanted))
    for name, record in zip(("CreatedGpuRendering", "CreatedBrowserEmulation"), created.split()):
        record = None if record == "-" else int(record)
        expect(values.get(name) == record, "%s is %r, not %r" % (name, values.get(name), record))
elif command == "removed":
    # removed <dir> <config left or "-"> <feature values left> <lnk|file|args>...
    # The uninstaller ran in place, so its own file is left.
    folder, config, left_features, *links = args
    left = sorted(os.listdir(folder)) if os.path.isdir(folder) else None
    wanted = ["uninstall.exe"] if config == "-" else ["config.ini", "uninstall.exe"]
    expect(left == wanted, "left in %s: %s, not %s" % (folder, left, wanted))
    if config != "-" and left == wanted:
        expect(same(os.path.join(folder, "config.ini"), config), "config.ini is not " + config)
    expect(entry is None, "the uninstall entry is still there: %r" % entry)
    wanted = feature_values(left_features)
    expect(features == wanted, "feature values %r, not %r" % (features, wanted))
    for item in links:
        link = item.split("|")[0]
        expect(not os.path.exists(link), link + " is still there")
elif command == "value":
    # value <name>: prints the entry's value
    print((entry or {}).get(args[0], ""))
    sys.exit(0)
elif command == "sha256":
    print(sha256(args[0]))
    sys.exit(0)
for p in problems:
    print(p)
sys.exit(1 if problems else 0)
EOF
sc() { REGDIR="$WINEPREFIX/drive_c" python3 "$work/setupcheck.py" "$@"; }
features='HKCU\Software\Microsoft\Internet Explorer\Main\FeatureControl'
export_keys() {
  rm -f "$WINEPREFIX"/drive_c/*.reg
  w reg export "$key" 'C:\entry.reg'
  w reg export "$features\FEATURE_GPU_RENDERING" 'C:\FEATURE_GPU_RENDERING.reg'
  w reg export "$features\FEATURE_BROWSER_EMULATION" 'C:\FEATURE_BROWSER_EMULATION.reg'
}
# installed <dir> <win dir> <config.ini it must hold> [<feature values> <their records>]: by
# default both values as the setup writes them, and recorded as its own.
installed() {
  export_keys
  sc installed "$1" "$2" "$work/expect" "$3" "$version" "${4:-1 11000}" "${5:-1 1}" "${links[@]}"
}
removed() {  # removed <dir> <config.ini left, or -> [<feature values left>]
  export_keys
  sc removed "$1" "$2" "${3:-- -}" "${links[@]}"
}
# Runs the silent setup or (with a folder) the uninstaller in place; its exit code goes to $rc.
setup_rc() { rc=0; "$WINE" 'C:\setup.exe' /S </dev/null >>"$work/wine.log" 2>&1 || rc=$?; }
# _?= is taken only unquoted, and a folder with spaces would be quoted: cmd runs it from there.
uninstall_rc() { rc=0; "$WINE" cmd /c "cd /d $1 && uninstall.exe /S _?=$1" </dev/null >>"$work/wine.log" 2>&1 || rc=$?; }
exit_code() {  # exit_code <expected>
  [ "$rc" = "$1" ] || { echo "exit code $rc, not $1"; return 1; }
}
# Marks that any write would undo: an older version in the entry, no Start-menu shortcut.
mark() {
  w reg add "$key" /v DisplayVersion /d 0.0.0.1 /f
  rm -f "$start_lnk"
}
# untouched <exit code> <Orvane.exe it must still be, or "folder"> [uninstaller]: nothing the
# setup writes was written; with "uninstaller", nothing it removes was removed either.
untouched() {
  export_keys
  local problems=0
  exit_code "$1" || problems=1
  if [ "$2" = folder ]; then
    [ -d "$default_dir/Orvane.exe" ] || { echo "Orvane.exe is no longer a folder"; problems=1; }
  else
    cmp -s "$default_dir/Orvane.exe" "$2" || { echo "Orvane.exe was replaced"; problems=1; }
  fi
  cmp -s "$default_dir/config.ini" "$work/changed.ini" || { echo "config.ini was changed"; problems=1; }
  [ "$(sc value DisplayVersion)" = 0.0.0.1 ] || { echo "the uninstall entry was written"; problems=1; }
  if [ "${3:-}" = uninstaller ]; then
    [ -e "$desktop_lnk" ] || { echo "the desktop shortcut was removed"; problems=1; }
    [ -e "$guide_lnk" ] || { echo "the guide's shortcut was removed"; problems=1; }
    [ -e "$default_dir/uninstall.exe" ] || { echo "uninstall.exe was removed"; problems=1; }
  else
    [ ! -e "$start_lnk" ] || { echo "the Start-menu shortcut was written again"; problems=1; }
  fi
  return $problems
}

# A small helper compiled here: with a name, whether that mutex exists (exit code 0); with
# "mutex <name> <marker>" it holds that mutex, with "file <path> <marker>" it holds the file open
# for reading, sharing reads and writes but not deletion; either writes <marker> once it holds
# it and then waits to be killed.
cat >"$work/probe.c" <<'EOF'
#include <windows.h>
int wmain(int argc, wchar_t** argv) {
  if (argc == 2) {
    HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, argv[1]);
    if (!h) return 1;
    CloseHandle(h);
    return 0;
  }
  if (argc != 4) return 2;
  HANDLE h = lstrcmpW(argv[1], L"mutex") == 0
      ? CreateMutexW(NULL, TRUE, argv[2])
      : CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
  if (!h || h == INVALID_HANDLE_VALUE) return 3;
  HANDLE marker = CreateFileW(argv[3], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (marker == INVALID_HANDLE_VALUE) return 4;
  CloseHandle(marker);
  Sleep(300000);
  return 0;
}
EOF
x86_64-w64-mingw32-gcc -municode -O2 -o "$WINEPREFIX/drive_c/probe.exe" "$work/probe.c" || { echo "setup test: no probe"; exit 1; }
mutex_held() { "$WINE" 'C:\probe.exe' "Local\\$product-setup" </dev/null >>"$work/wine.log" 2>&1; }
# hold <mutex|file> <name>: starts a holder in the background ($holder), back once it holds.
hold() {
  rm -f "$WINEPREFIX/drive_c/held"
  "$WINE" 'C:\probe.exe' "$1" "$2" 'C:\held' </dev/null >>"$work/wine.log" 2>&1 &
  holder=$!
  for _ in $(seq 60); do [ -e "$WINEPREFIX/drive_c/held" ] && return 0; sleep 0.5; done
  echo "setup test: the holder of $2 did not start"
  return 1
}
release_hold() { kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null; }

echo "== setup: install and uninstall beside feature values set before, in a folder with spaces, Chinese letters and an apostrophe"
# Set by the player or another tool before any setup ran: one equal to the setup's own value,
# one not. Both stay exactly as they were, through the install and the uninstall.
w reg add "$features\\FEATURE_GPU_RENDERING" /v Orvane.exe /t REG_DWORD /d 1 /f
w reg add "$features\\FEATURE_BROWSER_EMULATION" /v Orvane.exe /t REG_DWORD /d 10001 /f
# /D= must come last and unquoted, so the command line goes through cmd.
rc=0
"$WINE" cmd /c "C:\\setup.exe /S /D=$other_win" </dev/null >>"$work/wine.log" 2>&1 || rc=$?
check "installed into $other_win with the guide and four shortcuts; the values there before are kept, recorded as found" \
  eval 'exit_code 0 && installed "$other_dir" "$other_win" "$work/expect/config.ini" "1 10001" "0 0"'
uninstall_rc "$other_win"
check "uninstall exits with 0, removes the guide, the shortcuts and the entry, and keeps both values" \
  eval 'exit_code 0 && removed "$other_dir" - "1 10001"'
w reg delete "$features\\FEATURE_GPU_RENDERING" /v Orvane.exe /f
w reg delete "$features\\FEATURE_BROWSER_EMULATION" /v Orvane.exe /f

echo "== setup: silent install into the default folder"
setup_rc
check "installed into %LOCALAPPDATA%\\Programs\\$product, the feature values created and recorded" \
  eval 'exit_code 0 && installed "$default_dir" "$default_win" "$work/expect/config.ini"'

echo "== setup: upgrade over an older install whose config.ini was not changed"
# An older setup's program and config.ini, and its record of that config.ini; it kept no
# record of the feature values it wrote.
printf 'an older Orvane.exe' >"$default_dir/Orvane.exe"
printf '[mw]\r\nclient_web=http://old.example.com/\r\n' >"$default_dir/config.ini"
w reg add "$key" /v ConfigSha256 /d "$(sc sha256 "$default_dir/config.ini")" /f
w reg delete "$key" /v CreatedGpuRendering /f
w reg delete "$key" /v CreatedBrowserEmulation /f
setup_rc
check "the program and the unchanged config.ini are replaced, and recorded; the older setup's feature values taken as the setup's" \
  eval 'exit_code 0 && installed "$default_dir" "$default_win" "$work/expect/config.ini"'

echo "== setup: upgrade over an install whose config.ini was changed"
printf 'client_web=http://play.example.com/\r\n' >>"$default_dir/config.ini"
cp "$default_dir/config.ini" "$work/changed.ini"
printf 'an older Orvane.exe' >"$default_dir/Orvane.exe"
setup_rc
check "the program is replaced, the changed config.ini kept with its record" \
  eval 'exit_code 0 && installed "$default_dir" "$default_win" "$work/changed.ini"'

echo "== setup: the program is running"
cp "$running_exe" "$default_dir/Orvane.exe"
"$WINE" "$default_win\\Orvane.exe" </dev/null >>"$work/wine.log" 2>&1 &
program=$!
is_listed() {
  "$WINE" winedbg --command "info proc" </dev/null >"$work/procs.txt" 2>&1
  grep -q "'Orvane.exe'" "$work/procs.txt"
}
for _ in $(seq 40); do is_listed && break; sleep 0.5; done
sleep 1  # past its start-up: its launcher window is up
mark
setup_rc
check "the silent setup exits with 3 and changes nothing" eval \
  'kill -0 "$program" && untouched 3 "$running_exe"'
uninstall_rc "$default_win"
check "the uninstaller exits with 3 and removes nothing" untouched 3 "$running_exe" uninstaller
kill "$program"
wait "$program" 2>/dev/null

echo "== setup: an Orvane.exe that cannot be opened for writing, a step that fails"
# A folder in the program's place fails to open without a sharing violation (as a file the
# player may not write does): no waiting for a program that is not running.
rm -f "$default_dir/Orvane.exe"
mkdir "$default_dir/Orvane.exe"
setup_rc
check "the silent setup exits with 2 and changes nothing" untouched 2 folder
uninstall_rc "$default_win"
check "the uninstaller exits with 2 and removes nothing" untouched 2 folder uninstaller
rmdir "$default_dir/Orvane.exe"
printf 'an older Orvane.exe' >"$default_dir/Orvane.exe"
cp "$default_dir/Orvane.exe" "$work/older.exe"
# The uninstaller cannot be written: the run stops before the program is replaced.
mv "$default_dir/uninstall.exe" "$work/uninstall.exe"
mkdir "$default_dir/uninstall.exe"
setup_rc
check "a failed step ends with 2 and leaves the old program with the old entry" untouched 2 "$work/older.exe"
rmdir "$default_dir/uninstall.exe"
mv "$work/uninstall.exe" "$default_dir/uninstall.exe"

echo "== setup: a second setup while one runs"
# The first one waits on its folder page.
"$WINE" 'C:\setup.exe' </dev/null >>"$work/wine.log" 2>&1 &
first=$!
for _ in $(seq 40); do mutex_held && break; sleep 0.5; done
setup_rc
check "the silent setup exits with 4 and changes nothing" eval \
  'if mutex_held; then untouched 4 "$work/older.exe"; else echo "the setup on its folder page holds no lock"; false; fi'
uninstall_rc "$default_win"
check "the uninstaller exits with 4 and removes nothing" untouched 4 "$work/older.exe" uninstaller
kill "$first"
wait "$first" 2>/dev/null
for _ in $(seq 20); do mutex_held || break; sleep 0.5; done

setup_rc
check "then the setup installs" eval 'exit_code 0 && installed "$default_dir" "$default_win" "$work/changed.ini"'

echo "== setup: Orvane.exe cannot be removed after the check that it is not running"
# Opened by another program that shares reading and writing but not deletion: the uninstaller's
# check passes (as it would just before the program starts again), then the removal fails.
hold file "$default_win\\Orvane.exe"
uninstall_rc "$default_win"
check "the uninstaller exits with 2 and removes nothing: files, shortcuts, entry, feature values" \
  eval 'exit_code 2 && installed "$default_dir" "$default_win" "$work/changed.ini"'
release_hold

echo "== setup: uninstall keeps the changed config.ini and a changed feature value"
w reg add "$features\\FEATURE_BROWSER_EMULATION" /v Orvane.exe /t REG_DWORD /d 11001 /f
uninstall_rc "$default_win"
check "only the changed config.ini and the changed value are left; the one created three installs ago is removed" \
  eval 'exit_code 0 && removed "$default_dir" "$work/changed.ini" "- 11001"'

echo "== setup: a product name with a quote and a backtick"
# The same script built with such a name: its mutex must be the one named after it, so the setup
# meets a holder of that mutex and stops with 4 instead of installing.
quoted="${product:0:1}'\`${product:3}"
mkdir -p "$work/quoted"
cp "$work/expect/Orvane.exe" "$work/expect/config.ini" "$work/expect/PLAYERS.txt" "$work/quoted/"
makensis -V2 -INPUTCHARSET UTF8 -DTARGET=amd64-unicode -DVERSION="$version" -DPRODUCT="$quoted" \
  -DPUBLISHER="$publisher" -DCOPYRIGHT="$copyright" -DSTAGE="$work/quoted" -DICON="$root/res/art/orvane.ico" \
  -DOUTFILE="$WINEPREFIX/drive_c/quoted.exe" tools/setup.nsi >"$work/quoted.log" 2>&1 || cat "$work/quoted.log"
quoted_dir="$WINEPREFIX/drive_c/users/$user/AppData/Local/Programs/$quoted"
hold mutex "Local\\$quoted-setup"
rc=0
"$WINE" 'C:\quoted.exe' /S </dev/null >>"$work/wine.log" 2>&1 || rc=$?
check "the setup of $quoted exits with 4 while its mutex is held, and installs nothing" \
  eval 'exit_code 4 && { [ ! -e "$quoted_dir" ] || { echo "it installed into $quoted_dir"; false; }; }'
release_hold

"$WINESERVER" -k 2>/dev/null
echo "setup: $passed passed, $failed failed ($(( $(date +%s) - started )) s)"
[ "$failed" = 0 ]

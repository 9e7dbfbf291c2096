#!/usr/bin/env bash
# The players' setup program under Wine (called by test.sh): the 64-bit twin of the release
# setup (ORVANE_TEST_SETUP=1 bash tools/release.sh; this kernel runs no 32-bit code) installs,
# upgrades, meets a running program and uninstalls in a fresh prefix. Everything, HOME and the
# desktop included, stays in build/setup-test. Wine's exit codes prove little here: the checks
# look at files, shortcuts and the registry (the one exit code checked is the silent setup's
# refusal while the program runs, which Wine passes on reliably when the setup is started directly).
# The 64-bit test build's Orvane.exe (build/test) stands in for the running program.
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
# What an install must hold: the zip's program and config.ini, and the setup's own uninstaller.
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2], ["Orvane.exe", "config.ini"])' \
  "$work"/dist/Orvane-*-win32.zip "$work/expect"
(cd "$work/expect" && 7zz e -y "$setup" uninstall.exe >/dev/null) || { echo "setup test: 7zz found no uninstaller"; exit 1; }
version="$(basename "$setup" | sed 's/^Orvane-\(.*\)-setup-amd64.exe$/\1/')"

# The prefix. Every Wine command runs with its output in a file: Wine's service processes
# inherit it and would otherwise hold the caller's pipe open.
export HOME="$work/home" WINEPREFIX="$work/wineprefix" WINEDEBUG=-all LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
w() { "$WINE" "$@" </dev/null >>"$work/wine.log" 2>&1; }
w wineboot -i
"$WINESERVER" -w
cp "$setup" "$WINEPREFIX/drive_c/setup.exe"
user="$(basename "$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -1)")"
default_win="C:\\users\\$user\\AppData\\Local\\Programs\\Orvane"
default_dir="$WINEPREFIX/drive_c/users/$user/AppData/Local/Programs/Orvane"
other_win='C:\玩家 游戏\Orvane 测试'
other_dir="$WINEPREFIX/drive_c/玩家 游戏/Orvane 测试"
desktop_lnk="$HOME/Desktop/Orvane.lnk"
start_lnk="$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Orvane.lnk"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvane'

# The checks: shortcuts read from their binary form, the entry from `reg export` (UTF-16).
cat >"$work/setupcheck.py" <<'EOF'
import hashlib, os, re, struct, sys

def shortcut(path):
    """(target, working folder) of a .lnk: the target from its item list, whose file-system
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
    return "\\".join(parts), strings.get("workdir", "")

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

def same(a, b):
    return open(a, "rb").read() == open(b, "rb").read()

problems = []
def expect(ok, what):
    if not ok:
        problems.append(what)

command, args = sys.argv[1], sys.argv[2:]
if command == "installed":
    # installed <dir> <win dir> <reg file> <expect dir> <config to find> <version> <lnk>...
    folder, win, reg, expect_dir, config, version, *links = args
    expect(sorted(os.listdir(folder)) == ["Orvane.exe", "config.ini", "uninstall.exe"],
           "files in %s: %s" % (folder, sorted(os.listdir(folder))))
    for name in ("Orvane.exe", "uninstall.exe"):
        expect(same(os.path.join(folder, name), os.path.join(expect_dir, name)), name + " is not the release's")
    expect(same(os.path.join(folder, "config.ini"), config), "config.ini is not " + config)
    exe = win + "\\Orvane.exe"
    for link in links:
        target, workdir = shortcut(link)
        expect(target.lower() == exe.lower(), "%s targets %r, not %r" % (link, target, exe))
        expect(workdir.lower() == win.lower(), "%s works in %r, not %r" % (link, workdir, win))
    values = registry(reg) or {}
    uninstaller = '"%s\\uninstall.exe"' % win
    wanted = {"DisplayName": "Orvane", "DisplayVersion": version, "Publisher": "Orvane Studio",
              "DisplayIcon": exe, "InstallLocation": win, "UninstallString": uninstaller,
              "QuietUninstallString": uninstaller + " /S", "NoModify": 1, "NoRepair": 1}
    for name, value in wanted.items():
        expect(values.get(name) == value, "%s is %r, not %r" % (name, values.get(name), value))
    size = sum(os.path.getsize(os.path.join(folder, f)) for f in os.listdir(folder)) // 1024
    expect(values.get("EstimatedSize") in (size, size + 1),
           "EstimatedSize is %r, the files take %d KB" % (values.get("EstimatedSize"), size))
elif command == "removed":
    # removed <dir> <reg file> <config left or "-"> <lnk>...
    folder, reg, config, *links = args
    if config == "-":
        expect(not os.path.exists(folder), "%s is still there: %s" % (folder, os.path.exists(folder) and os.listdir(folder)))
    else:
        left = sorted(os.listdir(folder)) if os.path.isdir(folder) else None
        expect(left == ["config.ini"], "left in %s: %s" % (folder, left))
        expect(left != ["config.ini"] or same(os.path.join(folder, "config.ini"), config), "config.ini is not " + config)
    expect(registry(reg) is None, "the uninstall entry is still there")
    for link in links:
        expect(not os.path.exists(link), link + " is still there")
elif command == "value":
    # value <reg file> <name>: prints it
    print((registry(args[0]) or {}).get(args[1], ""))
    sys.exit(0)
elif command == "sha256":
    print(hashlib.sha256(open(args[0], "rb").read()).hexdigest())
    sys.exit(0)
for p in problems:
    print(p)
sys.exit(1 if problems else 0)
EOF
sc() { python3 "$work/setupcheck.py" "$@"; }
export_key() { rm -f "$WINEPREFIX/drive_c/entry.reg"; w reg export "$key" 'C:\entry.reg'; }
installed() {  # installed <dir> <win dir> <config.ini it must hold>
  export_key
  sc installed "$1" "$2" "$WINEPREFIX/drive_c/entry.reg" "$work/expect" "$3" "$version" "$desktop_lnk" "$start_lnk"
}
removed() {  # removed <dir> <config.ini left, or -> [shortcuts that must be gone...]
  export_key
  sc removed "$1" "$WINEPREFIX/drive_c/entry.reg" "$2" "$desktop_lnk" "$start_lnk"
}

echo "== setup: silent install into a folder with spaces and Chinese letters, then uninstall"
# /D= must come last and unquoted, so the command line goes through cmd.
w cmd /c "C:\\setup.exe /S /D=$other_win"
check "installed into $other_win" installed "$other_dir" "$other_win" "$work/expect/config.ini"
w "$other_win\\uninstall.exe" /S
"$WINESERVER" -w  # the uninstaller works from a copy of itself and returns at once
check "uninstall removed the folder, both shortcuts and the entry" removed "$other_dir" -

echo "== setup: silent install into the default folder"
w 'C:\setup.exe' /S
check "installed into %LOCALAPPDATA%\\Programs\\Orvane" installed "$default_dir" "$default_win" "$work/expect/config.ini"

echo "== setup: upgrade over an older install whose config.ini was not changed"
# An older setup's program and config.ini, and its record of that config.ini.
printf 'an older Orvane.exe' >"$default_dir/Orvane.exe"
printf '[mw]\r\nclient_web=http://old.example.com/\r\n' >"$default_dir/config.ini"
w reg add "$key" /v ConfigSha256 /d "$(sc sha256 "$default_dir/config.ini")" /f
w 'C:\setup.exe' /S
check "the program and the unchanged config.ini are replaced" installed "$default_dir" "$default_win" "$work/expect/config.ini"

echo "== setup: upgrade over an install whose config.ini was changed"
printf 'client_web=http://play.example.com/\r\n' >>"$default_dir/config.ini"
cp "$default_dir/config.ini" "$work/changed.ini"
printf 'an older Orvane.exe' >"$default_dir/Orvane.exe"
w 'C:\setup.exe' /S
check "the program is replaced, the changed config.ini kept" installed "$default_dir" "$default_win" "$work/changed.ini"

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
# Marks that any write would undo: an older version in the entry, no Start-menu shortcut.
w reg add "$key" /v DisplayVersion /d 0.0.0.1 /f
rm -f "$start_lnk"
rc=0
"$WINE" 'C:\setup.exe' /S </dev/null >>"$work/wine.log" 2>&1 || rc=$?
refused() {
  export_key
  local problems=0
  kill -0 "$program" || { echo "the program is no longer running"; problems=1; }
  [ "$rc" = 3 ] || { echo "the silent setup exited with $rc, not 3"; problems=1; }
  cmp -s "$default_dir/Orvane.exe" "$running_exe" || { echo "Orvane.exe was replaced"; problems=1; }
  cmp -s "$default_dir/config.ini" "$work/changed.ini" || { echo "config.ini was changed"; problems=1; }
  [ ! -e "$start_lnk" ] || { echo "the Start-menu shortcut was written again"; problems=1; }
  [ "$(sc value "$WINEPREFIX/drive_c/entry.reg" DisplayVersion)" = 0.0.0.1 ] || { echo "the uninstall entry was written"; problems=1; }
  return $problems
}
check "the silent setup exits with $rc and changes nothing" refused
# The uninstaller run in place (_?=) waits for itself: it must leave everything as it is.
w "$default_win\\uninstall.exe" /S "_?=$default_win"
kept_all() {
  export_key
  [ "$(sc value "$WINEPREFIX/drive_c/entry.reg" DisplayVersion)" = 0.0.0.1 ] && [ -e "$desktop_lnk" ] &&
    cmp -s "$default_dir/Orvane.exe" "$running_exe" && [ -e "$default_dir/uninstall.exe" ] &&
    cmp -s "$default_dir/config.ini" "$work/changed.ini"
}
check "the silent uninstaller leaves the install alone" kept_all
kill "$program"
wait "$program" 2>/dev/null
w 'C:\setup.exe' /S
check "once the program has ended, the setup installs" installed "$default_dir" "$default_win" "$work/changed.ini"

echo "== setup: uninstall keeps the changed config.ini"
w "$default_win\\uninstall.exe" /S
"$WINESERVER" -w
check "only the changed config.ini is left" removed "$default_dir" "$work/changed.ini"

"$WINESERVER" -k 2>/dev/null
echo "setup: $passed passed, $failed failed ($(( $(date +%s) - started )) s)"
[ "$failed" = 0 ]

#!/usr/bin/env bash
# Builds the operators' release from the 32-bit release build:
# - dist/Orvane-<version>-win32.zip: Orvane.exe (stripped; signed when a certificate is given),
#   config.ini, OPERATORS.txt (the text of docs/operators.md), PLAYERS.txt (the players' guide in
#   Simplified Chinese, docs/players-zh.txt) and launcher-page.html;
# - dist/Orvane-<version>-setup.exe: the players' setup program (tools/setup.nsi, Debian's
#   makensis) that installs the same Orvane.exe, config.ini and PLAYERS.txt; signed too when a certificate is
#   given, and so is the uninstaller it writes.
# The version, product name and publisher come from the executable's version resource. Two runs
# from the same commit give the same bytes; the SHA-256 of each is printed at the end and written
# beside it, and so are the versions of the tools the setup's bytes depend on
# (Orvane-<version>-tools.txt: makensis, and osslsigncode with its OpenSSL).
#
# Signing (Authenticode, SHA-256, Debian's osslsigncode):
#   ORVANE_SIGN_PFX            PKCS#12 file with the code-signing certificate and its key
#   ORVANE_SIGN_PASSWORD       its password
#   ORVANE_SIGN_TIMESTAMP_URL  optional RFC 3161 time-stamp server; without it the signing time
#                              is the commit time, so a signed release stays reproducible
# Also: SOURCE_DATE_EPOCH (time of the zip entries and of an untimestamped signature; default
# the commit time), ORVANE_RELEASE_BUILD_DIR (default build/release), ORVANE_DIST_DIR (default
# dist), ORVANE_TEST_SETUP=1 (also compile the setup with NSIS's 64-bit stub into
# <dist>/test/Orvane-<version>-setup-amd64.exe, for the Wine tests: this kernel runs no 32-bit code).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

say() { echo "release: $*"; }
fail() { echo "release: error: $*" >&2; exit 1; }

build_dir="${ORVANE_RELEASE_BUILD_DIR:-build/release}"
dist_dir="${ORVANE_DIST_DIR:-dist}"

# Check the signing settings before anything is built: half a configuration is a mistake.
sign=0
if [ -n "${ORVANE_SIGN_PFX:-}" ] || [ -n "${ORVANE_SIGN_PASSWORD+set}" ]; then
  [ -n "${ORVANE_SIGN_PFX:-}" ] || fail "ORVANE_SIGN_PASSWORD is set but ORVANE_SIGN_PFX is not"
  [ -n "${ORVANE_SIGN_PASSWORD+set}" ] || fail "ORVANE_SIGN_PFX is set but ORVANE_SIGN_PASSWORD is not"
  [ -f "$ORVANE_SIGN_PFX" ] || fail "ORVANE_SIGN_PFX: no such file: $ORVANE_SIGN_PFX"
  # makensis runs its signing commands in the script's folder.
  ORVANE_SIGN_PFX="$(realpath "$ORVANE_SIGN_PFX")"
  sign=1
fi

bash tools/deps.sh release

# The time written into the zip entries (and into an untimestamped signature).
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH="$(git log -1 --format=%ct 2>/dev/null || echo 315532800)"
fi
export SOURCE_DATE_EPOCH

cmake --preset release -B "$build_dir" >/dev/null
cmake --build "$build_dir" --target Orvane
exe="$build_dir/Orvane.exe"

# 32-bit, stripped, no link time; version, product name, publisher and copyright from its
# version resource (one per line), refused when the setup could not use them as they are.
info="$(python3 tools/versioninfo.py "$exe")" || fail "$exe is not a releasable executable"
{ read -r version; read -r product; read -r publisher; read -r copyright; } <<<"$info"

name="Orvane-$version-win32.zip"
zip_path="$dist_dir/$name"
setup_name="Orvane-$version-setup.exe"
setup_path="$dist_dir/$setup_name"
tools_path="$dist_dir/Orvane-$version-tools.txt"
test_setup_path="$dist_dir/test/Orvane-$version-setup-amd64.exe"
mkdir -p "$dist_dir"
# A failed run must not leave an older zip or setup that looks like its result.
rm -f "$zip_path" "$zip_path.sha256" "$setup_path" "$setup_path.sha256" "$tools_path" "$test_setup_path"

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
cp "$exe" "$stage/Orvane.exe"
# Text files get Windows line ends; the players' guide a UTF-8 mark too, by which Notepad (from
# Windows 7 on, whatever the system's code page) reads it as UTF-8.
python3 -c 'import sys; open(sys.argv[2], "wb").write(open(sys.argv[1], "rb").read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n"))' \
  res/config.ini.example "$stage/config.ini"
python3 -c 'import sys; open(sys.argv[2], "wb").write(b"\xef\xbb\xbf" + open(sys.argv[1], "rb").read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n"))' \
  docs/players-zh.txt "$stage/PLAYERS.txt"

if [ "$sign" = 1 ]; then
  (umask 077 && printf '%s' "$ORVANE_SIGN_PASSWORD" >"$stage/password")
  args=(sign -pkcs12 "$ORVANE_SIGN_PFX" -readpass "$stage/password" -h sha256 -n Orvane)
  if [ -n "${ORVANE_SIGN_TIMESTAMP_URL:-}" ]; then
    args+=(-ts "$ORVANE_SIGN_TIMESTAMP_URL")
    how="time-stamped by $ORVANE_SIGN_TIMESTAMP_URL (such a release differs from run to run)"
  else
    args+=(-time "$SOURCE_DATE_EPOCH")
    how="no time stamp; signing time $(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%dT%H:%M:%SZ)"
  fi
  # One command signs a file in place, for Orvane.exe here and for makensis (the setup and the
  # uninstaller inside it). osslsigncode writes only to a new file.
  {
    echo '#!/usr/bin/env bash'
    echo 'set -e'
    printf 'osslsigncode %s -in "$1" -out "$1.signed" >>%q 2>&1\n' "$(printf '%q ' "${args[@]}")" "$stage/sign.log"
    echo 'mv -f "$1.signed" "$1"'
  } >"$stage/sign"
  chmod +x "$stage/sign"
  if ! "$stage/sign" "$stage/Orvane.exe"; then
    sed 's/^/  osslsigncode: /' "$stage/sign.log" >&2
    fail "signing failed: check ORVANE_SIGN_PFX and ORVANE_SIGN_PASSWORD (wrong password, or not a PKCS#12 file with a key), and the time-stamp server if one is set; no zip was written"
  fi
  say "Orvane.exe signed (Authenticode, SHA-256, $how)"
else
  say "Orvane.exe is NOT signed (set ORVANE_SIGN_PFX and ORVANE_SIGN_PASSWORD to sign it)"
fi

# Fixed order, times, permissions and compression: the same inputs give the same bytes.
# OPERATORS.txt gets Windows line ends and a UTF-8 mark so that Notepad reads it right.
python3 - "$stage/$name" "$stage/Orvane.exe" "$stage/config.ini" docs/operators.md \
  "$stage/PLAYERS.txt" docs/launcher-page.html <<'EOF'
import os, sys, time, zipfile
out, exe, config, guide, players, page = sys.argv[1:]
stamp = time.gmtime(int(os.environ["SOURCE_DATE_EPOCH"]))[:6]
stamp = max(stamp, (1980, 1, 1, 0, 0, 0))

def text(path, bom=False):
    data = open(path, "rb").read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    return (b"\xef\xbb\xbf" if bom else b"") + data

entries = [
    ("Orvane.exe", open(exe, "rb").read(), 0o755),
    ("config.ini", text(config), 0o644),
    ("OPERATORS.txt", text(guide, bom=True), 0o644),
    ("PLAYERS.txt", open(players, "rb").read(), 0o644),
    ("launcher-page.html", text(page), 0o644),
]
with zipfile.ZipFile(out, "w") as z:
    for name, data, mode in entries:
        info = zipfile.ZipInfo(name, date_time=stamp)
        info.create_system = 3  # Unix: the permission bits below are meaningful
        info.external_attr = (0o100000 | mode) << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, data, compresslevel=9)
EOF

# The setup: the same script for the release (x86-unicode) and for the tests' 64-bit twin.
makensis_for() {
  local out="$1"
  shift
  local defines=(-DVERSION="$version" -DPRODUCT="$product" -DPUBLISHER="$publisher"
                 -DCOPYRIGHT="$copyright" -DSTAGE="$stage" -DICON="$root/res/art/orvane.ico"
                 -DOUTFILE="$out")
  if [ "$sign" = 1 ]; then
    defines+=(-DSIGN="\"$stage/sign\"")
  fi
  if ! makensis -V2 -INPUTCHARSET UTF8 "${defines[@]}" "$@" tools/setup.nsi >"$stage/makensis.log" 2>&1; then
    sed 's/^/  makensis: /' "$stage/makensis.log" >&2
    [ -s "$stage/sign.log" ] && sed 's/^/  osslsigncode: /' "$stage/sign.log" >&2
    fail "the setup program could not be built; no zip or setup was written"
  fi
}
makensis_for "$stage/$setup_name"
if [ "$sign" = 1 ]; then
  say "$setup_name and the uninstaller it writes signed"
fi
if [ "${ORVANE_TEST_SETUP:-}" = 1 ]; then
  mkdir -p "$dist_dir/test"
  makensis_for "$stage/test-setup.exe" -DTARGET=amd64-unicode
  mv "$stage/test-setup.exe" "$test_setup_path"
  say "wrote $test_setup_path (64-bit stub, for tests only)"
fi

# Who built it: the same commit gives the same bytes only with the same makensis (its stubs
# are inside the setup) and, for a signed release, the same osslsigncode and OpenSSL.
{
  echo "makensis $(makensis -VERSION) (Debian nsis $(dpkg-query -W -f='${Version}' nsis 2>/dev/null || echo unknown))"
  echo "$(osslsigncode --version 2>&1 | head -2 | tr -s '\n\t ' ' ' | sed 's/ $//') (Debian osslsigncode $(dpkg-query -W -f='${Version}' osslsigncode 2>/dev/null || echo unknown))"
  if [ "$sign" = 1 ]; then echo "signed: yes"; else echo "signed: no"; fi
} >"$stage/tools.txt"
mv "$stage/$name" "$zip_path"
mv "$stage/$setup_name" "$setup_path"
mv "$stage/tools.txt" "$tools_path"
(cd "$dist_dir" && sha256sum "$name" >"$name.sha256" && sha256sum "$setup_name" >"$setup_name.sha256")
say "wrote $zip_path"
say "wrote $setup_path"
say "wrote $tools_path: $(head -1 "$tools_path"); $(sed -n 2p "$tools_path")"
say "SHA-256 $(cut -d' ' -f1 "$zip_path.sha256")  $name"
say "SHA-256 $(cut -d' ' -f1 "$setup_path.sha256")  $setup_name"

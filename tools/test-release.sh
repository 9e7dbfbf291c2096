#!/usr/bin/env bash
# Checks of what operators get (called by test.sh; needs no Wine): the sample launcher page in
# headless Chromium and as ES5, the release zip and setup built twice from scratch with the same
# bytes, and signing with a throwaway certificate (the program, the setup and the uninstaller
# inside it, taken out with 7-Zip). Work files go to build/release-checks.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
work="$root/build/release-checks"
rm -rf "$work"
mkdir -p "$work"
passed=0
failed=0

run_check() {
  local name="$1"
  shift
  echo "== release check: $name"
  if "$@"; then
    echo "-- passed: $name"
    passed=$((passed + 1))
  else
    echo "-- FAILED: $name"
    failed=$((failed + 1))
  fi
}

# The embedded Internet Explorer engine rejects newer syntax: the page's script must parse as ES5.
es5_parse() {
  local acorn="$root/build/node/node_modules/.bin/acorn"
  if [ ! -x "$acorn" ]; then
    npm install --prefix "$root/build/node" --no-save --no-audit --no-fund --loglevel=error acorn@8.19.0 \
      >"$work/npm.log" 2>&1 || { cat "$work/npm.log"; return 1; }
  fi
  /usr/bin/python3 - docs/launcher-page.html "$work/page-script" <<'EOF' || return 1
import re, sys
html = open(sys.argv[1], encoding="utf-8").read()
scripts = re.findall(r"<script\b[^>]*>(.*?)</script>", html, re.S | re.I)
if not scripts:
    sys.exit("no script in the page")
for i, s in enumerate(scripts):
    open("%s-%d.js" % (sys.argv[2], i), "w", encoding="utf-8").write(s)
print("%d script(s)" % len(scripts))
EOF
  local f
  for f in "$work"/page-script-*.js; do
    "$acorn" --ecma5 --silent "$f" || return 1
  done
}

# The zip and the setup from the normal release build and from a second build in an empty folder.
reproducible() {
  local a b
  ORVANE_DIST_DIR="$work/repro-a" bash tools/release.sh >"$work/repro-a.log" 2>&1 || { cat "$work/repro-a.log"; return 1; }
  rm -rf build/release-repro
  ORVANE_RELEASE_BUILD_DIR=build/release-repro ORVANE_DIST_DIR="$work/repro-b" bash tools/release.sh \
    >"$work/repro-b.log" 2>&1 || { cat "$work/repro-b.log"; return 1; }
  tail -2 "$work/repro-a.log"
  a="$(cat "$work"/repro-a/*.sha256)"
  b="$(cat "$work"/repro-b/*.sha256)"
  echo "first build:"
  echo "$a"
  echo "second build:"
  echo "$b"
  [ "$(echo "$a" | grep -c -e '-win32\.zip$' -e '-setup\.exe$')" = 2 ] && [ "$a" = "$b" ] &&
    grep -q "NOT signed" "$work/repro-a.log" || return 1
  # The tools the bytes depend on are recorded beside them, the same for both builds.
  local tools
  tools="$(cat "$work"/repro-a/*-tools.txt)" || return 1
  echo "$tools"
  [ "$tools" = "$(cat "$work"/repro-b/*-tools.txt)" ] || { echo "the two builds record different tools"; return 1; }
  grep -qF "makensis $(makensis -VERSION) (Debian nsis " <<<"$tools" &&
    grep -qF "$(osslsigncode --version 2>&1 | head -1)" <<<"$tools" &&
    grep -qx "signed: no" <<<"$tools" || { echo "the tools' versions are not recorded"; return 1; }
}

# Names in the version resource that the setup cannot use as a folder, shortcut or registry
# key name (or that its script would read as a variable) are refused, each with its reason; a
# quote and a backtick, which the setup takes, are not. The release build's Orvane.exe, with one
# string changed in place. The expected names come from the resource script, so an operator's
# own names (docs/operators.md, "Branding") pass as well.
names() {
  local exe="$root/build/release/Orvane.exe"
  [ -f "$exe" ] || { echo "no $exe (the release check builds it first)"; return 1; }
  /usr/bin/python3 - "$exe" "$work/names" res/Orvane.rc <<'EOF'
import os, re, subprocess, sys
exe, folder, rc_path = sys.argv[1:]
os.makedirs(folder, exist_ok=True)
data = open(exe, "rb").read()
script = open(rc_path, encoding="utf-8").read()

def rc_value(key):
    m = re.search(r'VALUE\s+"%s"\s*,\s*"((?:[^"]|"")*)"' % key, script)
    if not m:
        sys.exit("no %s in %s" % (key, rc_path))
    return m.group(1).replace('""', '"')

product, company, copyright_ = (rc_value(k) for k in ("ProductName", "CompanyName", "LegalCopyright"))

def run(path):
    r = subprocess.run([sys.executable, "tools/versioninfo.py", path], capture_output=True, text=True)
    return r.returncode, (r.stdout + r.stderr).strip()

def patched(key, old, new):
    """The exe with the value `old` of `key` replaced by `new` (no longer than `old`)."""
    at = data.find((key + "\0").encode("utf-16-le"))
    at = data.find((old + "\0").encode("utf-16-le"), at + 2 * len(key) + 2)
    new = new.encode("utf-16-le").ljust(2 * len(old), b"\0")
    assert at > 0 and len(new) == 2 * len(old), (key, old)
    return data[:at] + new + data[at + len(new):]

def at1(value, c):
    """value with its second character replaced by c"""
    return value[0] + c + value[2:]

rc, out = run(exe)
ok = rc == 0 and out.splitlines()[1:4] == [product, company, copyright_]
print("the release's own names %r, %r, %r:" % (product, company, copyright_),
      "accepted" if ok else "REFUSED or read otherwise: " + out)
if len(product) < 3:
    sys.exit("the checks below need a ProductName of 3 characters or more")
cases = [("ProductName", product, at1(product, c), why) for c, why in (
    ("/", "'/'"), ("\\", "'\\\\'"), (":", "':'"), ("*", "'*'"), ("?", "'?'"), ("<", "'<'"), ("|", "'|'"),
    ('"', "'\"'"), ("$", "'$'"), ("\x01", "U+0001"), ("\u202e", "U+202E"), ("\u2028", "U+2028"))] + [
    ("ProductName", product, product[:-1] + ".", "ends with a dot"),
    ("ProductName", product, " " + product[1:], "begins or ends with a space"),
    ("ProductName", product, "CON", "device name"),
    ("ProductName", product, "", "empty"),
    ("CompanyName", company, at1(company, "$"), "'$'"),
    ("LegalCopyright", copyright_, at1(copyright_, '"'), "'\"'")]
for n, (key, old, new, why) in enumerate(cases):
    path = os.path.join(folder, "%d.exe" % n)
    open(path, "wb").write(patched(key, old, new))
    rc, out = run(path)
    if rc == 0 or key not in out or why not in out:
        print("%s %r: not refused with its reason (%s): %s" % (key, new, why, out))
        ok = False
# The setup takes a quote and a backtick (tools/test-setup.sh runs such a setup); the name is
# passed on unchanged.
quoted = product[0] + "'`" + product[3:]
path = os.path.join(folder, "quoted.exe")
open(path, "wb").write(patched("ProductName", product, quoted))
rc, out = run(path)
if rc != 0 or out.splitlines()[1:2] != [quoted]:
    print("ProductName %r: not accepted as it is: %s" % (quoted, out))
    ok = False
print("%d names refused, each with its reason; %r accepted" % (len(cases), quoted) if ok else "")
sys.exit(0 if ok else 1)
EOF
}

signing() {
  local certs="$work/cert"
  mkdir -p "$certs"
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=Orvane release check" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$certs/key.pem" -out "$certs/cert.pem" >/dev/null 2>&1 || return 1
  openssl pkcs12 -export -inkey "$certs/key.pem" -in "$certs/cert.pem" -passout pass:right-password \
    -out "$certs/sign.pfx" >/dev/null 2>&1 || return 1

  local run
  for run in 1 2; do
    ORVANE_SIGN_PFX="$certs/sign.pfx" ORVANE_SIGN_PASSWORD=right-password ORVANE_DIST_DIR="$work/signed-$run" \
      bash tools/release.sh >"$work/signed-$run.log" 2>&1 || { cat "$work/signed-$run.log"; return 1; }
  done
  grep "signed (Authenticode" "$work/signed-1.log" || return 1
  /usr/bin/python3 -c 'import sys, zipfile; open(sys.argv[2], "wb").write(zipfile.ZipFile(sys.argv[1]).read("Orvane.exe"))' \
    "$work"/signed-1/*.zip "$certs/Orvane.exe" || return 1
  # The setup, and what it installs: the program and the uninstaller it writes.
  mkdir -p "$certs/setup"
  cp "$work"/signed-1/*-setup.exe "$certs/setup.exe" || return 1
  (cd "$certs/setup" && 7zz e -y ../setup.exe Orvane.exe uninstall.exe >"$work/7zz.log" 2>&1) || {
    cat "$work/7zz.log"; echo "7-Zip could not take the program and the uninstaller out of the setup"; return 1; }
  local f
  for f in Orvane.exe setup.exe setup/Orvane.exe setup/uninstall.exe; do
    osslsigncode verify -in "$certs/$f" -CAfile "$certs/cert.pem" >"$work/verify.log" 2>&1 || {
      cat "$work/verify.log"; echo "osslsigncode verify refused $f"; return 1; }
  done
  cmp -s "$certs/Orvane.exe" "$certs/setup/Orvane.exe" || { echo "the setup holds another Orvane.exe than the zip"; return 1; }
  echo "osslsigncode verify accepts the signed Orvane.exe, the setup, and the Orvane.exe and uninstaller in it"
  # Without a time-stamp server the signing time is the commit's: signed releases stay reproducible.
  [ "$(cat "$work"/signed-1/*.sha256)" = "$(cat "$work"/signed-2/*.sha256)" ] || {
    echo "two signed releases differ"; return 1; }
  echo "two signed zips and setups are identical"

  local rc=0
  ORVANE_SIGN_PFX="$certs/sign.pfx" ORVANE_SIGN_PASSWORD=wrong-password ORVANE_DIST_DIR="$work/signed-1" \
    bash tools/release.sh >"$work/wrong.log" 2>&1 || rc=$?
  if [ "$rc" = 0 ] || ! grep -q "signing failed: check ORVANE_SIGN_PFX and ORVANE_SIGN_PASSWORD" "$work/wrong.log"; then
    cat "$work/wrong.log"; echo "a wrong password did not fail with its message"; return 1
  fi
  if compgen -G "$work/signed-1/*.zip" >/dev/null || compgen -G "$work/signed-1/*.exe" >/dev/null; then
    echo "a wrong password left a zip or a setup behind"; return 1
  fi
  echo "a wrong password fails, says so, and leaves no zip and no setup"
}

run_check "launcher page in headless Chromium" /usr/bin/python3 tests/launcher_page_test.py
run_check "launcher page script parses as ES5" es5_parse
run_check "release zip and setup are reproducible" reproducible
run_check "unusable names in the version resource are refused" names
run_check "release signing" signing
echo "release checks: $passed passed, $failed failed"
[ "$failed" = 0 ]

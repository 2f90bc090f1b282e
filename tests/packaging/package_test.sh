#!/usr/bin/env bash
# Builds both Debian packages from a built tree, unpacks each into a fresh
# root and checks them as an installer would: the programs run from there
# (libraries found, nothing pointing back into the build), lintian finds no
# error, the manuals render without warnings, the desktop entry validates
# and the systemd unit verifies.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
manager=$(ls "$work"/out/brindlewick-server-manager_*.deb)
standin=$(ls "$work"/out/sqlstandin_*.deb)

for deb in "$manager" "$standin"; do
  name=$(dpkg-deb -f "$deb" Package)
  root="$work/root-$name"
  dpkg-deb -x "$deb" "$root"
  echo "== $name: $(dpkg-deb -f "$deb" Version), depends: $(dpkg-deb -f "$deb" Depends)"
  [ -n "$(dpkg-deb -f "$deb" Depends)" ] || fail "$name declares no dependencies"
  # Two leading spaces would make package managers show the text unwrapped.
  if dpkg-deb -f "$deb" Description | grep -q '^  '; then fail "$name's description is preformatted"; fi
  # Nothing installed may name the build or the source tree.
  if grep -rlaF -e "$build" -e "$source_dir" "$root"; then fail "$name holds build paths"; fi
  version=$(dpkg-deb -f "$deb" Version)
  zcat "$root/usr/share/doc/$name/changelog.Debian.gz" | grep -qF "$name ($version)" \
    || fail "$name's changelog does not name $name ($version)"
  if lintian --no-tag-display-limit "$deb" >"$work/lintian-$name.txt" 2>&1; then :; fi
  if grep -E '^E: ' "$work/lintian-$name.txt"; then fail "lintian errors in $name"; fi
  for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  done
done

# Each program's output is taken whole first: grep -q would close the pipe early.
runs() {  # runs ROOT PROGRAM ARGUMENT PATTERN
  local out
  out=$(env -u LD_LIBRARY_PATH "$1/usr/bin/$2" "$3") || fail "$2 $3 exited with $?"
  grep -q -- "$4" <<<"$out" || fail "$2 $3 printed: $out"
}
root="$work/root-brindlewick-server-manager"
runs "$root" bwctl --version "^bwctl [0-9.]*$"
runs "$root" bwctl --help "Usage: bwctl"

runs "$root" bwconsole --version "^bwconsole $(dpkg-deb -f "$manager" Version | sed 's/-[^-]*$//')$"
runs "$root" bwconsole --help "Usage: bwconsole"
[ -f "$root/usr/lib/brindlewick/libbwadmin.so" ] || fail "no snap-in library"
[ -f "$root/usr/share/man/man1/bwconsole.1.gz" ] || fail "no bwconsole(1)"
# A user's first start (from the menu entry) registers the installed snap-in;
# the console then keeps running until it is closed, here by timeout.
home="$work/home"
mkdir -p "$home"
status=0
env -u LD_LIBRARY_PATH XDG_CONFIG_HOME="$home" QT_QPA_PLATFORM=offscreen \
  BW_SERVICE_CONTROL_PORT=9 BW_KEYRING=off timeout 5 "$root/usr/bin/bwconsole" \
  >"$work/console.log" 2>&1 || status=$?
[ "$status" = 124 ] || { cat "$work/console.log"; fail "bwconsole ended with $status at a first start"; }
grep -qaF "$root/usr/lib/brindlewick/libbwadmin.so" "$home/brindlewick/registry.hive" \
  || fail "a first start did not register the installed snap-in"
# The menu entry with its metainfo and icons, valid where they are installed.
app=org.brindlewick.ServerManager
entry="$root/usr/share/applications/$app.desktop"
metainfo="$root/usr/share/metainfo/$app.metainfo.xml"
[ -f "$entry" ] || fail "no desktop entry"
[ -f "$metainfo" ] || fail "no AppStream metainfo"
out=$(desktop-file-validate "$entry" 2>&1) && [ -z "$out" ] || fail "desktop-file-validate: $out"
out=$(appstreamcli validate --no-net --strict "$metainfo" 2>&1) || fail "appstreamcli: $out"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$app.svg" ] || fail "no scalable icon"
for size in 16 24 32 48 64 128 256; do
  [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/$app.png" ] || fail "no ${size}px icon"
done

completion="$root/usr/share/bash-completion/completions/bwctl"
[ -f "$completion" ] || fail "no bash completion for bwctl"
out=$(bash --norc -c "source '$completion'; complete -p bwctl") || fail "the completion does not load"
grep -q -- "-F _bwctl" <<<"$out" || fail "the completion is not registered: $out"

root="$work/root-sqlstandin"
runs "$root" sqlstandin --help "Usage: sqlstandin"
runs "$root" sqlstandin --version "^sqlstandin [0-9.]*$"
unit="$root/usr/lib/systemd/user/sqlstandin.service"
[ -f "$unit" ] || unit="$root/lib/systemd/user/sqlstandin.service"
[ -f "$unit" ] || fail "no systemd user unit"
grep -q -- "--sa-password" "$unit" && fail "the unit passes the password on the command line"
if command -v systemd-analyze >/dev/null; then
  # verify wants the programs the unit starts: check it against the unpacked root.
  sed "s#/usr/bin/sqlstandin#$root/usr/bin/sqlstandin#" "$unit" >"$work/sqlstandin.service"
  # A user manager needs a runtime directory; the manual must be found too.
  mkdir -m 700 "$work/runtime"
  out=$(XDG_RUNTIME_DIR="$work/runtime" MANPATH="$root/usr/share/man" \
        systemd-analyze verify --user "$work/sqlstandin.service" 2>&1) || fail "systemd-analyze verify: $out"
  [ -z "$out" ] || fail "systemd-analyze verify: $out"
fi

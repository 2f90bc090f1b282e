#!/usr/bin/env bash
# The console's desktop entry and AppStream metainfo pass their validators
# and agree with each other and with what is installed: one id, the program
# the entry starts, the icon it names in every rendered size.
# Usage: desktop_test.sh DESKTOP_FILE METAINFO_FILE ICON_SVG PNG_DIR
set -euo pipefail
desktop="$1"
metainfo="$2"
svg="$3"
pngs="$4"
fail() { echo "FAIL: $*" >&2; exit 1; }

out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
out=$(appstreamcli validate --no-net --strict "$metainfo" 2>&1) || fail "appstreamcli: $out"

id=$(basename "$desktop" .desktop)
[ "$(basename "$metainfo")" = "$id.metainfo.xml" ] || fail "metainfo file is not named $id.metainfo.xml"
grep -qF "<id>$id</id>" "$metainfo" || fail "metainfo id is not $id"
grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
  || fail "metainfo does not launch $id.desktop"
grep -q '@VERSION@' "$metainfo" && fail "metainfo version was not filled in"
grep -qx "Exec=bwconsole" "$desktop" || fail "the entry does not start bwconsole"
grep -qx "Icon=$id" "$desktop" || fail "the entry's icon is not $id"
[ "$(basename "$svg")" = "$id.svg" ] || fail "scalable icon is not named $id.svg"

# Each PNG is square at its directory's size (width and height from IHDR).
for size in 16 24 32 48 64 128 256; do
  png="$pngs/$size/$id.png"
  [ -s "$png" ] || fail "no ${size}px icon"
  dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $3*256+$4 "x" $7*256+$8 }')
  [ "$dims" = "${size}x${size}" ] || fail "${size}px icon is $dims"
done
echo "desktop entry $id.desktop and its metainfo are valid"

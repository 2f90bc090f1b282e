#!/usr/bin/env bash
# bwconsole(1) renders without warnings and agrees with bwconsole: every
# option --help lists is documented, every option the synopsis names is
# accepted, and --version answers with the program's name and version.
# Usage: console_manual_test.sh BWCONSOLE MANUAL VERSION
set -euo pipefail
bwconsole="$1"
manual="$2"
version="$3"
fail() { echo "FAIL: $*" >&2; exit 1; }

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=200 man --warnings -E UTF-8 -l "$manual" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man warnings: $warnings"
page=$(LC_ALL=C.UTF-8 MANWIDTH=200 MAN_KEEP_FORMATTING= man -E UTF-8 -l "$manual" 2>/dev/null \
       | sed 's/\xe2\x80\x90/-/g')

help=$("$bwconsole" --help) || fail "bwconsole --help exited with $?"
help_options=$(grep -oE -- '--[a-z-]+' <<<"$help" | sort -u)
[ -n "$help_options" ] || fail "no options in bwconsole --help"
for option in $help_options; do
  grep -qF -- "$option" <<<"$page" || fail "bwconsole(1) does not document $option"
done
synopsis=$(sed -n '/^SYNOPSIS/,/^DESCRIPTION/p' <<<"$page")
for option in $(grep -oE -- '--[a-z-]+' <<<"$synopsis" | sort -u); do
  grep -qxF -- "$option" <<<"$help_options" || fail "bwconsole --help does not list $option"
done

out=$("$bwconsole" --version) || fail "bwconsole --version exited with $?"
[ "$out" = "bwconsole $version" ] || fail "bwconsole --version printed: $out"
# An unknown option is refused with the usage, not taken for a window.
if out=$("$bwconsole" --no-such-option 2>&1); then fail "an unknown option was accepted"; fi
grep -q "Usage: bwconsole" <<<"$out" || fail "an unknown option gave: $out"
echo "bwconsole(1) documents every option; --version says $version"

#!/usr/bin/env bash
# bwctl(1) renders without warnings and documents what bwctl offers: every
# command each area's --help lists and every global option.
# Usage: manual_test.sh BWCTL MANUAL
set -euo pipefail
bwctl="$1"
manual="$2"
fail() { echo "FAIL: $*" >&2; exit 1; }

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=200 man --warnings -E UTF-8 -l "$manual" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man warnings: $warnings"
# One line per paragraph tag at a wide width, hyphenation off: words are whole.
page=$(LC_ALL=C.UTF-8 MANWIDTH=200 MAN_KEEP_FORMATTING= man -E UTF-8 -l "$manual" 2>/dev/null \
       | sed 's/\xe2\x80\x90/-/g')

# Each area's commands: the words at the start of the "Commands:" lines of its help.
for area in server archive login user; do
  help=$("$bwctl" "$area" --help)
  commands=$(awk '/^Commands:/ { on = 1; next } on && /^$/ { on = 0 }
                  on && /^  [a-z]/ { print $1 }' <<<"$help" | tr '|' '\n' | sort -u)
  [ -n "$commands" ] || fail "no commands found in bwctl $area --help"
  for command in $commands; do
    grep -qE "(^| )$area $command( |$|,)" <<<"$page" || fail "bwctl(1) does not document '$area $command'"
  done
done
grep -qE "(^| )text extract " <<<"$page" || fail "bwctl(1) does not document 'text extract'"

# Every option of the global help.
for option in $("$bwctl" --help | grep -oE '^  --[a-z-]+'); do
  grep -qF -- "$option" <<<"$page" || fail "bwctl(1) does not document $option"
done
# Every field name the JSON documents use appears in the manual.
for field in servers position serverId dataSource authentication connected state error \
             stateName archives archiveId database owner created collation version plainText \
             files fileName logins serverRoles users roles incomplete; do
  grep -qw -- "$field" <<<"$page" || fail "bwctl(1) does not name the JSON field $field"
done
echo "bwctl(1) documents every command and option"

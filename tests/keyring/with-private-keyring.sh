#!/bin/sh
# Runs a command inside a private D-Bus session, in a temporary home, with a
# gnome-keyring of its own (a throw-away login keyring, unlocked), so
# tests never see or touch the keyring of the user who runs them.
#
#   with-private-keyring.sh [--bus-only] COMMAND [ARG...]
#
# --bus-only starts no keyring: the test brings its own Secret Service.
# Exit 77 (a skip for CTest) when the tools are not installed, except in CI
# (CI=true), where scripts/setup has installed them and their absence fails.
set -eu

keyring=yes
if [ "${1:-}" = "--bus-only" ]; then
  keyring=no
  shift
fi

for tool in dbus-run-session gnome-keyring-daemon; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "with-private-keyring: $tool is not installed (scripts/setup installs it)" >&2
    [ "${CI:-}" = "true" ] && exit 1
    echo "SKIPPED: no private Secret Service can be started here" >&2
    exit 77
  fi
done

home=$(mktemp -d "${TMPDIR:-/tmp}/bw-keyring-XXXXXX")
trap 'rm -rf "$home"' EXIT INT TERM
mkdir -p "$home/config" "$home/data" "$home/cache" "$home/runtime"
chmod 700 "$home" "$home/runtime"

export HOME="$home"
export XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache"
export XDG_RUNTIME_DIR="$home/runtime"
export BW_KEYRING=auto BW_PRIVATE_KEYRING="$keyring"
unset DBUS_SESSION_BUS_ADDRESS GNOME_KEYRING_CONTROL SSH_AUTH_SOCK DISPLAY WAYLAND_DISPLAY

# gnome-keyring takes the login keyring's password on standard input and
# creates that keyring (the default collection) unlocked; an empty password
# creates none. The daemon leaves with the session bus.
status=0
dbus-run-session -- sh -c '
  if [ "$BW_PRIVATE_KEYRING" = yes ]; then
    printf "private-test-keyring" | gnome-keyring-daemon --unlock --components=secrets >/dev/null ||
      { echo "with-private-keyring: gnome-keyring-daemon did not start" >&2; exit 1; }
  fi
  "$@"' sh "$@" || status=$?
exit "$status"

#!/usr/bin/env bash
# Runs a command against a private Secret Service: a D-Bus session bus of its own (dbus-run-session) with a
# gnome-keyring-daemon whose login keyring lives in a temporary HOME and is unlocked with a test password. The
# daemon is stopped by its pid afterwards. When no daemon can be started the command still runs, with
# KORVEL_NO_SECRET_SERVICE saying why, so its tests can skip; under CI=true that fails instead.
set -uo pipefail

if [ "${1:-}" != "--inside" ]; then
  home=$(mktemp -d "${TMPDIR:-/tmp}/korvel-keyring.XXXXXX")
  trap 'rm -rf "$home"' EXIT
  chmod 700 "$home"
  if ! command -v dbus-run-session >/dev/null || ! command -v gnome-keyring-daemon >/dev/null; then
    reason="dbus-run-session or gnome-keyring-daemon is not installed (scripts/setup installs them)"
    if [ "${CI:-}" = "true" ]; then echo "with-secret-service: $reason" >&2; exit 1; fi
    KORVEL_NO_SECRET_SERVICE="$reason" "$@"
    exit $?
  fi
  HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home" \
    dbus-run-session -- "$0" --inside "$@"
  exit $?
fi
shift

printf '%s' "korvel-test-keyring" >"$HOME/unlock"
gnome-keyring-daemon --foreground --unlock --components=secrets <"$HOME/unlock" >"$HOME/daemon.log" 2>&1 &
daemon=$!
owned=false
for _ in $(seq 1 50); do
  if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q 'boolean true'; then
    owned=true
    break
  fi
  kill -0 "$daemon" 2>/dev/null || break
  sleep 0.1
done

if [ "$owned" != true ]; then
  reason="gnome-keyring-daemon did not start: $(tr '\n' ' ' <"$HOME/daemon.log")"
  kill "$daemon" 2>/dev/null
  if [ "${CI:-}" = "true" ]; then echo "with-secret-service: $reason" >&2; exit 1; fi
  KORVEL_NO_SECRET_SERVICE="$reason" "$@"
  exit $?
fi

"$@"
status=$?
kill "$daemon" 2>/dev/null
wait "$daemon" 2>/dev/null
exit $status

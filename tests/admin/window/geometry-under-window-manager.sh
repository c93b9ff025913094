#!/usr/bin/env bash
# The window's place under a real window manager (openbox on Xvfb), start after start: korvel-admin is started,
# found on screen, closed with Alt+F4 as a person does, and its settings file read. The saved geometry must not
# move from one cycle to the next, and a maximised window must come back maximised, within the screen, keeping
# the geometry it returns to.
#
# Usage: geometry-under-window-manager.sh path/to/korvel-admin
set -euo pipefail
window="$1"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to ten seconds for a file to exist with something in it.
wait_for_file() {
  for _ in $(seq 100); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  echo "gave up waiting for $1" >&2
  return 1
}

# Xvfb picks a free display and says which.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for_file "$work/display"
export DISPLAY=":$(cat "$work/display")"
openbox --sm-disable --startup "sh -c 'echo up >$work/wm-ready'" >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for_file "$work/wm-ready"

settings="$work/korvel-admin.ini"
failures=0

# One start and exit; prints the client window's size as the window manager made it.
cycle() {
  KORVEL_ADMIN_SETTINGS="$settings" QT_QPA_PLATFORM=xcb timeout 60 "$window" >>"$work/window.log" 2>&1 &
  local pid=$!
  local id
  id=$(timeout 30 xdotool search --sync --onlyvisible --name '^KORVEL Admin$' | head -1)
  xdotool getwindowgeometry --shell "$id" | grep -E '^(WIDTH|HEIGHT)='
  xdotool windowactivate --sync "$id" key alt+F4
  wait "$pid"
}

main_window() { sed -n '/^\[Main Window\]/,/^\[/p' "$settings" | grep -E '^(Top|Left|Height|Width|Maximized)='; }

expect_keys() {
  local what="$1" expected="$2" actual
  actual=$(main_window | tr '\n' ' ')
  if [ "$actual" != "$expected" ]; then
    echo "FAIL $what: [Main Window] holds '$actual', expected '$expected'" >&2
    failures=$((failures + 1))
  fi
}

# A normal window stays where it was put.
printf '[Main Window]\nTop=100\nLeft=120\nHeight=520\nWidth=800\n' >"$settings"
for n in 1 2 3; do
  cycle >/dev/null
  expect_keys "normal window, cycle $n" "Top=100 Left=120 Height=520 Width=800 Maximized=0 "
done

# A maximised one comes back maximised within the screen, keeping its normal geometry.
printf '[Main Window]\nTop=100\nLeft=120\nHeight=520\nWidth=800\nMaximized=1\n' >"$settings"
for n in 1 2; do
  eval "$(cycle)"
  if [ "$WIDTH" -ne 1280 ] || [ "$HEIGHT" -gt 800 ] || [ "$HEIGHT" -lt 700 ]; then
    echo "FAIL maximised window, cycle $n: ${WIDTH}x${HEIGHT} on a 1280x800 screen" >&2
    failures=$((failures + 1))
  fi
  expect_keys "maximised window, cycle $n" "Top=100 Left=120 Height=520 Width=800 Maximized=1 "
done

if [ "$failures" -ne 0 ]; then
  cat "$work/window.log" >&2
  exit 1
fi
echo "window geometry kept over 5 starts under openbox"

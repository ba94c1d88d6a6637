#!/usr/bin/env bash
# vaultdesk on a real X server with a window manager that has a system tray, driven as a user
# would: background start, tray click, close button, second start, a selected card pulled out
# (its notice must leave the tray icon alone), tray "Exit".
# usage: x_session_test.sh <vaultdesk> <screenshot folder> <vaultsim>
# Exit status 77 (skipped) with the reason when the X tools are missing.
set -u
vaultdesk=$1
shots=$2
vaultsim=$3
title="Kendrova Tresora Archive Tool"

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
command -v Xvfb >/dev/null || skip "Xvfb is missing (scripts/install-deps.sh installs it)"
for tool in icewm xdotool import; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps.sh installs it)"
done

work=$(mktemp -d /var/tmp/vaultdesk-x-XXXXXX)
children=()
cleanup() {
  for pid in "${children[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Polls a command for up to $1 tenths of a second.
wait_for() {
  local tenths=$1; shift
  for ((i = 0; i < tenths; i++)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}
window_shown() { xdotool search --onlyvisible --name "^${title}\$"; }
window_hidden() { ! window_shown; }
alive() { kill -0 "$app" 2>/dev/null; }
ended() { ! alive; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
children+=($!)
wait_for 100 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(cat "$work/display")"
export QT_QPA_PLATFORM=xcb
export HOME="$work"
mkdir -p "$work/devices" "$shots"

icewm >"$work/icewm.log" 2>&1 &
children+=($!)
# The tray is up once icewm's task bar is mapped.
wait_for 300 xdotool search --onlyvisible --name "^TaskBar$" || fail "icewm did not start: $(cat "$work/icewm.log")"
sleep 1

# Its own program name keeps this instance apart from any other vaultdesk of the machine.
ln -s "$vaultdesk" "$work/vaultdesk-xtest-$$"
program="$work/vaultdesk-xtest-$$"
export VAULTDESK_DEVICE_FOLDER="$work/devices"

"$program" --background >"$work/app.log" 2>&1 &
app=$!
children+=("$app")
tray=""
find_tray() { tray=$(xdotool search --onlyvisible --class "vaultdesk-xtest-$$" | head -1); test -n "$tray"; }
wait_for 150 find_tray || fail "--background: no tray icon"
window_hidden || fail "--background showed the window"
import -window root "$shots/x_background_tray.png"

xdotool mousemove --window "$tray" 5 5 click 1
wait_for 100 window_shown || fail "a click on the tray icon did not show the window"
sleep 1
import -window root "$shots/x_window_from_tray.png"

win=$(window_shown | head -1)
xdotool windowactivate --sync "$win" key --clearmodifiers alt+F4
wait_for 100 window_hidden || fail "the close button did not hide the window"
alive || fail "the close button ended the process"

start=$(date +%s%N)
timeout 20 "$program" >"$work/second.log" 2>&1
status=$?
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$status" -eq 0 ] || fail "the second start exited with $status"
wait_for 100 window_shown || fail "the second start did not raise the window"
echo "second start ended after ${elapsed_ms} ms"
import -window root "$shots/x_window_raised.png"

# A card (the virtual one, served from an image file) is plugged in, selected and pulled out.
"$vaultsim" create "$work/card.img" >"$work/card.log" 2>&1 || fail "vaultsim create: $(cat "$work/card.log")"
"$vaultsim" serve "$work/card.img" >>"$work/card.log" 2>&1 &
children+=($!)
wait_for 100 grep -q "ready" "$work/card.log" || fail "vaultsim did not start: $(cat "$work/card.log")"
ln -s "$work/card.img" "$work/devices/sdq1"
sleep 4 # two scans: the card's tile is there
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" $((WIDTH / 2)) 70 click 1
sleep 3
rm "$work/devices/sdq1"
notice_shown() { xdotool search --onlyvisible --name "^Selected device status\$"; }
wait_for 100 notice_shown || fail "no removal notice"
import -window root "$shots/x_removal_notice.png"
xdotool windowactivate --sync "$(notice_shown | head -1)" key Return
wait_for 50 eval '! notice_shown' || fail "Enter did not close the removal notice"
xdotool windowactivate --sync "$win" key --clearmodifiers alt+F4
wait_for 100 window_hidden || fail "the close button did not hide the window"
wait_for 50 find_tray || fail "the removal notice took the tray icon away"
import -window root "$shots/x_tray_after_removal.png"

xdotool mousemove --window "$tray" 5 5 click 3
menu=""
find_menu() {
  menu=$(xdotool search --onlyvisible --class "vaultdesk-xtest-$$" | grep -v -x -e "$tray" -e "$win" | head -1)
  test -n "$menu"
}
wait_for 50 find_menu || fail "no tray menu"
import -window root "$shots/x_tray_menu.png"
eval "$(xdotool getwindowgeometry --shell "$menu")"
xdotool mousemove --window "$menu" $((WIDTH / 2)) $((HEIGHT / 2)) click 1
wait_for 100 ended || fail "the tray's Exit did not end the program"
wait "$app"
status=$?
[ "$status" -eq 0 ] || fail "Exit ended the program with status $status"
echo "PASS"

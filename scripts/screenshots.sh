#!/usr/bin/env bash
# Makes the README's screenshots: Tessek logging the built-in simulated LM, as a person
# sees it, on a virtual X display (Xvfb), driven by its keyboard accelerators (xdotool).
# The program runs from a private copy of its folder, so its Tessek.ini names "SIM" and
# nothing touches a real serial port or the build's own settings.
#
# Usage: scripts/screenshots.sh [build-dir]   (writes docs/screenshots/*.png; the virtual
# display is :87, or $TESSEK_SHOTS_DISPLAY)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
build_dir=${1:-build}
out=docs/screenshots

scripts/setup.sh "$build_dir" >/dev/null
tools=(xvfb xdotool imagemagick xauth)
ensure_packages "${tools[@]}"

work=$(mktemp -d /tmp/tessek-shots-XXXXXX)
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/bin"
cp "$build_dir/bin/tessek" "$work/bin/"
# Acceleration measurement on (road speed and engine speed first) at the simulated car's
# weight of 2500 lb, then boost, coolant, throttle, knock, spark and O2.
# The simulated wideband controller beside it gives AFR and lambda.
printf '[ComPort]\nPort=SIM\n\n[CurrentSet]\n1=69\n2=8F\n3=86\n4=9A\n5=98\n6=A0\n7=72\n8=9C\nPerformance=1\nCarWeight=2500\n\n[Wideband]\nPort=SIM-WB\nProtocol=mts\n' \
  > "$work/bin/Tessek.ini"

display=${TESSEK_SHOTS_DISPLAY:-:87}
Xvfb "$display" -screen 0 1400x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 300); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

window_of() {  # waits for a window whose title matches $1 and prints its id
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.1
  done
  echo "no window '$1'" >&2
  exit 1
}
shoot() {  # window id, file name
  import -window "$1" "$out/$2"
  echo "wrote $out/$2"
}

mkdir -p "$out"
QT_QPA_PLATFORM=xcb "$work/bin/tessek" &
app=$!
main=$(window_of '^Tessek$')
sleep 1.5  # the start-up probe

# Log (Alt+L); the simulated engine idles, then pulls through two gears from 15 s after
# the program started.
xdotool windowfocus --sync "$main" key alt+l
sleep 8
shoot "$main" main-window.png
xdotool windowfocus --sync "$main" key alt+h
live=$(window_of '^Tessek Live$')
sleep 16
shoot "$live" live-chart.png
sleep 6
xdotool windowfocus --sync "$main" key alt+l  # stop logging
sleep 1
xdotool windowfocus --sync "$main" key alt+v
viewer=$(window_of 'Tessek Log Viewer')
xdotool windowsize --sync "$viewer" 1200 760
sleep 1
shoot "$viewer" log-viewer.png
xdotool windowfocus --sync "$viewer" key ctrl+Tab
sleep 1
shoot "$viewer" power-curve.png
xdotool windowfocus --sync "$viewer" key ctrl+Tab
sleep 1
shoot "$viewer" cell-table.png
xdotool windowfocus --sync "$viewer" key ctrl+Tab
sleep 1
shoot "$viewer" scatter.png

# The reports: Codes and Adaptives from the panel (the focus stays in the text area after
# Alt+L; Tab walks Log, Setup, Save, Adaptives, Codes), then the Reports window on each of
# its two tabs.
xdotool windowfocus --sync "$main" key alt+l
sleep 1
xdotool windowfocus --sync "$main" key alt+l  # a short run, stopped again
sleep 1
xdotool windowfocus --sync "$main" key Tab Tab Tab Tab Tab Return  # Codes
reports=$(window_of '^Tessek Reports$')
sleep 1
xdotool windowfocus --sync "$main" key shift+Tab Return  # Adaptives
sleep 2
shoot "$reports" reports-adaptives.png
xdotool windowfocus --sync "$reports" key alt+f
sleep 0.5
shoot "$reports" reports-fault-codes.png

kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
kill "$xvfb" 2>/dev/null || true
wait "$xvfb" 2>/dev/null || true

# Alarms, markers and the dash view on a 1366x768 laptop screen: engine speed, road speed,
# boost, coolant, the knock retard of three cylinders and throttle. The pull from 15 s on
# retards cylinders 1, 2 and 4, which raises the default knock retard alarms.
rm -rf "$work/bin/logs" "$work/bin"/TempLog*.txt
printf '[ComPort]\nPort=SIM\n\n[CurrentSet]\n1=8F\n2=69\n3=86\n4=9A\n5=CE\n6=CF\n7=D1\n8=98\n' > "$work/bin/Tessek.ini"
display=:88
Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 300); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
QT_QPA_PLATFORM=xcb "$work/bin/tessek" &
app=$!
main=$(window_of '^Tessek$')
sleep 1.5
xdotool windowfocus --sync "$main" key alt+h
live=$(window_of '^Tessek Live$')
xdotool windowfocus --sync "$live" key alt+l  # Log, from the live window
sleep 8
xdotool windowfocus --sync "$live" key m      # a manual marker while idling
sleep 10                                       # into the first-gear pull
shoot "$live" live-alarm.png
sleep 4
xdotool windowfocus --sync "$live" key F11
dash=$(window_of '^Tessek Dash$')
sleep 1.5
shoot "$dash" dash.png
xdotool windowfocus --sync "$dash" key Escape
sleep 0.5
xdotool windowfocus --sync "$live" key alt+l  # stop logging
sleep 1

# Playback of that run (1366x768): the log played back through Tessek Live at 16x.
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
csv=$(ls "$work/bin/logs"/*.csv | head -n 1)
QT_QPA_PLATFORM=xcb "$work/bin/tessek" --play "$csv" &
app=$!
play=$(window_of 'Playback of')
sleep 8
shoot "$play" playback.png

# The Advice tab (1366x768) on a simulated drive: the planted-truth test's drive through 40
# cells, each with a fuel error of its own, after a cold start and with throttle stabs,
# written as a data log by the test and opened in the viewer.
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
TESSEK_ADVICE_DRIVE_CSV="$work/simulated-drive.csv" QT_QPA_PLATFORM=offscreen \
  "$build_dir/bin/tests_analysis" --gtest_filter='AdviceTruth.*' >/dev/null
# The simulated engine's closed loop holds 14.7 in every cell: that is its target.
printf '[AfrTarget]\nRpm=0 6000\nBoost=-15 15\nRow1=14.7\n' > "$work/bin/Tessek.ini"
QT_QPA_PLATFORM=xcb "$work/bin/tessek" --view "$work/simulated-drive.csv" &
app=$!
viewer=$(window_of 'Tessek Log Viewer')
xdotool windowmove --sync "$viewer" 0 0
xdotool windowsize --sync "$viewer" 1366 740
sleep 1
xdotool windowfocus --sync "$viewer" key ctrl+Tab ctrl+Tab ctrl+Tab ctrl+Tab
sleep 1
shoot "$viewer" advice.png

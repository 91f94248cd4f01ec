#!/usr/bin/env bash
# Runs bench_logging with accessibility on, as a screen reader user has it: a private
# D-Bus session with the accessibility bus, an X server (Xvfb) for the window, and
# a11y_listener registered for the events a screen reader listens to. The window run is
# then named "program, window shown, a11y on"; the listener prints what it received.
# Usage: scripts/bench-a11y.sh [build-dir] [arguments for bench_logging...]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages dbus-daemon at-spi2-core xvfb xauth

build_dir=${1:-build}
shift || true
cmake --build "$build_dir" -j2 --target bench_logging a11y_listener

if [ -z "${TESSEK_A11Y_SESSION:-}" ]; then
  export TESSEK_A11Y_SESSION=1
  exec dbus-run-session -- xvfb-run -a -s "-screen 0 1366x768x24" "$0" "$build_dir" "$@"
fi

listener_out=$(mktemp)
trap 'rm -f "$listener_out"' EXIT
"$build_dir/bin/a11y_listener" > "$listener_out" &
listener=$!
for _ in $(seq 50); do
  grep -q listening "$listener_out" && break
  sleep 0.1
done
grep -q listening "$listener_out" || { echo "the accessibility listener did not start" >&2; exit 1; }
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$build_dir/bin/bench_logging" "$@"
kill "$listener"
wait "$listener" || true
echo
echo "Accessibility events the listener received:"
grep -v listening "$listener_out"

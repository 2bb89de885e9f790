#!/usr/bin/env bash
# Runs the Windows dialog test program (argument 1) under Wine on an Xvfb
# server of its own and photographs the filled-in dialog into argument 2.
# Wine's server is restarted around the run, so that its desktop opens on
# this display; CTest runs this test alone, and scripts/run-windows-tests
# runs it after the others, once their server has ended. Each restart waits
# for the old server to be gone: a program that met it on its way out would
# die.
set -euo pipefail
driver="$1"
shot="$2"
root="$(cd "$(dirname "$0")/../.." && pwd)"
. "$root/scripts/wine-env"
export WINEPREFIX="${WINEPREFIX:-$root/build-win-wine/prefix}"

sync_dir="$(mktemp -d)"
# Xvfb takes a free display itself and names it once it accepts clients:
# a display picked here could be taken by another run before Xvfb starts.
mkfifo "$sync_dir/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$sync_dir/display" >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  kill "$watcher" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  wineserver -w
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$sync_dir"
}
watcher=""
trap cleanup EXIT
display=""
read -r display <"$sync_dir/display" || true
if [ -z "$display" ]; then
  echo "run_dialog_test.sh: Xvfb did not start" >&2
  exit 1
fi

wineserver -k 2>/dev/null || true
wineserver -w
# Photographs the dialog once the test program says it is filled in.
(
  for _ in $(seq 1200); do [ -e "$sync_dir/ready" ] && break; sleep 0.1; done
  if [ -e "$sync_dir/ready" ]; then
    id=$(DISPLAY=":$display" xdotool search --name "Meter specific options" 2>/dev/null | head -1 || true)
    if [ -n "$id" ]; then
      DISPLAY=":$display" import -window "$id" "$shot" 2>/dev/null || true
    fi
  fi
  touch "$sync_dir/shot"
) &
watcher=$!
DISPLAY=":$display" KORVO_DIALOG_SYNC="Z:$sync_dir" "$root/scripts/wine-run" "$driver"

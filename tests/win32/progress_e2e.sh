#!/usr/bin/env bash
# A long copy's progress in the native window, pressed as a person would:
# window_win32_test.exe keeps a copy running (its clock moved by hand) while
# this script waits for the window titled "vellora", takes its screenshot and
# presses Escape on it. The test then checks that the copy stopped and left
# nothing. Wine's CopyFileExW tells no progress, so a real large file would
# show nothing here. Usage: progress_e2e.sh WINDOW_WIN32_TEST.EXE OUTPUT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "$1")
outdir=$(realpath -m "$2")
: "${WINEPREFIX:?}"

source "$here/wine_session.sh"
in_own_x_server "$0" "$outdir" -- "$exe" "$outdir"

work=$(mktemp -d /tmp/vellora-progress-e2e-XXXXXX)
fail() {
  echo "FAIL: $*"
  import -window root "$outdir/vellora-wine-progress-failed.png" 2>/dev/null || true
  cat "$work/test.log" 2>/dev/null || true
  exit 1
}
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

new_wine_session

VELLORA_PROGRESS_E2E=1 wine "$exe" --gtest_filter=ProgressWindow.WaitsForCancelFromOutside \
  >"$work/test.log" 2>&1 &
test_pid=$!

# xdotool matches names without regard to case, and Form1 is "Vellora".
window() {
  local w
  for w in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
    [ "$(xdotool getwindowname "$w")" = "$1" ] && { echo "$w"; return; }
  done
}
appeared() { [ -n "$(window "$1")" ]; }

wait_for 15 appeared vellora || fail "no progress window appeared"
wid=$(window vellora)
sleep 0.5  # let it paint
import -window root "$outdir/vellora-wine-progress.png"
xdotool windowfocus --sync "$wid" 2>/dev/null || true
xdotool key Escape
wait "$test_pid" || fail "the test failed after Escape"
grep -q '\[  PASSED  \] 1 test' "$work/test.log" || fail "the test did not run"
echo "Escape cancelled the copy; screenshot in $outdir/vellora-wine-progress.png"

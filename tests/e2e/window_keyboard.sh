#!/usr/bin/env bash
# Drives the real window under Xvfb with the keyboard alone, at the classic
# size, at twice the scale and with a 14-point desktop font: it is opened with
# a recording whose name holds ":", the speed list is moved from 100% to 90%
# with the arrow keys, and Return converts. Checks the copy byte for byte
# under its Linux name and keeps a screenshot of each size.
# Usage: window_keyboard.sh VELLORA SCREENSHOT_DIRECTORY
set -euo pipefail
vellora=$1
shots=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/window_session.sh"

need_x_tools xdotool import

make_work vellora-keys
work=$WORK
mkdir -p "$shots"
wav "$work/input.wav" 44100
wav "$work/expected.wav" 39690

cat > "$work/drive.sh" <<'SCRIPT'
set -euo pipefail
source "$SESSION"
start_window "$INPUT"
sleep 0.5
import -window "$wid" "$SCREENSHOT"
# The speed list has the focus when the window opens.
xdotool key --delay 150 Down Down Return
for _ in $(seq 100); do [ -s "$WORK/opened" ] && break; sleep 0.1; done
SCRIPT

run() {  # run NAME POINTS SCALE
  local c=$work/$1/c
  mkdir -p "$c/temp"
  cp "$work/input.wav" "$c/temp/rec 12:30.wav"
  rm -f "$work/opened"
  desktop_font "$2" "$work/$1/config"
  VELLORA_DRIVE_C=$c QT_SCALE_FACTOR=$3 SESSION=$here/window_session.sh VELLORA=$vellora WORK=$work INPUT="$c/temp/rec 12:30.wav" \
    SCREENSHOT="$shots/vellora-$1.png" xvfb-run -a -s "-screen 0 1024x640x24" bash "$work/drive.sh"
  cmp "$c/temp/vellora/rec 12:30-90.wav" "$work/expected.wav"
  cmp "$c/temp/rec 12:30.wav" "$work/input.wav"
  grep -q 'C:\\temp\\rec 12：30.wav --> C:\\temp\\vellora\\rec 12：30-90.wav' "$c/temp/vellora/info.xls" ||
    { echo "$1: the header log does not name the file as the window shows it"; exit 1; }
  [ "$(cat "$work/opened")" = "$c/temp/vellora/rec 12:30-90.wav" ] ||
    { echo "$1: opened: $(cat "$work/opened")"; exit 1; }
  echo "$1: converted with the keyboard alone; screenshot in $shots/vellora-$1.png"
}
run 1x 8 1
run 2x 8 2
run 14pt 14 1

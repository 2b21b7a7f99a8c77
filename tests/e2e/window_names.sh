#!/usr/bin/env bash
# Names as a Linux user has them, through the real window under Xvfb: a file
# whose name is not UTF-8 given on the command line is converted by Return,
# and a host path typed into the input box goes on the drive map (the box
# then shows C:\temp\talk.wav) and converts.
# Usage: window_names.sh VELLORA SCREENSHOT_DIRECTORY
set -euo pipefail
vellora=$1
shots=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/window_session.sh"

need_x_tools xdotool import

make_work vellora-names
work=$WORK
mkdir -p "$shots"
classic_drive
latin=$'latin\xe9'
wav "$VELLORA_DRIVE_C/temp/$latin.wav" 44100
wav "$VELLORA_DRIVE_C/temp/talk.wav" 44100
wav "$work/expected.wav" 39690

cat > "$work/drive.sh" <<'SCRIPT'
set -euo pipefail
source "$SESSION"
opened() { [ -s "$WORK/opened" ] && [ "$(wc -l < "$WORK/opened")" -ge "$1" ]; }
wait_opened() { for _ in $(seq 300); do opened "$1" && return; sleep 0.1; done; }
start_window "$START"
sleep 0.5
# The speed list has the focus: 100% down to 90%, and Return converts.
xdotool key --delay 150 Down Down Return
wait_opened 1
# The input box: select what is there and type a host path over it.
xdotool mousemove --window "$wid" 150 28 click 1
sleep 0.3
xdotool key ctrl+a
xdotool type --delay 20 "$TYPED"
xdotool key Return
wait_opened 2
sleep 0.3
import -window "$wid" "$SCREENSHOT"
SCRIPT
SESSION=$here/window_session.sh VELLORA=$vellora WORK=$work START="$VELLORA_DRIVE_C/temp/$latin.wav" \
  TYPED="$VELLORA_DRIVE_C/temp/talk.wav" SCREENSHOT="$shots/vellora-names.png" \
  xvfb-run -a -s "-screen 0 640x400x24" bash "$work/drive.sh"

out=$VELLORA_DRIVE_C/temp/vellora
cmp "$out/$latin-90.wav" "$work/expected.wav" || { ls "$out"; exit 1; }
echo "a name that is not UTF-8 converted from the command line"
cmp "$out/talk-90.wav" "$work/expected.wav"
grep -q 'C:\\temp\\talk.wav --> C:\\temp\\vellora\\talk-90.wav' "$out/info.xls" ||
  { echo "the typed host path was not put on the drive map: $(head -1 "$out/info.xls")"; exit 1; }
[ "$(sed -n 2p "$work/opened")" = "$out/talk-90.wav" ] || { echo "opened: $(cat "$work/opened")"; exit 1; }
echo "a typed host path converted as C:\\temp\\talk.wav; screenshot in $shots/vellora-names.png"

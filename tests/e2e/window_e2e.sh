#!/usr/bin/env bash
# Drives the real window under Xvfb as a person would: types the input path,
# picks 90% from the speed list, clicks the convert image, and checks the
# copy, the header log and what the desktop's opener was handed.
# Usage: window_e2e.sh VELLORA SCREENSHOT.png
set -euo pipefail
vellora=$1
screenshot=$2

if ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null; then
  echo "SKIP: xvfb-run or xdotool is missing"; exit 77
fi
if ! xvfb-run -a true 2>/dev/null; then
  echo "SKIP: Xvfb cannot start here"; exit 77
fi

work=$(mktemp -d /tmp/vellora-e2e-XXXXXX)
trap 'rm -rf "$work"' EXIT
# The classic 8-point font, at which the places clicked below are the designed ones.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/window_session.sh"
WORK=$work fake_opener
desktop_font 8 "$work/config"
export VELLORA_DRIVE_C=$work/c
mkdir -p "$VELLORA_DRIVE_C/temp"

# A canonical 16-bit stereo file at 44100 samples per second.
le32() {
  # shellcheck disable=SC2059
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"
}
wav() {  # wav SAMPLERATE BYTERATE
  printf 'RIFF'; le32 1036; printf 'WAVEfmt '; le32 16
  printf '\x01\x00\x02\x00'; le32 "$1"; le32 "$2"; printf '\x04\x00\x10\x00'
  printf 'data'; le32 1000; head -c 1000 /dev/zero | tr '\0' 'v'
}
wav 44100 176400 > "$VELLORA_DRIVE_C/temp/talk.wav"
wav 39690 158760 > "$work/expected.wav"

cat > "$work/drive.sh" <<'SCRIPT'
set -euo pipefail
source "$SESSION"
start_window
sleep 0.3
click_at() { xdotool mousemove --window "$wid" "$1" "$2" click 1; }

# The input box: select what the finder put there and type over it.
click_at 150 28; sleep 0.3
xdotool key ctrl+a
xdotool type --delay 20 'C:\temp\talk.wav'
# The speed list: open it, go down from 100% to 90%, take it.
click_at 200 74; sleep 0.8
xdotool key Down Down Return; sleep 0.6
# The convert image.
click_at 337 81
for _ in $(seq 100); do [ -s "$WORK/opened" ] && break; sleep 0.1; done
sleep 0.3
import -window "$wid" "$SCREENSHOT"
SCRIPT
SESSION=$here/window_session.sh VELLORA=$vellora WORK=$work SCREENSHOT=$screenshot \
  xvfb-run -a -s "-screen 0 640x400x24" bash "$work/drive.sh"

out=$VELLORA_DRIVE_C/temp/vellora
cmp "$out/talk-90.wav" "$work/expected.wav"
cmp "$VELLORA_DRIVE_C/temp/talk.wav" <(wav 44100 176400)
printf '1036 C:\\temp\\talk.wav --> C:\\temp\\vellora\\talk-90.wav\r\nbytespersa 4\r\nbitspersec 176400\r\nbitspersam 16\r\nnchannels  2\r\nsamplerate 44100\r\n' > "$work/expected.log"
cmp "$out/info.xls" "$work/expected.log"
[ "$(cat "$work/opened")" = "$out/talk-90.wav" ] || { echo "opened: $(cat "$work/opened")"; exit 1; }
echo "converted, logged and handed over; screenshot in $screenshot"

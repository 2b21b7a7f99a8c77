#!/usr/bin/env bash
# Drives vellora.exe under Wine and Xvfb as a person would. With the newest
# recording of C:\temp offered in the input box, it converts at 90% three
# ways: arrows in the speed list and a click on the convert picture, Return in
# the list, and Tab to the picture and Space. Each time it checks the copy
# byte for byte, the header log and the title; then Return on "What's this?"
# must bring up the help box. Last, started with an older recording as its
# argument, Return must convert that one. Usage: window_e2e.sh VELLORA.EXE OUTPUT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "$1")
outdir=$(realpath -m "$2")
: "${WINEPREFIX:?}"

source "$here/wine_session.sh"
in_own_x_server "$0" "$outdir" sox -- "$exe" "$outdir"

c=$WINEPREFIX/drive_c
name='größe'  # a name Windows holds in UTF-16, and the header log in Windows-1252
input=$c/temp/$name.wav
out=$c/temp/vellora
work=$(mktemp -d /tmp/vellora-wine-e2e-XXXXXX)
fail() {
  echo "FAIL: $*"
  import -window root "$outdir/vellora-wine-failed.png" 2>/dev/null || true
  exit 1
}
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$work" "$input" "$c/temp/older.wav" "$out/$name-90.wav" "$out/older-90.wav"
}
trap cleanup EXIT

new_wine_session

# Should Wine hand the copy to the desktop to play, nothing is started.
mkdir -p "$work/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s/opened"\n' "$work" > "$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
export PATH=$work/bin:$PATH

le32() {
  # shellcheck disable=SC2059
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"
}

# An older recording beside the newest, so that the choice shows.
mkdir -p "$c/temp" "$out"
rm -f "$out/$name-90.wav" "$out/older-90.wav" "$out/info.xls"
sox -n -r 22050 -c 1 -b 16 "$c/temp/older.wav" synth 0.1 sine 220
touch -d '1 hour ago' "$c/temp/older.wav"
sox -n -r 44100 -c 2 -b 16 "$input" synth 0.2 sine 440
# sox writes the canonical layout: the format chunk's sample rate and byte
# rate at offsets 24 and 28. The copy differs from the input there alone.
cmp -s <(head -c 32 "$input" | tail -c 20) <(printf 'fmt '; le32 16; printf '\x01\x00\x02\x00'; le32 44100; le32 176400) ||
  fail "sox wrote an unexpected header"
{ head -c 24 "$input"; le32 39690; le32 158760; tail -c +33 "$input"; } > "$work/expected.wav"
size=$(stat -c %s "$input")
logged=$(iconv -t CP1252 <<<"$name")
printf '%s C:\\temp\\%s.wav --> C:\\temp\\vellora\\%s-90.wav\r\nbytespersa 4\r\nbitspersec 176400\r\nbitspersam 16\r\nnchannels  2\r\nsamplerate 44100\r\n' \
  $((size - 8)) "$logged" "$logged" > "$work/expected.log"

cd "$work"
wine "$exe" >"$work/wine.log" 2>&1 &

window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
appeared() { [ -n "$(window "$1")" ]; }
gone() { ! appeared "$1"; }

wait_for 60 appeared '^Vellora$' || { cat "$work/wine.log"; fail "the window did not appear"; }
wid=$(window '^Vellora$')
sleep 1  # Form_Load has run once the window shows; let it paint
xdotool windowfocus --sync "$wid"
sleep 0.3

converted() { [ -s "$out/info.xls" ] && [ -s "$out/$name-90.wav" ]; }
check() {  # check HOW: the copy, the log and the title after one conversion
  wait_for 20 converted || fail "$1: nothing was converted"
  sleep 0.5  # the log is written after the copy
  cmp "$out/$name-90.wav" "$work/expected.wav" || fail "$1: the copy differs"
  cmp "$out/info.xls" "$work/expected.log" || fail "$1: the header log differs: $(od -c "$out/info.xls")"
  [ "$(sed -n 6p "$out/info.xls")" = $'samplerate 44100\r' ] || fail "$1: the log's rate"
  local title
  title=$(xdotool getwindowname "$wid")
  [ "$title" = "Vellora --> C:\\temp\\vellora\\$name-90.wav" ] || fail "$1: the title reads '$title'"
  rm -f "$out/$name-90.wav" "$out/older-90.wav" "$out/info.xls"
  echo "converted: $1"
}

# The speed list has the focus from the start: 100% down to 90%, then the
# picture beside the list, at (4920, 1080) twips with 285 twips a side.
xdotool key Down Down
sleep 0.3
xdotool mousemove --window "$wid" 337 81 click 1
check "arrows and a click on the picture"
xdotool mousemove 639 399  # no tooltip in the picture
sleep 0.5
import -window root "$outdir/vellora-wine.png"

xdotool key Return
check "Return in the speed list"

# Tab from the list: the two boxes, the play picture, "latest", "explore...",
# then the convert picture.
xdotool key Tab Tab Tab Tab Tab Tab space
check "Tab to the picture and Space"

xdotool key Tab Return
wait_for 10 appeared '^vellora$' || fail "Return on \"What's this?\" showed no help"
xdotool key Return
wait_for 10 gone '^vellora$' || fail "Return did not close the help"
echo "Tab and Return reached \"What's this?\""

# "Open with": vellora.exe FILE starts with FILE in the input box, not the
# newest recording, and Return converts it.
wineserver -k 2>/dev/null || true
wineserver -w
wine "$exe" 'C:\temp\older.wav' >"$work/wine.log" 2>&1 &
wait_for 60 appeared '^Vellora$' || { cat "$work/wine.log"; fail "the window did not appear with a file"; }
wid=$(window '^Vellora$')
sleep 1
xdotool windowfocus --sync "$wid"
sleep 0.3
xdotool key Down Down
sleep 0.3
xdotool key Return
older_converted() { [ -s "$out/older-90.wav" ]; }
wait_for 20 older_converted || fail "vellora.exe FILE: FILE was not converted ($(ls "$out"))"
sleep 0.5
{ head -c 24 "$c/temp/older.wav"; le32 19845; le32 39690; tail -c +33 "$c/temp/older.wav"; } > "$work/older-90.wav"
cmp "$out/older-90.wav" "$work/older-90.wav" || fail "vellora.exe FILE: the copy differs"
[ ! -e "$out/$name-90.wav" ] || fail "vellora.exe FILE converted the newest recording instead"
echo "converted: the file vellora.exe was started with"

[ ! -s "$work/opened" ] || echo "handed to the desktop: $(cat "$work/opened")"
echo "screenshot in $outdir/vellora-wine.png"

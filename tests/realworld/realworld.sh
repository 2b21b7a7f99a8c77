#!/usr/bin/env bash
# Makes a WAV file the way a real writer does, converts it with vellora-cli
# at 90%, and checks that soxi and ffprobe read the new rate and that the
# copy differs from the input only in the sample rate and the byte rate.
# Usage: realworld.sh VELLORA_CLI CASE
set -euo pipefail
cli=$(realpath "$1")
case=$2

. "$(dirname "$0")/common.sh"
need soxi ffprobe od cmp
enter_workdir realworld

sine() { echo "sine=frequency=440:duration=0.3:sample_rate=$1"; }
case $case in
  sox-pcm16)      need sox; sox -n -r 44100 -c 2 -b 16 in.wav synth 0.3 sine 440 ;;
  sox-float)      need sox; sox -n -r 48000 -c 1 -e floating-point -b 32 in.wav synth 0.3 sine 440 ;;
  sox-extensible) need sox; sox -n -r 96000 -c 6 -b 24 in.wav synth 0.1 sine 440 ;;
  ffmpeg-pcm)     need ffmpeg; ffmpeg -nostdin -loglevel error -f lavfi -i "$(sine 22050)" -c:a pcm_s16le in.wav ;;
  ffmpeg-junk)    need ffmpeg; ffmpeg -nostdin -loglevel error -f lavfi -i "$(sine 32000)" -c:a pcm_s24le -rf64 auto in.wav ;;
  ffmpeg-rf64)    need ffmpeg; ffmpeg -nostdin -loglevel error -f lavfi -i "$(sine 8000)" -c:a pcm_u8 -rf64 always in.wav ;;
  # Big-endian RIFX files, as sox writes them with -B.
  sox-be8)        need sox; sox -n -B -r 44100 -c 1 -b 8 in.wav synth 0.05 sine 440 ;;
  sox-be16)       need sox; sox -n -B -r 44100 -c 2 -b 16 in.wav synth 0.05 sine 440 ;;
  sox-be24)       need sox; sox -n -B -r 48000 -c 2 -b 24 in.wav synth 0.05 sine 440 ;;
  sox-be32)       need sox; sox -n -B -r 96000 -c 1 -b 32 in.wav synth 0.05 sine 440 ;;
  sox-befloat)    need sox; sox -n -B -r 22050 -c 2 -e floating-point -b 32 in.wav synth 0.05 sine 440 ;;
  espeak)         need espeak-ng; espeak-ng -w in.wav "Vellora plays this back at ninety percent." ;;
  *) echo "unknown case $case"; exit 2 ;;
esac
cp in.wav original.wav

# RIFX files hold their fields big-endian.
if [ "$(head -c 4 in.wav)" = RIFX ]; then endian=big; else endian=little; fi
u32() { od -An -tu4 --endian=$endian -j "$2" -N4 "$1" | tr -d ' '; }
# The format body follows the first "fmt " header; the rates are its bytes 4 to 11.
fmt=$(grep -obUa -m1 'fmt ' in.wav | head -1 | cut -d: -f1)
body=$((fmt + 8))
rate=$(u32 in.wav $((body + 4)))
byterate=$(u32 in.wav $((body + 8)))
new_rate=$((rate * 9 / 10))
new_byterate=$((byterate * 9 / 10))
[ $((rate * 9 % 10)) -eq 0 ] && [ $((byterate * 9 % 10)) -eq 0 ] || { echo "pick rates that scale exactly"; exit 2; }

"$cli" -p 90 -o out in.wav > line
out=out/in-90.wav
# Windows names the copy out\in-90.wav, and may end the line with a CR.
grep -q "^out[/\\]in-90.wav: $rate Hz -> $new_rate Hz, [0-9]*-bit.\?$" line ||
  { echo "printed: $(cat line)"; exit 1; }

cmp original.wav in.wav  # the input is untouched
[ "$(stat -c %s "$out")" = "$(stat -c %s in.wav)" ] || { echo "the copy's length differs"; exit 1; }
[ "$(u32 "$out" $((body + 4)))" = "$new_rate" ] || { echo "sample rate not patched"; exit 1; }
[ "$(u32 "$out" $((body + 8)))" = "$new_byterate" ] || { echo "byte rate not patched"; exit 1; }
# cmp -l counts from 1: the rates are bytes body+5 to body+12.
while read -r at _ _; do
  if [ "$at" -lt $((body + 5)) ] || [ "$at" -gt $((body + 12)) ]; then
    echo "byte $at changed outside the two rates"; exit 1
  fi
done < <(cmp -l in.wav "$out" || true)

# At a percentage that rounds, the byte rate still follows the sample rate
# exactly, as strict readers require of PCM and float.
u16() { od -An -tu2 --endian=$endian -j "$2" -N2 "$1" | tr -d ' '; }
align=$(u16 in.wav $((body + 12)))
"$cli" -q -p 91.5 -o odd in.wav
odd=odd/in-92.wav
if [ "$byterate" -eq $((rate * align)) ]; then
  [ "$(u32 "$odd" $((body + 8)))" -eq $(( $(u32 "$odd" $((body + 4))) * align )) ] ||
    { echo "at 91.5% the byte rate $(u32 "$odd" $((body + 8))) is not the sample rate times $align"; exit 1; }
fi

[ "$(soxi -r "$out")" = "$new_rate" ] || { echo "soxi reads $(soxi -r "$out")"; exit 1; }
probe() { ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate -of csv=p=0 "$1" 2>/dev/null; }
# ffprobe reads big-endian files of 8 and 16 bits only; soxi reads them all.
if [ "$(probe in.wav)" = "$rate" ]; then
  [ "$(probe "$out")" = "$new_rate" ] || { echo "ffprobe reads $(probe "$out")"; exit 1; }
  readers="soxi and ffprobe"
else
  readers="soxi"
fi
echo "$case: $rate Hz -> $new_rate Hz at byte $body, read back by $readers"

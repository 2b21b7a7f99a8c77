#!/usr/bin/env bash
# Makes a FLAC file the way flac or ffmpeg does, applies the plan at 90% and
# 85% to copies, and checks that flac -t passes (frame CRCs and the samples'
# MD5), that metaflac and ffprobe read the new rate, and that ffmpeg decodes
# the same samples as before. A rate no frame header can hold is refused.
# Usage: flac.sh FLAC_APPLY CASE
set -euo pipefail
apply=$(realpath "$1")
case=$2

. "$(dirname "$0")/common.sh"
need flac metaflac ffmpeg ffprobe sox md5sum
enter_workdir flac

# CASE is WRITER-RATE-BITS-CHANNELS, e.g. flac-44100-16-2.
IFS=- read -r writer rate bits channels <<<"$case"
sox -n -r "$rate" -b "$bits" -c "$channels" in.wav synth 1.5 sine 300-3000 sine 440 2>/dev/null
case $writer in
  flac) flac -s --force -o in.flac in.wav 2>encoder ;;
  flaclax) flac -s --force --lax --blocksize=8192 -o in.flac in.wav 2>encoder ;;
  ffmpeg) ffmpeg -nostdin -loglevel error -i in.wav -c:a flac in.flac ;;
  *) echo "unknown writer $writer"; exit 2 ;;
esac
cp in.flac original.flac

# 12000 Hz is given in kHz in one byte, and 10800 Hz fits no field of that size.
if [ "$rate" = 12000 ]; then
  ! "$apply" in.flac refused.flac 90 2> reason || { echo "12000 Hz at 90% was not refused"; exit 1; }
  grep -q "10800 Hz cannot be written there without moving every frame; 11000 Hz can" reason ||
    { echo "refused with: $(cat reason)"; exit 1; }
  [ ! -e refused.flac ] || { echo "a refused copy was written"; exit 1; }
  echo "$case at 90%: refused, $(cat reason)"
  exit 0
fi

samples() { ffmpeg -nostdin -loglevel error -i "$1" -c:a pcm_s32le -f s32le - | md5sum; }
probe() { ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate -of csv=p=0 "$1"; }
before=$(samples in.flac)

for percent in 90 85; do
  # printf rounds halves to even, as the planner does.
  new_rate=$(awk -v r="$rate" -v p="$percent" 'BEGIN { printf "%.0f", r * p / 100 }')
  out=out-$percent.flac
  "$apply" in.flac "$out" "$percent" > notes
  cmp original.flac in.flac  # the input is untouched
  [ "$(stat -c %s "$out")" = "$(stat -c %s in.flac)" ] || { echo "the copy's length differs"; exit 1; }
  flac -s -t "$out" || { echo "flac -t fails on the copy at $percent%"; cat notes; exit 1; }
  [ "$(metaflac --show-sample-rate "$out")" = "$new_rate" ] || { echo "metaflac reads $(metaflac --show-sample-rate "$out")"; exit 1; }
  [ "$(probe "$out")" = "$new_rate" ] || { echo "ffprobe reads $(probe "$out")"; exit 1; }
  [ "$(samples "$out")" = "$before" ] || { echo "ffmpeg decodes other samples at $percent%"; exit 1; }
  echo "$case at $percent%: $rate Hz -> $new_rate Hz; $(head -c 300 notes | tr '\n' ';')"
done


#!/usr/bin/env bash
# Stops vellora-cli in the middle of a large copy, or lets a file-size limit
# stop its write, and expects nothing left in the output directory.
# Usage: leftovers.sh VELLORA_CLI CASE, CASE being MODE-SIGNAL (named-TERM,
# unnamed-KILL, ...) or "size-limit".
set -euo pipefail
cli=$(realpath "$1")
case=$2
work=$(mktemp -d /tmp/vellora-leftovers-XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir out

# A canonical 16-bit stereo header and 1 GiB of real (not sparse) samples.
bytes=$((1 << 30))
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
{ printf RIFF; le32 $((bytes + 36)); printf 'WAVEfmt '; le32 16
  printf '\x01\x00\x02\x00'; le32 44100; le32 176400; printf '\x04\x00\x10\x00'
  printf data; le32 $bytes; head -c $bytes < <(yes vellora); } > in.wav

if [ "$case" = size-limit ]; then
  status=0
  (ulimit -f 10000; exec "$cli" -p 90 -o out in.wav) 2> err || status=$?
  [ "$status" = 1 ] || { echo "exit status $status, expected 1"; exit 1; }
  grep -q "out/in-90.wav: File too large" err || { echo "printed: $(cat err)"; exit 1; }
else
  mode=${case%-*} signal=${case#*-}
  # A background job of a script starts with SIGINT ignored; a user's Ctrl-C does not.
  VELLORA_TEMPORARY_FILES=$mode env --default-signal=INT "$cli" -p 90 -o out in.wav 2> err &
  pid=$!
  # Wait for the copy to start: a hidden file in out/, or an unnamed one among the fds.
  for _ in $(seq 2000); do
    if [ "$mode" = named ]; then
      compgen -G 'out/.vellora-*' >/dev/null && break
    else
      ls -l /proc/$pid/fd 2>/dev/null | grep -q "$work/out/#" && break
    fi
    kill -0 $pid 2>/dev/null || { echo "the copy ended before it was seen"; exit 1; }
    sleep 0.005
  done
  kill -s "$signal" $pid
  status=0
  wait $pid || status=$?
  want=$((128 + $(kill -l "$signal")))
  [ "$status" = "$want" ] || { echo "exit status $status, expected $want"; exit 1; }
fi
left=$(ls -A out)
[ -z "$left" ] || { echo "left behind: $left"; exit 1; }
echo "$case: nothing left behind"

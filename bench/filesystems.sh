#!/usr/bin/env bash
# vellora-cli against cp where copies can be shared (XFS with reflink, btrfs)
# and on a sparse input: loop file systems need root, so without it only the
# sparse case runs. Usage: filesystems.sh VELLORA_CLI
set -euo pipefail
cli=$(realpath "$1")
work=$(mktemp -d /tmp/vellora-fsbench-XXXXXX)
mounts=()
cleanup() {
  for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A canonical 16-bit stereo WAV of $2 data bytes of real samples.
wav() {
  local bytes=$2
  le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
  { printf RIFF; le32 $((bytes + 36)); printf 'WAVEfmt '; le32 16
    printf '\x01\x00\x02\x00'; le32 44100; le32 176400; printf '\x04\x00\x10\x00'
    printf data; le32 $bytes; head -c "$bytes" < <(yes vellora); } > "$1"
}

# About 1 GiB of Ogg Vorbis: one short stream, encoded once, chained again and again.
ogg() {
  sox -n -r 44100 -c 2 -b 16 "$work/noise.wav" synth 60 pinknoise vol 0.3
  oggenc -Q -q 10 -o "$work/one.ogg" "$work/noise.wav"
  local copies=$(( (1 << 30) / $(stat -c %s "$work/one.ogg") ))
  for _ in $(seq "$copies"); do cat "$work/one.ogg"; done > "$1"
}

compare() {  # compare NAME DIR FILE: cp and vellora-cli on DIR/FILE, alternating
  local name=$1 dir=$2 in=$2/$3 out=${3%.*}-90.${3##*.}
  mkdir -p "$dir/cp" "$dir/vellora"
  echo "== $name: $(du -h --apparent-size "$in" | cut -f1) input, $(du -h "$in" | cut -f1) allocated"
  hyperfine -N --warmup 2 --runs 15 --style basic \
    --prepare "rm -f $dir/cp/$out $dir/vellora/$out" \
    -n cp "cp $in $dir/cp/$out" \
    -n vellora-cli "$cli -q -p 90 -o $dir/vellora $in"
  "$cli" -q -f -p 90 -o "$dir/vellora" "$in"
  cp "$in" "$dir/cp/$out"
  echo "allocated: cp $(du -k "$dir/cp/$out" | cut -f1) KiB, vellora-cli $(du -k "$dir/vellora/$out" | cut -f1) KiB"
  rm -f "$dir/cp/$out" "$dir/vellora/$out"
}

if [ "$(id -u)" = 0 ] && command -v mkfs.xfs >/dev/null && command -v mkfs.btrfs >/dev/null; then
  for fs in xfs btrfs; do
    image=$work/$fs.img mnt=$work/$fs
    truncate -s 3G "$image"
    mkdir "$mnt"
    if [ $fs = xfs ]; then mkfs.xfs -q -m reflink=1 "$image"; else mkfs.btrfs -q "$image"; fi
    mount -o loop "$image" "$mnt" && mounts+=("$mnt") || { echo "== $fs: cannot mount a loop device here"; continue; }
    wav "$mnt/in.wav" $((1 << 30))
    compare "$fs, 1 GiB of WAV" "$mnt" in.wav
    rm "$mnt/in.wav"
    [ -f "$work/in.ogg" ] || ogg "$work/in.ogg"
    cp "$work/in.ogg" "$mnt/in.ogg"
    compare "$fs, 1 GiB of chained Ogg Vorbis" "$mnt" in.ogg
  done
else
  echo "== XFS and btrfs need root and xfsprogs/btrfs-progs; skipped"
fi

# A sparse RF64-sized input: a header, a hole of 4.5 GiB and a little data.
mkdir -p "$work/sparse"
wav "$work/sparse/in.wav" 4096
truncate -s 4608M "$work/sparse/in.wav"
compare "sparse, ext4 or whatever holds /tmp" "$work/sparse" in.wav

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

compare() {  # compare NAME DIR: cp and vellora-cli on DIR/in.wav, alternating
  local name=$1 dir=$2
  mkdir -p "$dir/cp" "$dir/vellora"
  echo "== $name: $(du -h --apparent-size "$dir/in.wav" | cut -f1) input, $(du -h "$dir/in.wav" | cut -f1) allocated"
  hyperfine -N --warmup 2 --runs 15 --style basic \
    --prepare "rm -f $dir/cp/in-90.wav $dir/vellora/in-90.wav" \
    -n cp "cp $dir/in.wav $dir/cp/in-90.wav" \
    -n vellora-cli "$cli -q -p 90 -o $dir/vellora $dir/in.wav"
  "$cli" -q -f -p 90 -o "$dir/vellora" "$dir/in.wav"
  cp "$dir/in.wav" "$dir/cp/in-90.wav"
  echo "allocated: cp $(du -k "$dir/cp/in-90.wav" | cut -f1) KiB, vellora-cli $(du -k "$dir/vellora/in-90.wav" | cut -f1) KiB"
}

if [ "$(id -u)" = 0 ] && command -v mkfs.xfs >/dev/null && command -v mkfs.btrfs >/dev/null; then
  for fs in xfs btrfs; do
    image=$work/$fs.img mnt=$work/$fs
    truncate -s 3G "$image"
    mkdir "$mnt"
    if [ $fs = xfs ]; then mkfs.xfs -q -m reflink=1 "$image"; else mkfs.btrfs -q "$image"; fi
    mount -o loop "$image" "$mnt" && mounts+=("$mnt") || { echo "== $fs: cannot mount a loop device here"; continue; }
    wav "$mnt/in.wav" $((1 << 30))
    compare "$fs, 1 GiB" "$mnt"
  done
else
  echo "== XFS and btrfs need root and xfsprogs/btrfs-progs; skipped"
fi

# A sparse RF64-sized input: a header, a hole of 4.5 GiB and a little data.
mkdir -p "$work/sparse"
wav "$work/sparse/in.wav" 4096
truncate -s 4608M "$work/sparse/in.wav"
compare "sparse, ext4 or whatever holds /tmp" "$work/sparse"

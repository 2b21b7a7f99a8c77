#!/usr/bin/env bash
# Makes a recording of another format than WAV the way a real writer does,
# converts it with vellora-cli at 90% and at 85%, in a copy, in place and
# through -c, and checks that
#   - ffmpeg decodes the very same samples before and after,
#   - ffprobe and the format's own tool (soxi, sndfile-info, ogginfo) read the new rate,
#   - the copy, the file changed in place (an MP4 only where its change lies in one
#     sector, refused otherwise) and the stream are the same bytes,
#   - the input of a copy is untouched.
# Formats that cannot change without re-encoding must be refused, leaving nothing.
# Usage: formats.sh VELLORA_CLI CASE
set -euo pipefail
cli=$(realpath "$1")
case=$2

. "$(dirname "$0")/common.sh"
need ffmpeg ffprobe cmp
enter_workdir formats

lavfi() { ffmpeg -nostdin -loglevel error -f lavfi -i "sine=frequency=440:duration=$2:sample_rate=$1" "${@:3}"; }
# Two channels of different tones, so that a swap of channels would show.
stereo() { ffmpeg -nostdin -loglevel error -f lavfi -i "aevalsrc=sin(440*2*PI*t)|0.5*sin(660*2*PI*t):s=$1:d=$2" "${@:3}"; }
refused=""
case $case in
  sox-aiff)         need sox; sox -n -r 44100 -c 2 -b 16 in.aiff synth 0.5 sine 440 sine 660 ;;
  sox-aifc-float)   need sox; sox -n -r 48000 -c 1 -e floating-point -b 32 -t aifc in.aifc synth 0.5 sine 440 ;;
  ffmpeg-aifc-sowt) stereo 44100 0.5 -c:a pcm_s16le in.aifc ;;
  ffmpeg-aiff-24)   stereo 96000 0.3 -c:a pcm_s24be in.aiff ;;
  sox-w64)          need sox; sox -n -r 96000 -c 2 -b 24 in.w64 synth 0.3 sine 440 sine 660 ;;
  sndfile-w64)      need sndfile-convert; stereo 22050 0.5 src.wav; sndfile-convert src.wav in.w64 ;;
  ffmpeg-w64)       stereo 32000 0.5 -c:a pcm_f32le in.w64 ;;
  sndfile-caf)      need sndfile-convert; stereo 44100 0.5 src.wav; sndfile-convert src.wav in.caf ;;
  ffmpeg-caf)       stereo 48000 0.5 -c:a pcm_s24le in.caf ;;
  ffmpeg-alac)      stereo 44100 1 -c:a alac in.caf ;;
  sndfile-alac)     need sndfile-convert; stereo 88200 0.5 -c:a pcm_s24le src.wav; sndfile-convert -alac24 src.wav in.caf ;;
  oggenc)           need oggenc; stereo 44100 1 src.wav; oggenc -Q -o in.ogg src.wav ;;
  ffmpeg-vorbis)    lavfi 48000 1 -c:a libvorbis in.ogg ;;
  # Stream recorders chain one logical stream after another, at any rates.
  chained-ogg)      need oggenc; stereo 44100 0.5 a.wav; lavfi 22050 0.5 b.wav
                    oggenc -Q -o a.ogg a.wav; oggenc -Q -o b.ogg b.wav; cat a.ogg b.ogg > in.ogg ;;
  opus)             refused=Opus; lavfi 48000 0.5 -c:a libopus in.opus ;;
  mp3)              refused=MP3; lavfi 44100 0.5 -c:a libmp3lame in.mp3 ;;
  m4a)              refused="AAC in MP4"; lavfi 44100 0.5 -c:a aac in.m4a ;;
  # Apple Lossless with the index after the audio, before it, and in fragments.
  alac-m4a)         stereo 44100 1 -c:a alac in.m4a ;;
  alac-m4a-first)   stereo 48000 0.5 -c:a alac -movflags +faststart in.m4a ;;
  alac-m4a-frag)    stereo 96000 0.5 -c:a alac -movflags frag_keyframe+empty_moov in.m4a ;;
  sox-au)           need sox; sox -n -r 44100 -c 2 -b 16 in.au synth 0.5 sine 440 sine 660 ;;
  python-au)        need python3; python3 -W ignore -c 'import sunau, math
f = sunau.open("in.au", "w"); f.setnchannels(1); f.setsampwidth(2); f.setframerate(22050)
f.writeframes(b"".join(int(9000 * math.sin(i / 7)).to_bytes(2, "big", signed=True) for i in range(11025)))
f.close()' ;;
  sox-sphere)       need sox; sox -n -r 16000 -c 1 -b 16 in.sph synth 0.5 sine 440 ;;
  # BS.2088 names RF64's layout BW64.
  bw64)             stereo 48000 0.5 -rf64 always src.wav; { printf BW64; tail -c +5 src.wav; } > in.wav ;;
  ac3)              refused=AC-3; lavfi 48000 0.5 -c:a ac3 in.ac3 ;;
  # WavPack gives common rates by a code, others in every block: the source rate is one of the latter.
  wavpack)          need wavpack; stereo 37000 0.5 src.wav; wavpack -q src.wav -o in.wv ;;
  wavpack-raw)      need wavpack; stereo 37000 0.5 src.wav; wavpack -q -r src.wav -o in.wv ;;
  wavpack-hybrid)   need wavpack; stereo 37000 0.5 src.wav; wavpack -q -b300 -c src.wav -o in.wv ;;
  *) echo "unknown case $case"; exit 2 ;;
esac
in=$(ls in.* | grep -v '\.wvc$')
ext=${in##*.}
cp "$in" original

if [ -n "$refused" ]; then
  if "$cli" -o out "$in" 2> err; then echo "converted what it must refuse"; exit 1; fi
  grep -q "is not a format whose speed Vellora can change without re-encoding: .*$refused" err ||
    { echo "said: $(cat err)"; exit 1; }
  [ ! -e "out/in-90.$ext" ] || { echo "left a copy behind"; exit 1; }
  if "$cli" --in-place "$in" 2> /dev/null; then echo "changed in place what it must refuse"; exit 1; fi
  cmp original "$in"
  echo "$case: refused, nothing written"
  exit 0
fi

# A rate times a percentage, rounded half to even.
scaled() {
  local q=$(( $1 * $2 / 100 )) r=$(( $1 * $2 % 100 ))
  if [ $r -gt 50 ] || { [ $r -eq 50 ] && [ $((q % 2)) -eq 1 ]; }; then q=$((q + 1)); fi
  echo $q
}
rate() { ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate -of csv=p=0 "$1"; }
# Every link of a chained Ogg file, or the one stream of the others.
ogg_rates() { ogginfo "$1" | sed -n 's/^Rate: //p' | tr '\n' ' '; }
own_rate() {
  case $ext in
    ogg) ogg_rates "$1" ;;
    caf) need sndfile-info; sndfile-info "$1" | sed -n 's/^Sample Rate : //p' ;;
    # The media timescale, which counts samples: ffprobe's time base.
    # wvunpack, and the WAV it unpacks where the file keeps its header.
    wv) need wvunpack soxi; wvunpack -s "$1" | sed -n 's/^source: .* at \([0-9]*\) Hz$/\1/p'
        if [ "$case" != wavpack-raw ]; then wvunpack -q -y "$1" -o unpacked.wav && soxi -r unpacked.wav; fi ;;
    m4a) ffprobe -v error -select_streams a:0 -show_entries stream=time_base -of csv=p=0 "$1" | cut -d/ -f2 ;;
    # No second reader Debian has knows BW64.
    *) if [ "$case" = bw64 ]; then rate "$1"; else need soxi; soxi -r "$1"; fi ;;
  esac
}
duration() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1"; }
decode() { ffmpeg -nostdin -v error -i "$1" -map 0:a -f f64le - | md5sum | cut -d' ' -f1; }
# ffmpeg would resample a chain's later links to the first one's rate: each
# link is decoded on its own, split where the second file began.
samples() {
  if [ "$case" = chained-ogg ]; then
    local first; first=$(stat -c %s a.ogg)
    head -c "$first" "$1" > link1.ogg; tail -c +$((first + 1)) "$1" > link2.ogg
    echo "$(decode link1.ogg) $(decode link2.ogg)"
  else
    decode "$1"
  fi
}
[ "$ext" != ogg ] || need ogginfo
before_samples=$(samples "$in")
old=$(rate "$in")
old_own=$(own_rate "$in")

for percent in 90 85; do
  "$cli" -p $percent -o out "$in" > line
  copy=out/in-$percent.$ext
  new=$(scaled "$old" $percent)
  # Windows names the copy out\in-90.aiff.
  grep -q "^out[/\\]in-$percent.$ext: $old Hz -> $new Hz" line || { echo "printed: $(cat line)"; exit 1; }
  cmp original "$in"  # the input is untouched
  [ "$(stat -c %s "$copy")" = "$(stat -c %s "$in")" ] || { echo "the copy's length differs"; exit 1; }
  [ "$(rate "$copy")" = "$new" ] || { echo "ffprobe reads $(rate "$copy") at $percent%"; exit 1; }
  [ "$(samples "$copy")" = "$before_samples" ] || { echo "the decoded samples differ at $percent%"; exit 1; }
  # The format's own tool: every rate scaled, each link of a chain by its own.
  expected_own=""
  for r in $old_own; do expected_own+="$(scaled "$r" $percent) "; done
  [ "$(echo $(own_rate "$copy"))" = "$(echo $expected_own)" ] ||
    { echo "its own tool reads $(own_rate "$copy"), not $expected_own"; exit 1; }

  if [ "$ext" = wv ]; then
    # Every block changes: neither a stream nor the file itself converts.
    if "$cli" -q -p $percent -c - < "$in" > streamed 2> /dev/null; then echo "streamed WavPack"; exit 1; fi
    [ ! -s streamed ] || { echo "wrote part of a refused stream"; exit 1; }
    if [ -e in.wvc ]; then
      # The correction file converts alike, and with it the copy unpacks to the very samples of the original.
      "$cli" -q -p $percent -o out in.wvc
      wvunpack -q -v "$copy"
      [ "$(wvunpack -q -r -y "$copy" -o - | md5sum)" = "$(wvunpack -q -r -y "$in" -o - | md5sum)" ] ||
        { echo "the copy and its correction file unpack to other samples at $percent%"; exit 1; }
    fi
    continue
  fi
  if [ "$ext" = m4a ]; then
    # The copy plays longer or shorter by the factor.
    awk -v a="$(duration "$in")" -v b="$(duration "$copy")" -v p=$percent \
      'BEGIN { d = a * 100 / p - b; exit !(d < 0.002 && d > -0.002) }' ||
      { echo "lasts $(duration "$copy") s at $percent%"; exit 1; }
    # Its index may follow the audio: a stream is refused before it writes.
    if "$cli" -q -p $percent -c - < "$in" > streamed 2> /dev/null; then echo "streamed an MP4"; exit 1; fi
    [ ! -s streamed ] || { echo "wrote part of a refused stream"; exit 1; }
  else
    # The same bytes through a pipe and in the file itself, where that is one write.
    "$cli" -q -p $percent -c - < "$in" | cat > streamed
    cmp "$copy" streamed
  fi
  cp "$in" changed.$ext
  if [ "$case" = chained-ogg ]; then
    if "$cli" -q -p $percent --in-place changed.$ext 2> err; then echo "changed a chain in place"; exit 1; fi
    cmp original changed.$ext
  elif "$cli" -q -p $percent --in-place changed.$ext 2> err; then
    cmp "$copy" changed.$ext
  else
    # An MP4's rates lie in several boxes, which may cross from one sector into the next.
    [ "$ext" = m4a ] && grep -q "more than one 512-byte sector" err || { echo "in place: $(cat err)"; exit 1; }
    cmp original changed.$ext
  fi
done
if [ "$ext" = wv ]; then
  # A common rate is given by its code; a rate between them is refused, naming the nearest.
  stereo 44100 0.3 common.wav; wavpack -q common.wav -o common.wv
  "$cli" -q -r 48000 -o out common.wv
  [ "$(rate out/common-48000Hz.wv)" = 48000 ] && [ "$(samples out/common-48000Hz.wv)" = "$(samples common.wv)" ] ||
    { echo "44100 Hz did not become 48000 Hz with the same samples"; exit 1; }
  if "$cli" -p 90 -o out common.wv 2> err; then echo "wrote 39690 Hz without a rate sub-block"; exit 1; fi
  grep -q "39690 Hz cannot be written without moving every block; 32000 Hz can" err || { echo "said: $(cat err)"; exit 1; }
fi
echo "$case: $old Hz -> $(scaled "$old" 90) and $(scaled "$old" 85) Hz, same samples, read back by ffprobe and its own tool"

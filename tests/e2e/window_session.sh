# Sourced by the window tests.

# Skips the test (exit 77) unless the tools named and an X server are there.
# Usage: need_x_tools TOOL...
need_x_tools() {
  local tool
  for tool in xvfb-run "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
  done
  xvfb-run -a true 2>/dev/null || { echo "SKIP: Xvfb cannot start here"; exit 77; }
}

# Makes WORK, a directory removed when the script ends, with an opener in it.
# Usage: make_work NAME
make_work() {
  WORK=$(mktemp -d "/tmp/$1-XXXXXX")
  trap 'rm -rf "$WORK"' EXIT
  fake_opener
}

# The classic 8-point font, at which the window has its designed places, and
# an empty drive C: holding a temp folder, both in $WORK.  Usage: classic_drive
classic_drive() {
  desktop_font 8 "$WORK/config"
  export VELLORA_DRIVE_C=$WORK/c
  mkdir -p "$VELLORA_DRIVE_C/temp"
}

# Gives the window a desktop of its own in $WORK/desktop: private XDG folders
# in which a player that only notes each argument it is given, a line each,
# in $WORK/opened, is the application for WAV files and folders, so no test
# starts a real program. The choice lies in the data folder, where a
# desktop_font after it leaves it.  Usage: fake_opener
fake_opener() {
  local desktop=$WORK/desktop
  mkdir -p "$desktop/data/applications" "$desktop/config"
  printf '#!/bin/sh\nprintf "%%s\\n" "$@" >> "%s/opened"\n' "$WORK" > "$desktop/player"
  chmod +x "$desktop/player"
  printf '[Desktop Entry]\nType=Application\nName=Player\nExec=%s %%f\nMimeType=%s\n' "$desktop/player" \
    'audio/x-wav;audio/wav;audio/vnd.wave;inode/directory;' > "$desktop/data/applications/player.desktop"
  printf '[Default Applications]\naudio/x-wav=player.desktop\ninode/directory=player.desktop\n' \
    > "$desktop/data/applications/mimeapps.list"
  export XDG_DATA_HOME=$desktop/data XDG_CONFIG_HOME=$desktop/config
}

# A canonical 16-bit stereo WAV file of 1024 bytes of audio at RATE samples a
# second.  Usage: wav FILE RATE
wav() {
  /usr/bin/python3 - "$1" "$2" <<'PY'
import struct, sys
rate = int(sys.argv[2])
data = bytes(range(256)) * 4
fmt = struct.pack('<HHIIHH', 1, 2, rate, rate * 4, 4, 16)
with open(sys.argv[1], 'wb') as f:
    f.write(b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVEfmt ' + struct.pack('<I', 16) + fmt
            + b'data' + struct.pack('<I', len(data)) + data)
PY
}

# Gives the window the application font a KDE desktop would, at POINTS
# points, through a private kdeglobals.  Usage: desktop_font POINTS CONFIG_DIRECTORY
desktop_font() {
  mkdir -p "$2"
  printf '[General]\nfont=DejaVu Sans,%s,-1,5,50,0,0,0,0,0\n' "$1" > "$2/kdeglobals"
  export XDG_CONFIG_HOME=$2 XDG_CURRENT_DESKTOP=KDE KDE_SESSION_VERSION=5 KDE_FULL_SESSION=true
}

# Starts VELLORA with the given arguments, waits for its window and focuses
# it; sets wid, and kills the program when the calling script ends.
# Its output goes to $WORK/stdout.  Usage: start_window [ARGUMENT...]
start_window() {
  "$VELLORA" "$@" >"$WORK/stdout" 2>&1 &
  app=$!
  trap 'kill $app 2>/dev/null || true' EXIT
  wid=
  for _ in $(seq 100); do
    wid=$(xdotool search --onlyvisible --name '^Vellora$' 2>/dev/null | head -1 || true)
    [ -n "$wid" ] && break
    sleep 0.1
  done
  [ -n "$wid" ] || { echo "the window did not appear"; cat "$WORK/stdout"; exit 1; }
  xdotool windowfocus --sync "$wid"
}

# Sourced by the window tests.

# Gives the window the application font a KDE desktop would, at POINTS
# points, through a private kdeglobals.  Usage: desktop_font POINTS CONFIG_DIRECTORY
desktop_font() {
  mkdir -p "$2"
  printf '[General]\nfont=DejaVu Sans,%s,-1,5,50,0,0,0,0,0\n' "$1" > "$2/kdeglobals"
  export XDG_CONFIG_HOME=$2 XDG_CURRENT_DESKTOP=KDE KDE_SESSION_VERSION=5 KDE_FULL_SESSION=true
}

# Gives the window a desktop of its own, in DIRECTORY: the shell command
# PLAYER, made a script, is the application for WAV files and folders, so
# no test starts a real program. A desktop_font after it keeps the desktop:
# the choice is also read from the data folder.  Usage: fake_desktop DIRECTORY PLAYER
fake_desktop() {
  local apps=$1/data/applications
  mkdir -p "$apps" "$1/config"
  printf '#!/bin/sh\n%s\n' "$2" > "$1/player"
  chmod +x "$1/player"
  printf '[Desktop Entry]\nType=Application\nName=Player\nExec=%s %%f\nMimeType=%s\n' "$1/player" \
    'audio/x-wav;audio/wav;audio/vnd.wave;inode/directory;' > "$apps/vellora-test-player.desktop"
  printf '[Default Applications]\naudio/x-wav=vellora-test-player.desktop\ninode/directory=vellora-test-player.desktop\n' \
    > "$apps/mimeapps.list"
  export XDG_DATA_HOME=$1/data XDG_CONFIG_HOME=$1/config
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

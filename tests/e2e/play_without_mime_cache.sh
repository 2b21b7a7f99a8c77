#!/usr/bin/env bash
# vellora-cli --play finds a player whose desktop entry no mimeinfo.cache lists
# (no desktop-file-utils), in private XDG folders. Usage: SCRIPT VELLORA_CLI DESKTOP_ENTRY
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/system/applications" && ln -s /usr/share/mime "$work/system/mime" && cd "$work"
cp "$2" system/applications/
printf '#!/bin/sh\necho "$1" > %s/opened\n' "$work" > player && chmod +x player
printf '[Desktop Entry]\nType=Application\nName=Player\nExec=%s %%f\nMimeType=audio/wav;\n' "$work/player" \
  > system/applications/player.desktop
printf 'RIFF\x28\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x80\x3e\0\0\x02\0\x10\0data\x04\0\0\0\0\0\0\0' > talk.wav
env -i PATH="$PATH" HOME="$work" XDG_DATA_DIRS="$work/system" DBUS_SESSION_BUS_ADDRESS=disabled: \
  "$1" --play -p 90 talk.wav || { echo "FAIL: --play exits $?"; exit 1; }
for _ in $(seq 50); do [[ -s opened ]] && break; sleep 0.1; done
[[ $(cat opened 2>/dev/null) == "$work/temp/vellora/talk-90.wav" ]] || { echo "FAIL: no player opened the copy"; exit 1; }

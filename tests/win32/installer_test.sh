#!/usr/bin/env bash
# Installs the Windows installer silently under Wine, runs the installed
# vellora-cli.exe on a file, uninstalls, and checks that nothing it put in
# place is left. Usage: installer_test.sh Vellora-VERSION-win64.exe VERSION
set -euo pipefail
installer=$(realpath "$1")
version=$2
: "${WINEPREFIX:?}"
[ -f "$installer" ] || { echo "no installer at $installer; build it with cpack"; exit 1; }
command -v sox >/dev/null || { echo "SKIP: sox is missing"; exit 77; }

c=$WINEPREFIX/drive_c
home="$c/Program Files/Vellora"
app='HKLM\Software\Classes\Applications\vellora.exe'
fail() { echo "FAIL: $*"; exit 1; }
shortcut() { find "$c" -path '*Start Menu*' -name Vellora.lnk 2>/dev/null | head -1; }

wine "$installer" /S
wineserver -w
[ -f "$home/bin/vellora-cli.exe" ] || fail "vellora-cli.exe is not in $home/bin"
[ -f "$home/vellora.ico" ] || fail "the icon is not installed"
[ -f "$home/Uninstall.exe" ] || fail "there is no uninstaller"
[ -n "$(shortcut)" ] || fail "no Start-menu entry"
command=$(wine reg query "$app\\shell\\open\\command" /reg:64 2>/dev/null || true)
grep -q 'vellora.exe" "%1"' <<<"$command" ||
  fail "no Open-with command for .wav"

printed=$(wine 'C:\Program Files\Vellora\bin\vellora-cli.exe' --version | tr -d '\r')
[ "$printed" = "vellora-cli $version" ] || fail "the installed program says '$printed'"
mkdir -p "$c/temp"
sox -n -r 44100 -c 2 -b 16 "$c/temp/installed.wav" synth 0.1 sine 440
wine 'C:\Program Files\Vellora\bin\vellora-cli.exe' -p 90 -o 'C:\temp\installed' 'C:\temp\installed.wav' |
  grep -q '44100 Hz -> 39690 Hz' || fail "the installed program did not convert"
rm -rf "$c/temp/installed.wav" "$c/temp/installed"

wine "$home/Uninstall.exe" /S
wineserver -w  # the uninstaller runs on from a copy of itself
[ ! -e "$home" ] || fail "left behind: $(find "$home")"
[ -z "$(shortcut)" ] || fail "the Start-menu entry is left"
for key in "$app" 'HKLM\Software\Vellora' 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellora'; do
  if wine reg query "$key" /reg:64 >/dev/null 2>&1; then fail "the registry key $key is left"; fi
done
echo "installed, ran and uninstalled $(basename "$installer")"

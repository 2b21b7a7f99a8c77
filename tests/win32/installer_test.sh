#!/usr/bin/env bash
# Installs the Windows installer silently under Wine, checks what Explorer,
# Settings and admins' tools read of it, runs the installed vellora-cli.exe
# on a file, uninstalls while it runs (which must keep everything) and after
# it ended, and checks that nothing it put in place is left.
# Usage: installer_test.sh Vellora-VERSION-win64.exe VERSION
set -euo pipefail
installer=$(realpath "$1")
version=$2
: "${WINEPREFIX:?}"
[ -f "$installer" ] || { echo "no installer at $installer; build it with cpack"; exit 1; }
command -v sox >/dev/null || { echo "SKIP: sox is missing"; exit 77; }
command -v wrestool >/dev/null || { echo "SKIP: icoutils is missing"; exit 77; }

c=$WINEPREFIX/drive_c
home="$c/Program Files/Vellora"
app='HKLM\Software\Classes\Applications\vellora.exe'
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellora'
fail() { echo "FAIL: $*"; exit 1; }
shortcut() { find "$c" -path '*Start Menu*' -name "${1:-Vellora}.lnk" 2>/dev/null | head -1; }

# The version resource and the icon of a program or of the installer, and
# its manifest's settings.  Usage: described FILE DESCRIPTION
described() {
  local strings
  strings=$(wrestool -x --raw -t 16 "$1" | strings -e l | tr '\n' '|')
  for field in "ProductName|Vellora|" "ProductVersion|$version|" "FileDescription|$2|" \
               "LegalCopyright|Copyright (c) "; do
    grep -qF "$field" <<<"$strings" || fail "$(basename "$1") lacks $field in its version resource"
  done
  wrestool -x -t 14 "$1" > "$work/icon.ico"
  for size in 48 256; do
    icotool -l "$work/icon.ico" | grep -q -- "--width=$size --height=$size" ||
      fail "$(basename "$1")'s icon has no $size px image"
  done
}
manifest() { wrestool -x --raw -t 24 "$1"; }

work=$(mktemp -d)
holder=
trap '[ -z "$holder" ] || kill "$holder" 2>/dev/null || true; rm -rf "$work"' EXIT
described "$installer" "Vellora Setup"
manifest "$installer" | grep -q '<dpiAware[^>]*>true' || fail "the installer is not DPI-aware"
grep -q 'MUI_PAGE_LICENSE ".*/LICENSE"' "$(dirname "$installer")/_CPack_Packages/win64/NSIS/project.nsi" ||
  fail "the installer's licence page does not show LICENSE"

wine "$installer" /S
wineserver -w
[ -f "$home/bin/vellora-cli.exe" ] || fail "vellora-cli.exe is not in $home/bin"
[ -f "$home/vellora.ico" ] || fail "the icon is not installed"
[ -f "$home/Uninstall.exe" ] || fail "there is no uninstaller"
[ -n "$(shortcut)" ] || fail "no Start-menu entry"
[ -z "$(shortcut Uninstall)" ] || fail "an Uninstall shortcut in the Start menu"
grep -q '^MIT License' "$home/bin/LICENSE.txt" || fail "the licence is not beside the programs"
described "$home/bin/vellora.exe" "Vellora"
described "$home/bin/vellora-cli.exe" "Vellora command-line converter"
manifest "$home/bin/vellora-cli.exe" | grep -q '<longPathAware[^>]*>true' || fail "vellora-cli.exe is not long-path aware"
values=$(wine reg query "$entry" /reg:64 2>/dev/null | tr -d '\r')
grep -q 'InstallLocation *REG_SZ *C:\\Program Files\\Vellora$' <<<"$values" || fail "no InstallLocation: $values"
grep -qF 'QuietUninstallString    REG_SZ    "C:\Program Files\Vellora\Uninstall.exe" /S' <<<"$values" ||
  fail "no QuietUninstallString: $values"
size=$(sed -n 's/.*EstimatedSize *REG_DWORD *//p' <<<"$values")
[ -n "$size" ] && (( size > 100 )) || fail "no EstimatedSize in kilobytes: $values"
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

# Uninstalling while Vellora runs would strand it: a vellora-cli.exe waits
# for its standard input, and the uninstaller must leave all as it was. A
# process of its own holds the pipe open, so that no Wine process inherits it.
mkfifo "$work/input"
sleep 300 >"$work/input" 2>/dev/null &
holder=$!
wine 'C:\Program Files\Vellora\bin\vellora-cli.exe' -c - <"$work/input" >/dev/null 2>&1 &
running=$!
for _ in $(seq 100); do pgrep -f 'vellora-cli.exe -c -' >/dev/null && break; sleep 0.1; done
sleep 2  # Wine maps the program's file a moment after the process appears
# Uninstall.exe hands over to a copy of itself and exits 0 at once; the copy,
# run here as NSIS runs it, returns the uninstaller's own status.
mkdir -p "$c/temp/uninstaller"
cp "$home/Uninstall.exe" "$c/temp/uninstaller/"
status=0
# NSIS takes all after _?= as the folder: cmd hands the line over unquoted.
wine cmd /c 'C:\temp\uninstaller\Uninstall.exe /S _?=C:\Program Files\Vellora' || status=$?
[ "$status" -ne 0 ] || fail "the silent uninstall reported success while Vellora ran"
wine "$home/Uninstall.exe" /S
for _ in $(seq 100); do pgrep -f 'nsu.*\.tmp' >/dev/null || break; sleep 0.2; done
# Installing again over a running Vellora: no box, no wait, status 2, nothing changed.
status=0
timeout 120 wine "$installer" /S || status=$?
[ "$status" -eq 2 ] || fail "a silent install over a running Vellora ended with status $status, not 2"
[ -f "$home/bin/vellora-cli.exe" ] && [ -f "$home/bin/vellora.exe" ] || fail "uninstalling removed a running Vellora's files"
wine reg query "$entry" /reg:64 >/dev/null 2>&1 || fail "uninstalling a running Vellora removed its entry"
[ -n "$(shortcut)" ] || fail "uninstalling a running Vellora removed its Start-menu entry"
kill "$holder"
wait "$running" || true

# Once it has ended, the same silent install replaces the earlier one.
timeout 120 wine "$installer" /S || fail "a silent install over an idle Vellora ended with status $?"
wineserver -w
[ -f "$home/bin/vellora-cli.exe" ] && [ -f "$home/Uninstall.exe" ] || fail "reinstalling left no programs"
wine reg query "$entry" /reg:64 >/dev/null 2>&1 || fail "reinstalling left no uninstall entry"

# Pointed at a folder that is not its installation, the uninstaller refuses.
cp "$home/Uninstall.exe" "$c/temp/uninstaller/"
status=0
wine cmd /c 'C:\temp\uninstaller\Uninstall.exe /S _?=C:\temp' || status=$?
[ "$status" -eq 2 ] || fail "the uninstaller pointed at C:\temp ended with status $status, not 2"
wine reg query "$entry" /reg:64 >/dev/null 2>&1 || fail "the refused uninstall removed the entry"

# The quoted form that cmd and PowerShell give a path with spaces, as Wine
# quotes an argument with spaces.
wine 'C:\temp\uninstaller\Uninstall.exe' /S '_?=C:\Program Files\Vellora' ||
  fail "the quoted uninstall command ended with status $?"
wineserver -w  # NSIS hands a quoted folder over to a copy of the uninstaller
rm -rf "$c/temp/uninstaller"
[ ! -e "$home" ] || fail "left behind: $(find "$home")"
[ -z "$(shortcut)" ] || fail "the Start-menu entry is left"
for key in "$app" 'HKLM\Software\Vellora' "$entry"; do
  if wine reg query "$key" /reg:64 >/dev/null 2>&1; then fail "the registry key $key is left"; fi
done
echo "installed, ran and uninstalled $(basename "$installer")"

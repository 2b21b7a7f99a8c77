#!/usr/bin/env bash
# The window program's own command line: --version, -V and --help answer
# with a display set but out of reach (a stale DISPLAY, ssh without X
# forwarding), and the manual page shows C:\temp\vellora as it is written.
# Usage: window_command_line.sh VELLORA MANUAL_PAGE
set -euo pipefail
vellora=$1
manual=$2
fail() { echo "FAIL: $*"; exit 1; }

unset WAYLAND_DISPLAY QT_QPA_PLATFORM
for option in --version -V; do
  out=$(DISPLAY=:97 "$vellora" "$option" 2>&1) || fail "$option exits $?: $out"
  [[ $out =~ ^vellora\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "$option prints '$out'"
done
out=$(DISPLAY=:97 "$vellora" --help 2>&1) || fail "--help exits $?: $out"
for word in 'Usage: vellora' '-V, --version' '-h, --help' FILE; do
  [[ $out == *"$word"* ]] || fail "--help does not mention '$word': $out"
done
echo "--version, -V and --help answer without a display"

command -v man >/dev/null || { echo "SKIP: man is missing"; exit 77; }
page=$(MANWIDTH=80 man -l "$manual" 2>/dev/null)
[[ $page == *'C:\temp\vellora,'* ]] || fail "the manual page shows: $(grep -o 'C:[^ ]*vellora' <<<"$page")"
[[ $page == *'-V, --version'* ]] || fail "the manual page names no -V"
echo "the manual page shows C:\\temp\\vellora"

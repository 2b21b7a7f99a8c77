#!/usr/bin/env bash
# The window program's own command line: --version, -V and --help answer
# with a display set but out of reach (a stale DISPLAY, ssh without X
# forwarding), the window itself says why it cannot start, and the manual page shows C:\temp\vellora as it is written.
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

# A display that is gone, or a Wayland socket that answers nothing, ends in a
# message naming the way out and status 1, not Qt's abort (134).
for session in DISPLAY=:97 'WAYLAND_DISPLAY=vellora-none XDG_SESSION_TYPE=wayland'; do
  status=0
  out=$(env -u DISPLAY $session XDG_RUNTIME_DIR="${TMPDIR:-/tmp}" timeout 20 "$vellora" 2>&1) || status=$?
  [[ $status == 1 ]] || fail "$session: the window exits $status: $out"
  [[ $out == *'cannot reach a graphical session'*vellora-cli* ]] || fail "$session: the window says: $out"
done
echo "an unreachable display ends with a message and status 1"

command -v man >/dev/null || { echo "SKIP: man is missing"; exit 77; }
page=$(MANWIDTH=80 man -l "$manual" 2>/dev/null)
[[ $page == *'C:\temp\vellora,'* ]] || fail "the manual page shows: $(grep -o 'C:[^ ]*vellora' <<<"$page")"
[[ $page == *'-V, --version'* ]] || fail "the manual page names no -V"
echo "the manual page shows C:\\temp\\vellora"

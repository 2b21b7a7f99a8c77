#!/usr/bin/env bash
# Runs a Windows program under Wine in an X server of its own, with a Wine
# session of its own on it. Usage: under_xvfb.sh PROGRAM.EXE [ARGUMENTS...]
set -euo pipefail
: "${WINEPREFIX:?}"
for tool in wine wineserver xvfb-run; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
if ! xvfb-run -a true 2>/dev/null; then echo "SKIP: Xvfb cannot start here"; exit 77; fi
wineserver -k 2>/dev/null || true
wineserver -w
status=0
xvfb-run -a -s "-screen 0 640x400x24" wine "$@" || status=$?
wineserver -k 2>/dev/null || true
exit $status

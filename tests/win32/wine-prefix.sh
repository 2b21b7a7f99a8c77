#!/usr/bin/env bash
# Makes the Wine prefix the Windows tests share, once: the first start of
# Wine builds it, which takes a while. Usage: wine-prefix.sh
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX names the prefix to make}"
command -v wine >/dev/null || { echo "SKIP: wine is missing"; exit 77; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # No Mono or Gecko: nothing here needs them, and asking for them would wait.
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot --init >/dev/null 2>&1
fi
wineserver -w
mkdir -p "$WINEPREFIX/drive_c/temp"

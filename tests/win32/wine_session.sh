# Sourced by the tests that drive Wine's windows under Xvfb.

# Runs the calling script again inside an X server of its own, once the tools
# it needs are there; returns only when already inside one.
# in_own_x_server SCRIPT OUTPUT_DIR EXTRA_TOOL... -- SCRIPT_ARGUMENT...
in_own_x_server() {
  [ -z "${VELLORA_E2E_X:-}" ] || return 0
  local script=$1 outdir=$2 tool
  shift 2
  local tools=(wine wineserver xvfb-run xdotool import)
  while [ "$1" != -- ]; do tools+=("$1"); shift; done
  shift
  for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
  done
  if ! xvfb-run -a true 2>/dev/null; then echo "SKIP: Xvfb cannot start here"; exit 77; fi
  mkdir -p "$outdir"
  VELLORA_E2E_X=1 exec xvfb-run -a -s "-screen 0 640x400x24" "$script" "$@"
}

# A session of our own on this display, not one another test left running.
new_wine_session() {
  wineserver -k 2>/dev/null || true
  wineserver -w
}

wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
}

# Sourced by the tests that drive Wine's windows under Xvfb.

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

#!/usr/bin/env bash
# Stops vellora-cli in the middle of a large copy, or lets a file-size limit
# stop its write, and expects nothing left in the output directory.
# Usage: leftovers.sh VELLORA_CLI CASE, CASE being one of
#   named-signals   each signal whose default ends a process, with a hidden temporary
#   named-ignored   a signal the caller ignores stays ignored
#   named-KILL      what SIGKILL leaves, removed by the next conversion; a live run's kept
#   unnamed-TERM, unnamed-KILL, size-limit
#   pid1            TERM and INT still end it as the first process of a PID namespace
set -euo pipefail
cli=$(realpath "$1")
case=$2
work=$(mktemp -d /tmp/vellora-leftovers-XXXXXX)
started=()
cleanup() {
  for pid in "${started[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
mkdir out
ulimit -c 0  # the signals that dump core must not leave a core file either

# A canonical 16-bit stereo header and `bytes` of real (not sparse) samples.
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
wav() {
  local bytes=$1
  { printf RIFF; le32 $((bytes + 36)); printf 'WAVEfmt '; le32 16
    printf '\x01\x00\x02\x00'; le32 44100; le32 176400; printf '\x04\x00\x10\x00'
    printf data; le32 "$bytes"; head -c "$bytes" < <(yes vellora); }
}
wav $((1 << 30)) > in.wav

fail() { echo "$*"; exit 1; }
expect_empty() {
  local left
  left=$(ls -A out)
  [ -z "$left" ] || fail "$1: left behind: $left"
}

# Starts a conversion of in.wav in the background, with the signal
# dispositions `env` is given, and waits until its copy is under way.
pid=
start() {
  local mode=$1; shift
  VELLORA_TEMPORARY_FILES=$mode env "$@" "$cli" -f -p 90 -o out in.wav 2>> err &
  pid=$!
  started+=("$pid")
  # A hidden file in out/, or an unnamed one among the fds.
  for _ in $(seq 2000); do
    if [ "$mode" = named ]; then
      compgen -G 'out/.vellora-*' > /dev/null && return
    else
      ls -l "/proc/$pid/fd" 2>/dev/null | grep -q "$work/out/#" && return
    fi
    kill -0 "$pid" 2>/dev/null || fail "the copy ended before it was seen"
    sleep 0.005
  done
  fail "the copy never started"
}

# Sends `signal` and expects the process to end by it.
stop() {
  local signal=$1 status=0
  kill -s "$signal" "$pid"
  wait "$pid" || status=$?
  local want=$((128 + $(kill -l "$signal")))
  [ "$status" = "$want" ] || fail "$signal: exit status $status, expected $want"
}

case $case in
  named-signals)
    # Every signal whose default action ends the process, but KILL. A
    # sanitizer's own handlers for faults would take those first.
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}handle_segv=0:handle_sigbus=0:handle_sigfpe=0"
    signals="HUP INT QUIT ILL TRAP ABRT BUS FPE USR1 SEGV USR2 PIPE ALRM TERM STKFLT XCPU
             VTALRM PROF IO PWR SYS RTMIN RTMIN+1 RTMAX-1 RTMAX"
    for signal in $signals; do
      # A script's background jobs start with INT and QUIT ignored; a user's program does not.
      start named --default-signal
      stop "$signal"
      expect_empty "$signal"
    done
    ;;
  named-ignored)
    start named --ignore-signal=USR1
    # Stopped, it holds its signals until it goes on, and then takes USR1,
    # the lower, first: it ends by TERM only if USR1 stayed ignored. (A
    # sleep between the two let a fast copy finish first.)
    kill -s STOP "$pid"
    kill -s USR1 "$pid"
    stop_status=0
    kill -s TERM "$pid"
    kill -s CONT "$pid"
    wait "$pid" || stop_status=$?
    [ "$stop_status" = $((128 + $(kill -l TERM))) ] || fail "with USR1 ignored: exit status $stop_status, expected TERM's"
    expect_empty TERM
    ;;
  named-KILL)
    start named
    stop KILL
    [ -n "$(ls -A out)" ] || fail "SIGKILL left nothing to remove"
    wav 1000 > small.wav
    "$cli" -f -p 90 -o out small.wav > /dev/null 2>> err
    [ "$(ls -A out)" = small-90.wav ] || fail "the next conversion left: $(ls -A out)"
    # A run that is still at work, stopped with its temporary in out/, keeps it.
    start named
    kill -s STOP "$pid"
    live=$(ls -A out | grep -vxF small-90.wav)
    "$cli" -f -p 90 -o out small.wav > /dev/null 2>> err
    [ "$(ls -A out | grep -vxF small-90.wav)" = "$live" ] || fail "the live temporary $live was not kept"
    kill -s CONT "$pid"
    stop TERM
    rm out/small-90.wav
    expect_empty "a later TERM"
    ;;
  unnamed-TERM | unnamed-KILL)
    start unnamed
    stop "${case#*-}"
    expect_empty "${case#*-}"
    ;;
  pid1)
    # A container's entrypoint: the system ignores a signal's default action
    # for the first process of a PID namespace.
    [ "$(id -u)" = 0 ] && unshare -fp --mount-proc true 2> /dev/null || { echo "pid1: needs root and unshare"; exit 77; }
    for signal in TERM INT; do
      start named --default-signal unshare -fp --mount-proc
      inner=$(pgrep -P "$pid")
      started+=("$inner")
      [ "$(awk '$1 == "NSpid:" { print $3 }' "/proc/$inner/status")" = 1 ] || fail "not the first process"
      kill -s "$signal" "$inner"
      status=0
      wait "$pid" || status=$?
      [ "$status" = $((128 + $(kill -l "$signal"))) ] || fail "$signal as PID 1: exit status $status"
      expect_empty "$signal as PID 1"
    done
    ;;
  size-limit)
    status=0
    (ulimit -f 10000; exec "$cli" -p 90 -o out in.wav) 2> err || status=$?
    [ "$status" = 1 ] || fail "exit status $status, expected 1"
    grep -q "out/in-90.wav: File too large" err || fail "printed: $(cat err)"
    expect_empty size-limit
    ;;
  *) fail "no case $case" ;;
esac
echo "$case: nothing left behind"

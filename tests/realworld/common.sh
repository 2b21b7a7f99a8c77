# What the scripts of real writers' files share; sourced, not run.

# A step that fails under `set -e` names itself, so that no run ends in silence.
set -E
trap 'echo "${BASH_SOURCE[0]##*/}:$LINENO: status $? from: $BASH_COMMAND" >&2' ERR

# Skips the test (77) when a tool is missing.
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
  done
}

# A directory of its own, removed at exit, serving as drive C: too.
enter_workdir() {
  work=$(mktemp -d "/tmp/vellora-$1-XXXXXX")
  trap 'rm -rf "$work"' EXIT
  cd "$work"
  export VELLORA_DRIVE_C=$work
}

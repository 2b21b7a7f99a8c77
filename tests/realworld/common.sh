# What the scripts of real writers' files share; sourced, not run.

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

#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those
# that are missing, so a machine that has them all needs neither root nor network.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  xvfb xauth xdotool x11-apps imagemagick libx11-dev
  fonts-dejavu-core
  at-spi2-core dbus-x11 python3-pyatspi  # the window as a screen reader sees it
  sox ffmpeg espeak-ng  # real-world files for the tests, and peers in the benchmarks
)

# `install-deps.sh windows`: what the cross-built Windows programs, their
# installer and their tests under Wine need instead.
if [[ ${1:-} == windows ]]; then
  packages=(
    cmake ninja-build googletest
    g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 wine nsis icoutils
    sox ffmpeg espeak-ng xvfb xauth xdotool imagemagick
  )
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "installing: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
  sudo=()
elif command -v sudo >/dev/null; then
  sudo=(sudo)
else
  echo "missing packages and no way to become root: ${missing[*]}" >&2
  exit 1
fi

install() {
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
}
# A fresh machine may have no package lists yet, or stale ones.
install || { "${sudo[@]}" apt-get update && install; }

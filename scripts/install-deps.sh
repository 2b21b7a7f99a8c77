#!/usr/bin/env bash
# Installs the Debian packages Vellora needs, and only those that are missing,
# so a machine that has them all needs neither root nor network.
#   scripts/install-deps.sh run      what building and starting the program needs
#   scripts/install-deps.sh package  that, plus what making the Debian package needs
#   scripts/install-deps.sh test     that, plus what the tests and benchmarks need
#   scripts/install-deps.sh windows  the Windows cross-build and its tests under Wine
set -euo pipefail

# Building and running: compiler, CMake, Qt, GIO, which chooses and starts the
# player, with the MIME database it tells a WAV file by, and xdg-utils, whose
# xdg-mime makes Vellora the default for WAV files.
run_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libglib2.0-dev shared-mime-info xdg-utils
)

# The Debian package: cpack reads the programs' types with file and their
# libraries with readelf and dpkg-shlibdeps, and strips them.
package_packages=(file binutils dpkg-dev)
package_tools=(cpack file readelf dpkg-shlibdeps dpkg strip)

# Only the tests, the benchmarks and CI's checks of the install and the package.
test_packages=(
  clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-apps imagemagick libx11-dev
  fonts-dejavu-core fonts-wqy-microhei  # the latter draws the full-width look-alikes in the screenshots
  at-spi2-core dbus-x11 python3-pyatspi  # the window as a screen reader sees it
  sox ffmpeg espeak-ng flac  # real-world files for the tests, and peers in the benchmarks
  vorbis-tools sndfile-programs  # Ogg Vorbis (oggenc, ogginfo) and libsndfile's writer and reader
  wavpack  # WavPack's packer and unpacker
  desktop-file-utils appstream lintian man-db
  xfsprogs btrfs-progs hyperfine  # the copy benchmarks on XFS and btrfs
)

# What the cross-built Windows programs, their installer and their tests under Wine need.
windows_packages=(
  cmake ninja-build googletest
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 wine nsis icoutils
  sox ffmpeg espeak-ng vorbis-tools sndfile-programs wavpack xvfb xauth xdotool imagemagick
)

tools=()
case "${1:-test}" in
  run) packages=("${run_packages[@]}") ;;
  package) packages=("${run_packages[@]}" "${package_packages[@]}"); tools=("${package_tools[@]}") ;;
  test) packages=("${run_packages[@]}" "${package_packages[@]}" "${test_packages[@]}")
        tools=("${package_tools[@]}") ;;
  windows) packages=("${windows_packages[@]}") ;;
  *) echo "usage: $0 [run|package|test|windows]" >&2; exit 2 ;;
esac

# Every tool a later step calls must be there, whichever package brought it:
# a missing one should stop here, not minutes into a build.
check_tools() {
  local absent=()
  for t in "${tools[@]}"; do command -v "$t" >/dev/null || absent+=("$t"); done
  [[ ${#absent[@]} -eq 0 ]] && return 0
  echo "these tools are still missing after installing the packages: ${absent[*]}" >&2
  exit 1
}

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -eq 0 ]]; then
  check_tools
  exit 0
fi

command_line="apt-get install -y --no-install-recommends ${missing[*]}"
give_up() {
  echo "Vellora needs these Debian packages, and they could not be installed:" >&2
  echo "  ${missing[*]}" >&2
  echo "Ask someone with root to run:" >&2
  echo "  sudo apt-get update && sudo $command_line" >&2
  exit 1
}

echo "installing: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
  sudo=()
elif command -v sudo >/dev/null; then
  # One password prompt at most; after a refusal nothing more asks sudo.
  sudo -v || give_up
  sudo=(sudo)
else
  give_up
fi

install() {
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
}
# A fresh machine may have no package lists yet, or stale ones.
install || { "${sudo[@]}" apt-get update && install; } || give_up
check_tools

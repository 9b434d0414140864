#!/usr/bin/env bash
# Installs every Debian package Korvex needs to build, test and run.
# Idempotent: asks apt only for what is missing, and refreshes the package
# lists only when something is.
set -euo pipefail

packages=(
  # build (python3 for the source checks of make check)
  cmake ninja-build g++ make pkg-config clang libclang-rt-14-dev clang-format python3
  # GUI
  qt6-base-dev libgl-dev
  # device link
  libssh2-1-dev libssl-dev libnanopb-dev nanopb
  # pictures and video
  libjpeg62-turbo-dev libpng-dev libavcodec-dev libavutil-dev libavformat-dev libswscale-dev
  # traffic analysis (lanes, coverage): OpenCV's video module only, and
  # nlohmann-json for the JSON of its commands
  libopencv-video-dev nlohmann-json3-dev
  # device simulator
  libssh-dev
  # real SSH servers for the device-link tests
  openssh-server dropbear-bin
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev openssh-client sshpass
  # reading back the commissioning report in its tests
  poppler-utils
  # pictures written by another program for the picture reader's tests
  imagemagick
  # screenshots
  xvfb xauth
  # driving the real window from outside in the memory measurements
  xdotool
  # fonts for the GUI under Xvfb and offscreen
  fonts-dejavu-core
  # the Debian package (make package) and its checks in CI
  dpkg-dev file lintian desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

echo "install-deps: installing ${missing[*]}" >&2
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

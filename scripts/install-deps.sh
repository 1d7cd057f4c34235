#!/usr/bin/env bash
# Installs every Debian 12 package needed to build, run and test the plug-in.
# Idempotent: packages already present are left alone. Run as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  juce-modules-source fst-dev
  libfann-dev libfann2
  libgmm-dev
  libgtest-dev libgmock-dev googletest
  libbenchmark-dev
  clang libclang-rt-14-dev
  libflac-dev libvorbis-dev libogg-dev
  libjack-jackd2-dev
  libasound2-dev libx11-dev libxext-dev libxinerama-dev libxrandr-dev libxcursor-dev
  libfreetype-dev libfontconfig1-dev libgl-dev libcurl4-openssl-dev
  xvfb xauth fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs the Debian packages zyrsat needs to build, test and benchmark,
# skipping those already present.  Quiet and safe to run again.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libx11-dev zlib1g-dev libpng-dev libjpeg-dev libgdcm-dev libtiff-dev libdeflate-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool x11-apps ghostscript proj-bin gdal-bin imagemagick
  libgif-dev giflib-tools python3-pil python3-numpy gifsicle pngcheck apngasm apngdis
  hp2xx
  libnetcdf-dev netcdf-bin python3-netcdf4 optipng parallel dpkg-dev file
  mandoc groff-base time
)
# Extra packages a caller asks for (e.g. clang for the fuzzers).
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq >/dev/null
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

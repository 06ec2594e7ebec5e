#!/usr/bin/env bash
# Installs everything the build and the tests need from Debian's packages.
# Safe to run again: packages already present are left as they are.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libturbojpeg0-dev libjpeg62-turbo-dev libpng-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  frei0r-plugins-dev ffmpeg melt
)

"$(dirname "$0")/apt-install.sh" "${packages[@]}"

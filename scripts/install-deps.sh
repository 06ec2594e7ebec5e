#!/usr/bin/env bash
# Installs everything the build and the tests need from Debian's packages,
# then builds the static libjpeg-turbo the build links (scripts/build-deps.sh;
# nasm assembles its SIMD code, dpkg-dev unpacks Debian's source). Chromium,
# its driver and Selenium run the studio's page in the browser test. Safe to run
# again: packages already present and a cached library are left as they are.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config nasm dpkg-dev
  libturbojpeg0-dev libjpeg62-turbo-dev libpng-dev libcli11-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libgtest-dev libgmock-dev libbenchmark-dev libpugixml-dev
  frei0r-plugins-dev libmlt-dev ffmpeg melt help2man
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  libtomlplusplus-dev libcpp-httplib-dev nlohmann-json3-dev
  chromium chromium-driver python3-selenium
)

"$(dirname "$0")/apt-install.sh" "${packages[@]}"
"$(dirname "$0")/build-deps.sh" linux

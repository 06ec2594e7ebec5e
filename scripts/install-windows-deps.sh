#!/usr/bin/env bash
# Installs what the Windows cross build and its tests need, all from Debian's
# packages: the MinGW-w64 cross compiler (win32 thread model), nasm for
# libjpeg-turbo's SIMD code, dpkg-dev to unpack Debian's library sources,
# MinGW zlib for libpng, wine64 to run the Windows binaries and icoutils
# (wrestool) to read the module's resources, and nsis (makensis) for the
# installer. Then builds the static Windows libjpeg-turbo and libpng
# (scripts/build-deps.sh). Safe to run again: packages already present and
# cached libraries are left as they are.
set -euo pipefail

packages=(
  gcc-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev nasm dpkg-dev wine64 icoutils nsis
)

"$(dirname "$0")/apt-install.sh" "${packages[@]}"
"$(dirname "$0")/build-deps.sh" windows

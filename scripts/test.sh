#!/usr/bin/env bash
# Installs the dependencies, builds, and runs every test twice: once in the
# normal build and once under AddressSanitizer and UndefinedBehaviorSanitizer.
# Then cross-builds the Windows module and tools and runs the Windows tests:
# the module's exports, imports and resource, the Wine run compared with the
# Linux build, and the installer under Wine. The Debian package is built,
# installed, used and removed (scripts/test-package.sh). Last, every fuzz
# harness runs for a bounded time (SHARDCAST_FUZZ_SECONDS, 60 by default).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# The Windows tests in the Linux runs below skip without a Windows build; an
# earlier one would be stale, so it is rebuilt after them.
rm -rf build/windows-release/bin

jobs=$(nproc)
# CI builds treat every compiler warning as an error, in all four builds.
export SHARDCAST_WARNINGS_AS_ERRORS=ON
for preset in default sanitize; do
  echo "== $preset build"
  cmake --preset "$preset" -DSHARDCAST_WARNINGS_AS_ERRORS=ON >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset tests"
  ctest --preset "$preset" -j "$jobs"
done

echo "== windows-release build"
scripts/install-windows-deps.sh
cmake --preset windows-release -DSHARDCAST_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset windows-release -j "$jobs"
echo "== windows tests"
ctest --preset default -R '^(WindowsBuild\.|windows_wine_run$)'
echo "== windows installer"
scripts/test-windows-installer.sh

echo "== debian package"
scripts/test-package.sh

echo "== fuzzing (${SHARDCAST_FUZZ_SECONDS:-60}s per harness)"
scripts/fuzz.sh "${SHARDCAST_FUZZ_SECONDS:-60}"

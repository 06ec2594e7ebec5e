#!/usr/bin/env bash
# Installs the dependencies, builds, and runs the main job on its built-in
# default input.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
# The built-in frame with a dozen damaged bytes; any further options are
# passed on (see `build/default/cli/shardcast render --help`).
build/default/cli/shardcast render -o sample-glitched.png --broken-bytes 12 --seed 3 "$@"
echo "Wrote sample-glitched.png"

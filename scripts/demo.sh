#!/usr/bin/env bash
# Installs the dependencies, builds, and runs the main job on its built-in
# default input.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
build/default/cli/shardcast render -o shardcast-demo.png "$@"
echo "Wrote shardcast-demo.png"

#!/usr/bin/env bash
# Installs the dependencies, builds what it runs (the tool, the effect
# module and the filters: not the tests, benchmarks and fuzz harnesses,
# which scripts/test.sh builds), and runs the main job on its built-in
# default input.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target shardcast_programs
# The built-in frame with a dozen damaged bytes; any further options are
# passed on (see `build/default/cli/shardcast render --help`).
build/default/cli/shardcast render -o sample-glitched.png --broken-bytes 12 --seed 3 "$@"
echo "Wrote sample-glitched.png"
# The video road: a four-second test clip with sound, its damage keyed to
# rise and fall, the sound copied through.
ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=320x180:rate=24 -f lavfi -i sine=frequency=220 -t 4 \
  -c:v libx264 -pix_fmt yuv420p -c:a aac sample-clip.mp4
build/default/cli/shardcast render sample-clip.mp4 -o sample-glitched.mp4 --broken-bytes 0@0,16@48,2@95 \
  --seed-step 1 --qtl off@0,on@72 --qtl-position 2 --qtl-value 60
echo "Wrote sample-glitched.mp4 from sample-clip.mp4"

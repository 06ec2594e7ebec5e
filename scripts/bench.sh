#!/usr/bin/env bash
# Builds the benchmarks in a release build and runs each program with
# repeated measurements, reporting medians. Every program runs TurboJPEG on
# the same frame in the same run, so its ratios are what count; the machine
# may be shared, so compare CPU times. Results go to build/bench/results/.
#
#   scripts/bench.sh              # 5 repetitions
#   scripts/bench.sh 9            # more
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=${1:-5}
programs=(decoder_bench pipeline_bench render_bench)

scripts/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" --target "${programs[@]}"

mkdir -p build/bench/results
for program in "${programs[@]}"; do
  echo "== $program"
  "build/bench/bench/$program" --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
    | tee "build/bench/results/$program.txt" | grep -E '_median|^Benchmark|^-'
done

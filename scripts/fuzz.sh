#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, ASan + UBSan) and runs each one for a
# bounded time, starting from its committed corpus. Fails on any finding; the
# crashing input is left in build/fuzz/findings/<harness>/ -- commit it under
# fuzz/corpus/<harness>/ with the fix, so it replays in every test run.
#
#   scripts/fuzz.sh            # 60 seconds per harness (what CI runs)
#   scripts/fuzz.sh 3600       # the long run
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

scripts/install-deps.sh
scripts/apt-install.sh clang libclang-rt-14-dev

cmake --preset fuzz -DSHARDCAST_WARNINGS_AS_ERRORS="${SHARDCAST_WARNINGS_AS_ERRORS:-OFF}" >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for corpus in fuzz/corpus/*/; do
  harness=$(basename "$corpus")
  binary=build/fuzz/fuzz/$harness
  [[ -x $binary ]] || continue
  work=build/fuzz/corpus/$harness
  findings=build/fuzz/findings/$harness
  mkdir -p "$work" "$findings"
  echo "== $harness: ${seconds}s"
  if ! "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$findings/" "$work" "$corpus" 2>"build/fuzz/$harness.log"; then
    echo "!! $harness found a fault; see build/fuzz/$harness.log and $findings/"
    tail -n 40 "build/fuzz/$harness.log"
    status=1
  else
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)|cov:' "build/fuzz/$harness.log" | tail -n 3
  fi
done
exit $status

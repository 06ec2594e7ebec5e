#!/usr/bin/env bash
# Builds the benchmarks in a release build and measures two things:
#
# - programs: each benchmark program with repeated measurements, reporting
#   medians. Every program runs TurboJPEG on the same frame in the same run,
#   so its ratios are what count; the machine may be shared, so compare CPU
#   times. render_bench also reports page faults per frame.
# - roads: what users run, on a 100-frame 1920x1080 clip (testsrc2, H.264,
#   25 fps) with 100 broken bytes: `shardcast render` into libx264 and FFV1
#   with --jobs 1 and 2, and the frei0r filter in ffmpeg and in melt. For
#   each: frames a second (wall clock), processor time and page faults per
#   frame, and where the processor time went (effect, simulated host,
#   encoder, decoder, pixel-format conversion, the tool's own code, other),
#   from a `perf record` of the run. Without a working perf, page faults
#   come from GNU time and the shares are left out.
#
# Results go to build/bench/results/.
#
#   scripts/bench.sh              # 5 repetitions, programs and roads
#   scripts/bench.sh 9            # more
#   scripts/bench.sh 5 programs   # or: roads
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=${1:-5}
parts=${2:-all}
programs=(decoder_bench pipeline_bench render_bench)
frames=100

scripts/install-deps.sh
scripts/apt-install.sh linux-perf time
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" --target "${programs[@]}" shardcast shardcast_frei0r

results=build/bench/results
mkdir -p "$results"

run_programs() {
  for program in "${programs[@]}"; do
    echo "== $program"
    "build/bench/bench/$program" --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
      | tee "$results/$program.txt" | grep -E '_median|^Benchmark|^-'
  done
}

# Whether perf can count and sample here (a container or a virtual machine
# may forbid it).
perf_works() {
  perf stat -e page-faults true >/dev/null 2>&1 &&
    perf record -q -e cpu-clock -o /dev/null true >/dev/null 2>&1
}

# Shares of the sampled processor time, from `perf record` call chains:
# each sample goes to the first frame, from the innermost out, that belongs
# to a part (the C library and the kernel belong to whoever called them).
# Debian's FFmpeg libraries carry no symbols beyond their API, so a codec's
# inner frames are told by the API call above them (avcodec_send_packet:
# decoder) or, in a codec's own threads, by the library the thread runs in:
# libavcodec's frame threads decode, libavutil's slice threads here run
# FFV1's slices, and libx264 runs its encoder threads itself.
perf_shares() {
  perf script -i "$1" -F comm,ip,sym,dso 2>/dev/null | awk '
    function part(sym, dso) {
      if (sym ~ /^shardcast::hostsim::/ || sym ~ /^shardcast::frei0r::/) return "host"
      if (dso ~ /\/[Ss]hardcast\.so$/) return "effect"
      if (sym ~ /^shardcast::cli::/ || dso ~ /\/shardcast$/) return "tool"
      if (dso ~ /libx264/ || sym ~ /encode|avcodec_send_frame|avcodec_receive_packet/) return "encoder"
      if (sym ~ /decode|avcodec_send_packet|avcodec_receive_frame/) return "decoder"
      if (dso ~ /libswscale/) return "conversion"
      return ""
    }
    function close_sample() {
      if (in_sample) {
        if (found == "" && root ~ /libavcodec/) found = "decoder"
        if (found == "" && root ~ /libavutil/) found = "encoder"
        count[found == "" ? "other" : found]++
        total++
      }
      in_sample = 0; found = ""; root = ""
    }
    /^[^ \t]/ { close_sample(); in_sample = 1; next }
    /^[ \t]*$/ { close_sample(); next }
    {
      dso = ""; if (match($0, /\([^()]*\)$/)) dso = substr($0, RSTART + 1, RLENGTH - 2)
      if (dso !~ /libc\.so|unknown|kernel/) root = dso
      if (found == "") {
        sym = $0; sub(/^[ \t]*[0-9a-f]+ /, "", sym); sub(/ \([^()]*\)$/, "", sym); sub(/\+0x[0-9a-f]+$/, "", sym)
        found = part(sym, dso)
      }
    }
    END {
      close_sample()
      n = split("effect host encoder decoder conversion tool other", names, " ")
      for (i = 1; i <= n; ++i) printf "%s %.0f%%%s", names[i], total ? 100 * count[names[i]] / total : 0, i < n ? ", " : "\n"
    }'
}

# One road: NAME, then the command. Runs it once measured (wall clock,
# processor time, page faults of every process it starts) and, with perf,
# once sampled for the shares.
measure_road() {
  local name=$1
  shift
  local stat=$roads/stat.txt start end wall cpu faults shares="(no perf: shares left out)"
  start=$(date +%s.%N)
  if ((have_perf)); then
    perf stat -x, -e task-clock,page-faults -o "$stat" "$@" >/dev/null 2>"$roads/stderr.txt"
    end=$(date +%s.%N)
    cpu=$(awk -F, '$3 == "task-clock" { print $1 / 1000 }' "$stat")
    faults=$(awk -F, '$3 == "page-faults" { print $1 }' "$stat")
    perf record -q -e cpu-clock -F 499 --call-graph dwarf,16384 -o "$roads/perf.data" "$@" >/dev/null 2>&1
    shares=$(perf_shares "$roads/perf.data")
  else
    /usr/bin/time -f "%U %S %R" -o "$stat" "$@" >/dev/null 2>"$roads/stderr.txt"
    end=$(date +%s.%N)
    cpu=$(awk '{ print $1 + $2 }' "$stat")
    faults=$(awk '{ print $3 }' "$stat")
  fi
  wall=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
  awk -v name="$name" -v n="$frames" -v wall="$wall" -v cpu="$cpu" -v faults="$faults" -v shares="$shares" 'BEGIN {
    printf "%-44s %6.2f fps  %6.1f ms CPU/frame  %7.0f faults/frame  %s\n", name, n / wall, 1000 * cpu / n, faults / n, shares
  }' | tee -a "$results/roads.txt"
}

run_roads() {
  roads=build/bench/roads
  mkdir -p "$roads"
  have_perf=0
  perf_works && have_perf=1
  local clip=$roads/clip.mp4 tool=build/bench/cli/shardcast
  [[ -f $clip ]] || ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v "$frames" \
    -c:v libx264 -pix_fmt yuv420p "$clip"
  export FREI0R_PATH=$PWD/build/bench/frei0r
  : >"$results/roads.txt"
  echo "== roads: $frames frames of 1920x1080, 100 broken bytes ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
  for jobs in 1 2; do
    measure_road "shardcast render, libx264, --jobs $jobs" \
      "$tool" render "$clip" -o "$roads/out.mp4" --broken-bytes 100 --jobs "$jobs"
    measure_road "shardcast render, FFV1, --jobs $jobs" \
      "$tool" render "$clip" -o "$roads/out.mkv" --codec ffv1 --broken-bytes 100 --jobs "$jobs"
  done
  # libx264 at the tool's default quality, crf 18.
  local -A ffmpeg_quality=([libx264]="-crf 18" [ffv1]="") melt_quality=([libx264]="crf=18" [ffv1]="")
  for codec in libx264 ffv1; do
    # shellcheck disable=SC2086 # the quality options are words
    measure_road "ffmpeg with the frei0r filter, $codec" \
      ffmpeg -nostdin -v error -y -i "$clip" -vf "format=rgba,frei0r=shardcast:1|0.01,format=yuv420p" \
      -c:v "$codec" ${ffmpeg_quality[$codec]} "$roads/out-ffmpeg.mkv"
    # real_time=0: every frame is rendered, none dropped on a busy machine.
    # shellcheck disable=SC2086
    measure_road "melt with the frei0r filter, $codec" \
      melt -quiet -profile atsc_1080p_25 "$clip" -filter frei0r.shardcast 0=1 1=0.01 \
      -consumer "avformat:$roads/out-melt.mkv" vcodec="$codec" ${melt_quality[$codec]} real_time=0
  done
}

[[ $parts == roads ]] || run_programs
[[ $parts == programs ]] || run_roads

#!/usr/bin/env bash
# Builds the Debian package from the default build, checks it with lintian,
# installs it with apt-get and uses it as a user would, from the installed
# files only (no build tree, no FREI0R_PATH): its computed dependencies
# against what the binaries link, the tool on a picture and on a clip, a
# copied tool, the named looks, the studio's page served by the installed
# tool, the man page, the frei0r filter in ffmpeg, GStreamer and melt
# (a Kdenlive and a Shotcut project), the MLT filter in melt (a Kdenlive and
# a Shotcut project with keyframes), the editors' descriptions. Then removes
# it again and leaves the machine's
# packages as they were: a shardcast package that was installed before is
# saved first (dpkg-repack) and put back, and any package the install pulled
# in is purged. Needs root (or sudo); run after the default build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=build/default
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

scripts/apt-install.sh lintian dpkg-repack man-db curl ffmpeg melt help2man gstreamer1.0-tools gstreamer1.0-plugins-base \
  gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
start=$SECONDS
cmake --build --preset default --target shardcast_package_files >/dev/null
rm -f "$build"/shardcast_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$root/$build"/shardcast_*.deb)
echo "Package: $(basename "$deb"), $(stat -c %s "$deb") bytes; Depends: $(dpkg-deb -f "$deb" Depends)"
echo "lintian (errors and warnings fail; the package's overrides explain the rest):"
lintian --fail-on error,warning "$deb"

work=$(mktemp -d)
installed_packages() { dpkg-query -W -f='${Package} ${Status}\n' | awk '$NF == "installed" {print $1}' | sort; }
installed_packages >"$work/before"
saved=""
if grep -qx shardcast "$work/before"; then
  (cd "$work" && dpkg-repack shardcast >/dev/null)
  saved=$(ls "$work"/shardcast_*.deb)
  echo "A shardcast package is installed; saved it as $(basename "$saved") to put it back afterwards"
fi
studio=""
restore() {
  [[ -z $studio ]] || kill "$studio" 2>/dev/null || true
  "${sudo_cmd[@]}" apt-get purge -y -qq shardcast >/dev/null 2>&1 || true
  installed_packages >"$work/after"
  local pulled
  pulled=$(comm -13 "$work/before" "$work/after" | tr '\n' ' ')
  [[ -z "$pulled" ]] || "${sudo_cmd[@]}" apt-get purge -y -qq $pulled >/dev/null
  [[ -z "$saved" ]] || "${sudo_cmd[@]}" dpkg -i "$saved" >/dev/null
  installed_packages >"$work/after"
  if ! cmp -s "$work/before" "$work/after"; then
    echo "!! the installed packages differ from before the test:"
    diff "$work/before" "$work/after" || true
    rm -rf "$work"
    exit 1
  fi
  rm -rf "$work"
}
trap restore EXIT

"${sudo_cmd[@]}" apt-get install -y -qq "$deb" >/dev/null
cd "$work"
# Nothing of the build and no frei0r folder from the environment.
clean_env=(env -u FREI0R_PATH -u MLT_FREI0R_PLUGIN_PATH -u MLT_REPOSITORY -u MLT_DATA -u SHARDCAST_MODULE)
run() { "${clean_env[@]}" "$@"; }
fail() { echo "!! $*"; exit 1; }
rgba() { ffmpeg -nostdin -v error -i "$1" -f rawvideo -pix_fmt rgba -; }
# melt 7.12 on a busy machine now and then ends early without a word, or
# never ends: a run that fails, runs past two minutes or leaves its last
# frame unwritten is tried again, three times in all.
#   melt_run LAST_FRAME_FILE MELT_ARGUMENT...
melt_run() {
  local last=$1 attempt
  shift
  for attempt in 1 2 3; do
    rm -f "$last"
    if run timeout 120 melt "$@" >/dev/null 2>&1 && [[ -f $last ]]; then
      return 0
    fi
  done
  return 1
}
# Every frame of two numbered PNG sequences, as raw pixels, compared in turn:
#   same_frames WHAT FIRST_A PATTERN_A FIRST_B PATTERN_B COUNT
same_frames() {
  local what=$1 a=$2 pattern_a=$3 b=$4 pattern_b=$5 count=$6 i
  for ((i = 0; i < count; i++)); do
    # shellcheck disable=SC2059
    cmp -s <(rgba "$(printf "$pattern_a" $((a + i)))") <(rgba "$(printf "$pattern_b" $((b + i)))") ||
      fail "$what: frame $i differs from shardcast render"
  done
}

echo "== dependencies"
# Every library the installed binaries link directly belongs to a package
# the package depends on: the computed list misses nothing they need.
binaries=(/usr/bin/shardcast /usr/lib/shardcast/Shardcast.so /usr/lib/frei0r-1/shardcast.so
  /usr/lib/x86_64-linux-gnu/mlt-7/libmltshardcast.so)
depends=$(dpkg-deb -f "$deb" Depends)
for library in $(for binary in "${binaries[@]}"; do objdump -p "$binary" | awk '$1 == "NEEDED" {print $2}'; done |
  sort -u); do
  path=$(ldd "${binaries[@]}" |
    awk -v name="$library" '!found && ($1 == name || $1 ~ "/" name "$") {print ($2 == "=>" ? $3 : $1); found = 1}')
  owner=""
  for candidate in "$path" "/usr$path" "$(realpath "$path")"; do
    owner=$(dpkg -S "$candidate" 2>/dev/null | grep -v '^diversion' | head -1 | cut -d: -f1) && [[ -n $owner ]] && break
  done
  [[ -n $owner ]] || fail "no package holds $library ($path)"
  tr ',|' '\n\n' <<<"$depends" | awk '{print $1}' | grep -Fqx -- "$owner" ||
    fail "$library ($owner) is not among the dependencies: $depends"
done

echo "== the tool"
version=$(run shardcast --version)
[[ "$version" == "shardcast $(dpkg-deb -f "$deb" Version | cut -d- -f1)" ]] || fail "version: $version"
run shardcast render --sample-size 64x48 -o tool.png --broken-bytes 12 --seed 3 2>/dev/null || fail "render"
mkdir -p copied/bin && cp /usr/bin/shardcast copied/bin/
status=0
run copied/bin/shardcast params >/dev/null 2>copied.err || status=$?
[[ $status -eq 1 ]] || fail "a copied tool without a module exited with $status, not 1"
[[ $(wc -l <copied.err) -eq 1 ]] && grep -q "copied/bin/Shardcast.so or .*copied/lib/shardcast/Shardcast.so" copied.err ||
  fail "the copied tool does not say in one line where it looked: $(cat copied.err)"
man -P cat shardcast >man.txt 2>/dev/null || fail "man shardcast"
grep -q "COMMAND RENDER" man.txt || fail "the man page lacks the render command"

echo "== the looks"
# Found by name where the package puts them, each of looks/ and no other,
# and a look renders what its file renders when named by path.
expected_looks=$(cd "$root/looks" && ls -- *.toml | sed 's/\.toml$//' | sort | paste -sd, | sed 's/,/, /g')
status=0
run shardcast render --sample-size 64x48 -o none.png --settings no-such-look 2>looks.err || status=$?
[[ $status -eq 2 ]] && grep -Fq "(the looks: $expected_looks)" looks.err ||
  fail "the installed tool does not list the looks $expected_looks: $(cat looks.err)"
run shardcast render --sample-size 64x48 -o stripes.png --settings stripes 2>/dev/null ||
  fail "the installed tool could not render the look stripes"
run shardcast render --sample-size 64x48 -o stripes-file.png --settings "$root/looks/stripes.toml" 2>/dev/null
cmp -s stripes.png stripes-file.png || fail "the look stripes renders differently from its file"
run shardcast render --sample-size 64x48 -o plain.png 2>/dev/null
cmp -s stripes.png plain.png && fail "the look stripes rendered the frame of the defaults"

echo "== the studio"
# Started from the installed tool, it serves the installed page with its
# token written in, refuses a request without the token, and ends cleanly
# on SIGTERM. Started as a simple command, not through run(), so that $! is
# the studio itself.
"${clean_env[@]}" shardcast studio --no-browser >studio.out 2>studio.err </dev/null &
studio=$!
for ((i = 0; i < 200; i++)); do
  [[ -s studio.out ]] || ! kill -0 "$studio" 2>/dev/null && break
  sleep 0.1
done
address=$(head -1 studio.out)
[[ $address == "http://127.0.0.1:"*"/?token="* ]] || fail "the studio did not start: $(cat studio.err)"
token=${address##*token=}
page=/usr/share/shardcast/studio-page
for file in index.html controls.js studio.js studio.css; do
  served=${file/index.html/}
  curl -sf -o "served-$file" "${address%%/\?*}/$served?token=$token" || fail "the studio did not serve $file"
  cmp -s "served-$file" <(sed "s/__SHARDCAST_TOKEN__/$token/g" "$page/$file") ||
    fail "the studio served a $file other than the installed one"
done
session=$(curl -sf "${address%%/\?*}/api/session?token=$token") || fail "the studio did not answer /api/session"
grep -q '"stripes"' <<<"$session" || fail "the studio's session lacks the looks"
refused=$(curl -s -o /dev/null -w '%{http_code}' "${address%%\?*}")
[[ $refused == 403 ]] || fail "a request without the token got $refused, not 403"
kill -TERM "$studio"
status=0
wait "$studio" || status=$?
studio=""
[[ $status -eq 0 ]] || fail "the studio ended with $status on SIGTERM: $(cat studio.err)"

echo "== ffmpeg"
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240 -frames:v 1 -pix_fmt rgba in.png
run ffmpeg -nostdin -v error -i in.png -vf "format=rgba,frei0r=shardcast:0.6|0.004,format=rgba" -pix_fmt rgba out.png ||
  fail "ffmpeg did not find the filter"
run shardcast render in.png -o expected.png --compression-ratio 60 --broken-bytes 40 2>/dev/null
cmp -s <(rgba out.png) <(rgba expected.png) || fail "ffmpeg's frame differs from shardcast render"

echo "== melt, on a Kdenlive and a Shotcut project"
run melt -query filters >filters.txt 2>/dev/null
grep -q "frei0r.shardcast" filters.txt || fail "melt does not list frei0r.shardcast"
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 25 -vf format=rgba -c:v png \
  -pix_fmt rgba clip.mkv
sed "s#@PROJECT_FOLDER@#$work#" "$root/tests/editors/kdenlive-project.kdenlive" >project.kdenlive
melt_run melt_24.png project.kdenlive out=23 -consumer avformat:melt_%02d.png vcodec=png pix_fmt=rgba \
  mlt_image_format=rgba real_time=0 || fail "melt could not render the project"
cp "$root/tests/editors/shotcut-project.mlt" project.mlt
melt_run shotcut_25.png project.mlt -consumer avformat:shotcut_%02d.png vcodec=png pix_fmt=rgba \
  mlt_image_format=rgba real_time=0 || fail "melt could not render the Shotcut project"
# Both projects hold the same settings, as the editors' panels show them.
ffmpeg -nostdin -v error -i clip.mkv -pix_fmt rgba in_%02d.png
run shardcast render in_%02d.png -o tool_%02d.png --frames 1-25 --compression-ratio 60 --broken-bytes 40 \
  --glitch-start 10 --glitch-end 90 --seed 42 --qtc on --qtc-position 33 --qtc-value 51 --qtc-breaking-bytes 6 \
  --qtc-max-random 128 --qtc-seed 7 --filter1 on --filter1-value 2 2>/dev/null
same_frames "Kdenlive's project" 1 melt_%02d.png 1 tool_%02d.png 24
same_frames "Shotcut's project" 1 shotcut_%02d.png 1 tool_%02d.png 25

echo "== GStreamer (the frei0r filter through gst-plugins-bad's wrapper)"
run env GST_REGISTRY="$work/registry.bin" gst-launch-1.0 -q multifilesrc location=in_%02d.png index=1 stop-index=25 \
  caps=image/png,framerate=25/1 ! pngdec ! videoconvert ! video/x-raw,format=RGBA ! frei0r-filter-shardcast \
  compression-ratio=0.5959595959595959 broken-bytes=0.004 start-of-glitch=0.10010009857116488 \
  end-of-glitch=0.8998998998984068 broken-bytes-seed=4.1000000410000003e-7 qtc=true qtc-position=0.5079365079365079 \
  qtc-value=0.2 chroma-breaking-bytes=0.09375 chroma-max-random-value=0.5019607843137255 chroma-seed=6.00000006e-8 \
  filter-1=true filter-1-value=0.6 ! videoconvert ! video/x-raw,format=RGBA ! pngenc ! \
  multifilesink location=gst_%02d.png index=1 >/dev/null 2>&1 || fail "gst-launch-1.0 could not run the filter"
same_frames "GStreamer" 1 gst_%02d.png 1 tool_%02d.png 25

echo "== melt, on a Kdenlive and a Shotcut project over the MLT filter, with keyframes"
run melt -query filter=shardcast >metadata.txt 2>/dev/null
grep -q "identifier: qtc_breaking_bytes" metadata.txt || fail "melt does not show the MLT filter's metadata"
sed "s#@PROJECT_FOLDER@#$work#" "$root/tests/editors/kdenlive-mlt-project.kdenlive" >mlt-project.kdenlive
melt_run kdenlive_mlt_24.png mlt-project.kdenlive out=23 -consumer avformat:kdenlive_mlt_%02d.png vcodec=png \
  pix_fmt=rgba mlt_image_format=rgba real_time=-2 || fail "melt could not render the Kdenlive project"
cp "$root/tests/editors/shotcut-mlt-project.mlt" mlt-project.mlt
melt_run shotcut_mlt_25.png mlt-project.mlt -consumer avformat:shotcut_mlt_%02d.png vcodec=png pix_fmt=rgba \
  mlt_image_format=rgba real_time=-2 || fail "melt could not render the Shotcut project"
# The keys of each project as tests/editors/README.md gives them; a clip's
# frames count from 0.
run shardcast render clip.mkv -o kdenlive_tool_%02d.png --compression-ratio 60 --broken-bytes 0@0,40@12,8@24 \
  --glitch-start 10 --glitch-end 90 --seed 42@0,999999@24 --qtc on --qtc-position 33 --qtc-value 51@0,249@12,80@24 \
  --qtc-breaking-bytes 6 --qtc-max-random 128 --qtc-seed 7 --filter1 on --filter1-value 2@0,-1.5@24 2>/dev/null
run shardcast render clip.mkv -o shotcut_tool_%02d.png --compression-ratio 60 --broken-bytes 0@0,25@6,40@12,8@24 \
  --glitch-start 25 --glitch-end 90 --seed 42@0,87654321@6,87654321@23,25000001@24 --qtc on --qtc-position 33 \
  --qtc-value 51@0,80@24 --qtc-breaking-bytes 6 --qtc-max-random 128 --qtc-seed 7 --filter1 on \
  --filter1-value 2@0,-1.5@24 2>/dev/null
same_frames "Kdenlive's keyframed project" 1 kdenlive_mlt_%02d.png 0 kdenlive_tool_%02d.png 24
same_frames "Shotcut's keyframed project" 1 shotcut_mlt_%02d.png 0 shotcut_tool_%02d.png 25

echo "== the tool on a clip (FFmpeg's libraries, as the package depends on them)"
run shardcast render clip.mkv -o glitched.mkv --broken-bytes 40 --seed 42 2>/dev/null || fail "the tool could not render a clip"
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 glitched.mkv)
[[ $frames -eq 25 ]] || fail "the rendered clip holds $frames frames, not 25"

echo "== the editors' descriptions"
for file in /usr/share/kdenlive/effects/frei0r_shardcast.xml /usr/share/shotcut/qml/filters/shardcast/meta.qml \
  /usr/share/shotcut/qml/filters/shardcast/ui.qml /usr/share/kdenlive/effects/shardcast.xml \
  /usr/share/shotcut/qml/filters/shardcast_mlt/meta.qml /usr/share/shotcut/qml/filters/shardcast_mlt/ui.qml \
  /usr/share/mlt-7/shardcast/filter_shardcast.yml; do
  [[ -f $file ]] || fail "$file is missing"
done

echo "== removing"
"${sudo_cmd[@]}" apt-get purge -y -qq shardcast >/dev/null
for file in /usr/bin/shardcast /usr/lib/frei0r-1/shardcast.so /usr/share/kdenlive/effects/frei0r_shardcast.xml \
  /usr/lib/x86_64-linux-gnu/mlt-7/libmltshardcast.so /usr/share/mlt-7/shardcast /usr/share/shardcast; do
  [[ ! -e $file || -n "$saved" ]] || fail "$file is left after removal"
done
echo "Package test passed in $((SECONDS - start)) s"

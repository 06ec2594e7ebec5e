#!/usr/bin/env bash
# Builds the static libraries a build links in place of the machine's shared
# ones, once, and caches them in the build folder:
#   scripts/build-deps.sh linux   [cache folder]   # default build/linux-deps
#   scripts/build-deps.sh windows [cache folder]   # default build/windows-deps
#
# libjpeg-turbo (both): Debian's own source package, of exactly the version
# libturbojpeg0-dev names, so that every build writes the same JPEG streams;
# a static TurboJPEG library (the libjpeg API inside it) with its SIMD code,
# compiled with NO_GETENV so that the TJ_* and JSIMD_* environment variables
# of a host process can never change a frame. The Linux copy is
# position-independent: it goes into shared modules (Shardcast.so, the
# frei0r filter).
# libpng (Windows only, for the command-line renderer): Debian's libpng1.6
# source of the version the Linux build links, static, on Debian's MinGW zlib.
#
# Sources are fetched with apt-get's source command; nothing else is
# downloaded. Each library lands in <cache>/<name>; a complete cache of the
# right version and recipe is left as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

platform=${1:-}
case "$platform" in
  linux | windows) ;;
  *)
    echo "usage: $0 linux|windows [cache folder]" >&2
    exit 2
    ;;
esac
cache=$(realpath -m "${2:-build/$platform-deps}")
work="$cache/work"
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)

# The source package and version behind an installed Linux package.
source_of() { dpkg-query -W -f='${source:Package} ${source:Version}\n' "$1"; }

# A cached library is kept only when it was built from the same version with
# the same recipe (the stamp holds both) and its files are all there.
is_cached() {  # name stamp file...
  local name=$1 stamp=$2 file
  shift 2
  [[ -f "$cache/$name/STAMP" && "$(cat "$cache/$name/STAMP")" == "$stamp" ]] || return 1
  for file in "$@"; do
    [[ -f "$cache/$name/$file" ]] || return 1
  done
}

# apt-get source needs a deb-src entry. When the configured Debian suites
# have none, mirror their entries as deb-src in a file of our own. Notes go
# to standard error: callers may capture standard output.
ensure_source_entries() {
  [[ -n "$(apt-cache showsrc "$1" 2>/dev/null)" ]] && return 0
  local target
  if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    target=/etc/apt/sources.list.d/shardcast-deb-src.sources
    sed '/^Types:/s/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      "${sudo_cmd[@]}" tee "$target" >/dev/null
  else
    target=/etc/apt/sources.list.d/shardcast-deb-src.list
    grep -E '^deb[[:space:]]' /etc/apt/sources.list | sed 's/^deb[[:space:]]/deb-src /' |
      "${sudo_cmd[@]}" tee "$target" >/dev/null
  fi
  echo "Enabled Debian's source packages (deb-src) for the configured suites in $target" >&2
  "${sudo_cmd[@]}" apt-get update -qq >&2
}

# Unpacks Debian's source (with Debian's patches applied) into $work and
# prints the source folder, and nothing else, on standard output. With "any"
# as the fourth argument, a version the archive cannot serve gives way to the
# newest one it can, with a note.
fetch_source() {  # source-package version folder-prefix [any]
  ensure_source_entries "$1" >&2
  # apt-get source fetches as the _apt user when that user can write here.
  chmod a+rwx "$work"
  local candidates=("$2") chosen=""
  [[ "${4:-}" == any ]] && mapfile -t -O 1 candidates < <(
    apt-cache showsrc "$1" | sed -n 's/^Version: //p' | grep -vxF "$2" | sort -rV)
  for candidate in "${candidates[@]}"; do
    echo "Fetching Debian's $1 source $candidate" >&2
    if (cd "$work" && apt-get source -qq "$1=$candidate" >/dev/null 2>"$work/fetch.log"); then
      chosen=$candidate
      break
    fi
  done
  [[ -n "$chosen" ]] || { cat "$work/fetch.log" >&2; exit 1; }
  [[ "$chosen" == "$2" ]] || echo "Note: the archive does not serve $1 $2; built $chosen instead" >&2
  find "$work" -mindepth 1 -maxdepth 1 -type d -name "$3-*" | head -n 1
}

# Configures and builds one CMake target of an unpacked source, logging to
# $work; shows the log when a step fails.
build_target() {  # source-folder target cmake-arguments...
  local source_dir=$1 target=$2
  shift 2
  cmake -S "$source_dir" -B "$work/build" -G Ninja -Wno-dev \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$work/install" "$@" \
    >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; exit 1; }
  cmake --build "$work/build" -j "$(nproc)" --target "$target" >"$work/build.log" 2>&1 ||
    { tail -n 50 "$work/build.log" >&2; exit 1; }
}

platform_arguments=()
if [[ $platform == windows ]]; then
  platform_arguments=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake")
  platform_name="Windows x86-64"
else
  platform_arguments=(-DCMAKE_POSITION_INDEPENDENT_CODE=ON)
  platform_name="Linux ($(uname -m), position-independent)"
fi

# libjpeg-turbo. The libjpeg headers come along on Linux, where the tests'
# reference decoder uses the libjpeg API of the same library.
jpeg_arguments=(
  -DCMAKE_C_FLAGS="-DNO_GETENV -DNO_PUTENV"
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON
  -DWITH_TURBOJPEG=ON -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DWITH_JAVA=OFF
  "${platform_arguments[@]}")
jpeg_headers=(turbojpeg.h)
[[ $platform == linux ]] && jpeg_headers+=(jpeglib.h jmorecfg.h jerror.h jconfig.h)
read -r package version < <(source_of libturbojpeg0-dev)
stamp="$version ${jpeg_arguments[*]} ${jpeg_headers[*]}"
if is_cached libjpeg-turbo "$stamp" lib/libturbojpeg.a; then
  echo "libjpeg-turbo $version for $platform_name is cached in $cache/libjpeg-turbo"
else
  prefix="$cache/libjpeg-turbo"
  rm -rf "$work" "$prefix" && mkdir -p "$work" "$prefix/include" "$prefix/lib"
  source_dir=$(fetch_source "$package" "$version" "$package")
  echo "Building libjpeg-turbo $version for $platform_name"
  build_target "$source_dir" turbojpeg-static "${jpeg_arguments[@]}"
  for header in "${jpeg_headers[@]}"; do
    # jconfig.h is generated into the build folder, the others are sources.
    cp "$([[ -f "$work/build/$header" ]] && echo "$work/build" || echo "$source_dir")/$header" "$prefix/include/"
  done
  cp "$work/build/libturbojpeg.a" "$prefix/lib/"
  echo "$stamp" >"$prefix/STAMP"
  rm -rf "$work"
fi

[[ $platform == windows ]] || exit 0

read -r package version < <(source_of libpng-dev)
png_arguments=(-DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF "${platform_arguments[@]}")
stamp="$version ${png_arguments[*]}"
if is_cached libpng "$stamp" lib/libpng.a; then
  echo "libpng $version for $platform_name is cached in $cache/libpng"
else
  prefix="$cache/libpng"
  rm -rf "$work" "$prefix" && mkdir -p "$work" "$prefix/include" "$prefix/lib"
  source_dir=$(fetch_source "$package" "$version" "$package" any)
  echo "Building libpng for $platform_name"
  build_target "$source_dir" png_static "${png_arguments[@]}"
  cp "$source_dir/png.h" "$source_dir/pngconf.h" "$work/build/pnglibconf.h" "$prefix/include/"
  cp "$work/build/libpng16.a" "$prefix/lib/libpng.a"
  echo "$stamp" >"$prefix/STAMP"
  rm -rf "$work"
fi

#!/usr/bin/env bash
# Builds the Windows x86-64 libraries of the windows-release preset once and
# caches them.
#
# libjpeg-turbo (the module and the command-line renderer): Debian's own
# source package, of exactly the version the Linux build links
# (libturbojpeg0-dev), so that both builds write identical JPEG streams; a
# static TurboJPEG library with its SIMD code, compiled with NO_GETENV so
# that the TJ_* and JSIMD_* environment variables of a host process can never
# change a frame.
# libpng (the command-line renderer only): Debian's libpng1.6 source of the
# version the Linux build links, static, on Debian's MinGW zlib.
#
# Sources are fetched with apt-get's source command; nothing else is
# downloaded. Usage: scripts/build-windows-libjpeg-turbo.sh [cache folder]
# (default build/windows-deps). Each library lands in <cache>/<name>; a
# complete cache of the right version is left as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

cache=$(realpath -m "${1:-build/windows-deps}")
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)

# The source package and version behind an installed Linux package.
source_of() { dpkg-query -W -f='${source:Package} ${source:Version}\n' "$1"; }

is_cached() {  # name version library-file
  [[ -f "$cache/$1/VERSION" && "$(cat "$cache/$1/VERSION")" == "$2" && -f "$cache/$1/lib/$3" ]]
}

# apt-get source needs a deb-src entry. When the configured Debian suites
# have none, mirror their entries as deb-src in a file of our own.
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
  echo "Enabled Debian's source packages (deb-src) for the configured suites in $target"
  "${sudo_cmd[@]}" apt-get update -qq
}

# Unpacks Debian's source (with Debian's patches applied) into $work and
# prints the source folder. With "any" as the fourth argument, a version the
# archive cannot serve gives way to the newest one it can, with a note.
fetch_source() {  # source-package version folder-prefix [any]
  ensure_source_entries "$1"
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
cross_build() {  # source-folder target cmake-arguments...
  local source_dir=$1 target=$2
  shift 2
  cmake -S "$source_dir" -B "$work/build" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$work/install" "$@" \
    >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; exit 1; }
  cmake --build "$work/build" -j "$(nproc)" --target "$target" >"$work/build.log" 2>&1 ||
    { tail -n 50 "$work/build.log" >&2; exit 1; }
}

work="$cache/work"

read -r package version < <(source_of libturbojpeg0-dev)
if is_cached libjpeg-turbo "$version" libturbojpeg.a; then
  echo "libjpeg-turbo $version for Windows is cached in $cache/libjpeg-turbo"
else
  prefix="$cache/libjpeg-turbo"
  rm -rf "$work" "$prefix" && mkdir -p "$work" "$prefix/include" "$prefix/lib"
  source_dir=$(fetch_source "$package" "$version" "$package")
  echo "Building libjpeg-turbo $version for Windows x86-64"
  cross_build "$source_dir" turbojpeg-static \
    -DCMAKE_C_FLAGS="-DNO_GETENV -DNO_PUTENV" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_TURBOJPEG=ON -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DWITH_JAVA=OFF
  cp "$source_dir/turbojpeg.h" "$prefix/include/"
  cp "$work/build/libturbojpeg.a" "$prefix/lib/"
  echo "$version" >"$prefix/VERSION"
  rm -rf "$work"
fi

read -r package version < <(source_of libpng-dev)
if is_cached libpng "$version" libpng.a; then
  echo "libpng $version for Windows is cached in $cache/libpng"
else
  prefix="$cache/libpng"
  rm -rf "$work" "$prefix" && mkdir -p "$work" "$prefix/include" "$prefix/lib"
  source_dir=$(fetch_source "$package" "$version" "$package" any)
  echo "Building libpng for Windows x86-64"
  cross_build "$source_dir" png_static \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
  cp "$source_dir/png.h" "$source_dir/pngconf.h" "$work/build/pnglibconf.h" "$prefix/include/"
  cp "$work/build/libpng16.a" "$prefix/lib/libpng.a"
  echo "$version" >"$prefix/VERSION"
  rm -rf "$work"
fi

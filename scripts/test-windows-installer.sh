#!/usr/bin/env bash
# Runs the Windows installer of the Windows build under Wine, in a throw-away
# prefix in the build folder: a silent install puts Shardcast.aex into the
# MediaCore folder (Adobe's standard place in a fresh prefix, the folder
# Premiere Pro names in the registry when it does), the installed module
# renders what the build's module renders (the Wine test driver, every case
# byte for byte), the installed tool renders a named look as the build's
# tool renders the look's file, the uninstaller is registered, and a silent
# uninstall removes everything the install added and nothing else (a look
# of the user's stays). The zip's tool renders the look too. Run after the
# windows-release build.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(pwd)/build/windows-release
installer=$(ls "$build"/packages/Shardcast-*-setup.exe)
work=$build/installer-run
prefix=$work/prefix
start=$SECONDS
rm -rf "$work" && mkdir -p "$work"

wine_run() {
  env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' \
    "$wine" "$@"
}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
wait_wine() { WINEPREFIX="$prefix" "$wineserver" -w; }
fail() { echo "!! $*"; WINEPREFIX="$prefix" "$wineserver" -k || true; exit 1; }
windows_name() { echo "Z:$1"; }
# Everything in drive_c but the users' Temp folders, where the uninstaller
# leaves the empty folder of the copy it ran from (as on Windows).
files_of() { (cd "$prefix/drive_c" && find . -path './users/*/Temp' -prune -o -print | sort); }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Shardcast'
# The Wine test driver renders every case through a module into a folder.
render_cases() {  # module output-folder log
  wine_run "$(windows_name "$build/bin/shardcast_wine_driver.exe")" "$(windows_name "$1")" "$(windows_name "$2")" \
    >"$3" 2>&1
}
# A tool renders the look stripes, found by name beside it, into a file
# that must equal the build's tool's render of the look's file.
render_look() {  # tool output log
  wine_run "$(windows_name "$1")" render --sample-size 64x48 --settings stripes -o "$(windows_name "$2")" >"$3" 2>&1 ||
    fail "$1 could not render the look stripes: $(cat "$3")"
  cmp -s "$2" "$work/look-reference.png" || fail "$1 renders the look stripes differently from its file"
}
program_folder="$prefix/drive_c/Program Files/Shardcast"

wine_run wineboot --init >"$work/wineboot.log" 2>&1 || fail "no Wine prefix: $(cat "$work/wineboot.log")"
wait_wine
echo "Installer: $(basename "$installer"), $(stat -c %s "$installer") bytes"

# One silent install and uninstall into the folder given; the plug-in must
# land in $2 (a path below drive_c), and afterwards drive_c must hold what it
# held before.
round_trip() {  # label expected-plug-in-folder [installer options...]
  local label=$1 folder=$2
  shift 2
  echo "== $label"
  files_of >"$work/$label.before"
  wine_run "$(windows_name "$installer")" /S "$@" >"$work/$label.log" 2>&1 || fail "the installer failed"
  wait_wine
  local module="$prefix/drive_c/$folder/Shardcast.aex"
  [[ -f "$module" ]] || fail "no Shardcast.aex in C:/$folder"
  cmp -s "$module" "$build/packages/zip/Shardcast.aex" || fail "the installed module differs from the zip's"
  [[ -f "$program_folder/Uninstall.exe" ]] || fail "no Uninstall.exe in C:/Program Files/Shardcast"
  # The zip's files, the tool with its module and looks among them.
  local file
  while read -r file; do
    cmp -s "$build/packages/zip/$file" "$program_folder/$file" ||
      fail "C:/Program Files/Shardcast/${file#./} is missing or differs from the zip's"
  done < <(cd "$build/packages/zip" && find . -type f)
  wine_run reg query "$uninstall_key" /v QuietUninstallString >"$work/$label.reg" 2>&1 ||
    fail "no uninstaller in Add/Remove Programs"

  # The installed module against the build's, both under Wine.
  render_cases "$module" "$work/$label-installed" "$work/$label-driver.log" || fail "the installed module failed"
  diff -r -q "$work/build-module" "$work/$label-installed" >/dev/null ||
    fail "the installed module renders differently from the build's"
  render_look "$program_folder/shardcast.exe" "$work/$label-look.png" "$work/$label-look.log"

  wine_run "C:\\Program Files\\Shardcast\\Uninstall.exe" /S >"$work/$label-uninstall.log" 2>&1 ||
    fail "the uninstaller failed"
  wait_wine
  # The uninstaller runs from a copy in Temp that Windows deletes at the next
  # restart; a simulated restart does it here.
  wine_run wineboot --restart >/dev/null 2>&1
  wait_wine
  files_of >"$work/$label.after"
  diff "$work/$label.before" "$work/$label.after" >"$work/$label.left" ||
    fail "the uninstall left or took files: $(cat "$work/$label.left")"
  if wine_run reg query "$uninstall_key" >/dev/null 2>&1; then fail "the uninstaller is still registered"; fi
}

render_cases "$build/bin/Shardcast.aex" "$work/build-module" "$work/driver.log" ||
  fail "the build's module failed under Wine"
wine_run "$(windows_name "$build/bin/shardcast.exe")" render --sample-size 64x48 \
  --settings "$(windows_name "$(pwd)/looks/stripes.toml")" -o "$(windows_name "$work/look-reference.png")" \
  >"$work/look-reference.log" 2>&1 || fail "the build's tool could not render looks/stripes.toml"

echo "== the zip"
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$(ls "$build"/packages/Shardcast-*-windows.zip)")
render_look "$work/zip/shardcast.exe" "$work/zip-look.png" "$work/zip-look.log"

round_trip standard-folder "Program Files/Adobe/Common/Plug-ins/7.0/MediaCore"

wine_run reg add 'HKLM\SOFTWARE\Adobe\Premiere Pro\CurrentVersion' /v Plug-InsDir /d 'C:\Hosts\MediaCore' /f \
  >/dev/null 2>&1
mkdir -p "$prefix/drive_c/Hosts/MediaCore"
round_trip registry-folder "Hosts/MediaCore"
[[ -d "$prefix/drive_c/Hosts/MediaCore" ]] || fail "the uninstall removed a folder it did not create"

round_trip chosen-folder "Plugins/Mine" '/D=C:\Plugins\Mine'

echo "== a look of the user's"
wine_run "$(windows_name "$installer")" /S >"$work/own-look.log" 2>&1 || fail "the installer failed"
wait_wine
echo 'broken-bytes = 3' >"$program_folder/looks/mine.toml"
wine_run "C:\\Program Files\\Shardcast\\Uninstall.exe" /S >>"$work/own-look.log" 2>&1 || fail "the uninstaller failed"
wait_wine
[[ -f "$program_folder/looks/mine.toml" ]] || fail "the uninstall removed a look it did not install"
[[ -z $(find "$program_folder" -type f ! -name mine.toml) ]] ||
  fail "the uninstall left files beside the user's look: $(find "$program_folder" -type f)"

WINEPREFIX="$prefix" "$wineserver" -k || true
echo "Windows installer test passed in $((SECONDS - start)) s"

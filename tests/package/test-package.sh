#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the .deb packages from the built tree (VELMORANT_BUILD_DIR), unpacks
# them into a temporary root and checks them as a user and Debian would:
#  - control fields, and dependencies found by dpkg-shlibdeps;
#  - the files of an FHS installation, SONAME and NEEDED, pkg-config;
#  - the unpacked program on a private Xvfb: French from the installed
#    catalogue, the demo room found through network.json in its working
#    directory, the settings window; then English by the settings file;
#  - lintian, desktop-file-validate, appstreamcli validate, man.
# Screenshots and logs go to <build>/test-artefacts/package/.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${VELMORANT_BUILD_DIR:?}
source=${VELMORANT_SOURCE_DIR:?}
artefacts=$build/test-artefacts/package
mkdir -p "$artefacts"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
note() { echo "-- $*"; }

# Waits (up to $1 seconds) until the command succeeds.
wait_for() {
  local limit=$1
  shift
  local end=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}

# ---------------------------------------------------------------------------
# Part run on the private X display: the unpacked program in both languages.
if [ "${1:-}" = "--on-display" ]; then
  root=$2 work=$3 tcp_port=$4 client_needs=$5
  client_pid=""
  trap '[ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null; wait 2>/dev/null || true' EXIT

  # A working directory with the network file pointing at the demo room; the
  # machine-wide folders are empty ones, so only this file can find the room.
  run=$work/run
  mkdir -p "$run" "$work/machine"
  printf '{ "servers": ["127.0.0.1:%s"] }\n' "$tcp_port" >"$run/network.json"
  export XDG_DATA_DIRS=$work/machine
  settings_dir="$XDG_DATA_HOME/Velmorant Client"
  mkdir -p "$settings_dir"

  # $1 Langage value, $2 program path, $3 expected catalogue, $4 users text
  # expected in the status, $5 artefact name.
  run_client() {
    local language=$1 program=$2 catalogue=$3 users=$4 name=$5
    local log=$artefacts/$name.log
    printf '{ "Langage": "%s" }\n' "$language" >"$settings_dir/config.json"
    (cd "$run" && exec "$program") >"$log" 2>&1 &
    client_pid=$!
    local window
    window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$client_pid" | head -n1) ||
      fail "$name: no window of the unpacked program"
    note "$name: window $window"

    grep -qF "translation catalogue $catalogue" "$log" ||
      fail "$name: the program did not load $catalogue (see $log)"
    # The library the program runs with is the unpacked one.
    if [ -n "$client_needs" ]; then
      grep -q "$root/usr/lib/.*/libGlimra\.so\.[0-9]*" "/proc/$client_pid/maps" ||
        fail "$name: libGlimra not loaded from the unpacked root"
    fi
    # The window's class is the name the program was started by, which is
    # what the menu entry's StartupWMClass says for its Exec.
    xprop -id "$window" WM_CLASS | grep -qF "\"$(basename "$program")\"" ||
      fail "$name: WM_CLASS is $(xprop -id "$window" WM_CLASS)"

    # The room, found through the network file only.
    xdotool windowfocus --sync "$window"
    xdotool type --delay 60 VLM42
    wait_for 20 grep -q "velmorant.codewindow: status .*state=2.*room=\"Salle de démonstration\".*users=\"$users\"" "$log" ||
      fail "$name: the demo room with \"$users\" did not show (see $log)"
    # The splash (an orange icon in the middle) fades out after a second.
    eval "$(xdotool getwindowgeometry --shell "$window")"
    wait_for 10 splash_gone $((X + 210)) $((Y + 100)) || fail "$name: the splash screen stays"
    import -window root "$artefacts/$name-room.png"

    # The settings window, through the code window's settings button
    # (420,20 24x24 in the window description; no scaling on Xvfb's 96 dpi).
    local attempt opened=""
    for attempt in 1 2 3; do
      xdotool mousemove --sync $((X + 432)) $((Y + 32)) click 1
      if wait_for 5 windows_at_least 2; then
        opened=1
        break
      fi
    done
    [ -n "$opened" ] || fail "$name: the settings window did not open"
    sleep 0.5 # let it paint before the screenshot (nothing is checked by time)
    import -window root "$artefacts/$name-settings.png"

    kill "$client_pid"
    wait "$client_pid" 2>/dev/null || true
    client_pid=""
  }

  windows_at_least() { [ "$(xdotool search --onlyvisible --pid "$client_pid" | wc -l)" -ge "$1" ]; }
  splash_gone() { # x y: that pixel shows the dark background again, not the splash icon
    local red
    red=$(import -window root -crop "1x1+$1+$2" -depth 8 txt:- | sed -n 's/^0,0: *(\([0-9]*\),.*/\1/p')
    [ -n "$red" ] && [ "$red" -lt 80 ]
  }

  share=$root/usr/share/velmorant-client/languages
  run_client "Francais" "$root/usr/bin/velmorant-client" "$share/velmorantclient_fr.qm" \
    "3 / 10 utilisateurs." french
  # The compatibility name starts the same program.
  run_client "English" "$root/usr/bin/VelmorantClient" "$share/velmorantclient_en.qm" \
    "3 / 10 users." english
  # The catalogues change what the settings window shows.
  difference=$(compare -metric AE "$artefacts/french-settings.png" "$artefacts/english-settings.png" null: 2>&1 || true)
  [ "${difference%% *}" != "0" ] || fail "the French and English settings windows look the same"
  note "French and English settings windows differ in $difference pixels"
  exit 0
fi

# ---------------------------------------------------------------------------
work=$(mktemp -d "${TMPDIR:-/tmp}/package.XXXXXX")
emulator_pid=""
trap '[ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

for tool in cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli objdump pkg-config \
  xdotool xprop import compare identify man; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done

note "building the packages"
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$artefacts/cpack.log" 2>&1 ||
  { tail -n 30 "$artefacts/cpack.log"; fail "cpack failed"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
major=${version%%.*}
client_deb=$work/out/velmorant-client_${version}_${arch}.deb
lib_deb=$work/out/libglimra${major}_${version}_${arch}.deb
dev_deb=$work/out/libglimra-dev_${version}_${arch}.deb
for deb in "$client_deb" "$lib_deb" "$dev_deb"; do
  [ -f "$deb" ] || fail "no $(basename "$deb") among: $(ls "$work/out")"
done
# The programs take their version from the same project() as the packages.
[ "$("$build/bin/room-emulator" --version)" = "room-emulator $version" ] ||
  fail "package version $version is not the programs' version"

# --- control fields -------------------------------------------------------
field() { dpkg-deb -f "$1" "$2"; }
check_field() { # deb field pattern
  local value
  value=$(field "$1" "$2")
  [[ "$value" =~ $3 ]] || fail "$(basename "$1"): $2 is \"$value\", expected /$3/"
}
for deb in "$client_deb" "$lib_deb" "$dev_deb"; do
  check_field "$deb" Version "^${version//./\\.}$"
  check_field "$deb" Priority '^optional$'
  check_field "$deb" Maintainer '^[^<]+ <[^@>]+@[^>]+>$'
  check_field "$deb" Description '^[a-z].{10,78}'
  check_field "$deb" Homepage '^https://'
done
check_field "$client_deb" Section '^net$'
check_field "$lib_deb" Section '^libs$'
check_field "$dev_deb" Section '^libdevel$'
# dpkg-shlibdeps's work: the libraries the binaries need, with versions.
check_field "$client_deb" Depends "libglimra${major} \\(= ${version//./\\.}\\)"
check_field "$client_deb" Depends 'libqt5widgets5 \(>= [0-9]'
check_field "$client_deb" Depends 'libcrypto\+\+[0-9]+ \(>= [0-9]'
check_field "$lib_deb" Depends 'libavcodec[0-9]+ \(>= [0-9:.]'
check_field "$lib_deb" Depends 'libc6 \(>= [0-9]'
check_field "$dev_deb" Depends "libglimra${major} \\(= ${version//./\\.}\\)"
dpkg-deb --ctrl-tarfile "$lib_deb" | tar -xO ./shlibs | grep -qx "libGlimra ${major} libglimra${major} (= ${version})" ||
  fail "the library package has no shlibs entry for libGlimra ${major}"

# --- contents -------------------------------------------------------------
root=$work/root
for deb in "$client_deb" "$lib_deb" "$dev_deb"; do dpkg-deb -x "$deb" "$root"; done
expect_file() { [ -f "$root/$1" ] || fail "missing /$1"; }
for f in usr/bin/velmorant-client usr/bin/velmorant-netconf usr/bin/room-emulator; do
  expect_file "$f"
  [ -x "$root/$f" ] || fail "/$f is not executable"
done
[ "$(readlink "$root/usr/bin/VelmorantClient")" = velmorant-client ] || fail "no VelmorantClient link"
for f in usr/share/velmorant-client/languages/velmorantclient_fr.qm \
  usr/share/velmorant-client/languages/velmorantclient_en.qm \
  usr/share/applications/example.velmorant.client.desktop \
  usr/share/metainfo/example.velmorant.client.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/velmorant-client.svg \
  usr/share/man/man1/velmorant-client.1.gz usr/share/man/man1/velmorant-netconf.1.gz \
  usr/share/man/man1/room-emulator.1.gz usr/share/doc/velmorant-client/examples/network.json \
  usr/include/Glimra "usr/lib/$multiarch/pkgconfig/glimra.pc" "usr/lib/$multiarch/libGlimra.so.$version"; do
  expect_file "$f"
done
for size in 16 22 24 32 48 64 128 256 512; do
  png=usr/share/icons/hicolor/${size}x${size}/apps/velmorant-client.png
  expect_file "$png"
  [ "$(identify -format '%wx%h' "$root/$png")" = "${size}x${size}" ] || fail "/$png is not ${size}x${size}"
done
[ ! -e "$root/usr/bin/languages" ] || fail "catalogues installed beside the program"
# The library's runtime package holds no development link, the development
# package no library.
dpkg-deb -c "$lib_deb" | grep -q 'libGlimra\.so -> ' && fail "libGlimra.so link in the runtime package"
dpkg-deb -c "$dev_deb" | grep -q "libGlimra\.so\.${version}" && fail "the library in the development package"
[ "$(readlink "$root/usr/lib/$multiarch/libGlimra.so")" = "libGlimra.so.${major}" ] ||
  fail "libGlimra.so does not point at the SONAME"

# SONAME with a version, and the program needs it by that name; search paths
# only relative to the program.
soname=$(objdump -p "$root/usr/lib/$multiarch/libGlimra.so.$version" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = "libGlimra.so.${major}" ] || fail "SONAME is \"$soname\""
# The program needs the library by its SONAME (once it links the library at
# all: the session window brings it in).
client_needs=$(objdump -p "$root/usr/bin/velmorant-client" | awk '$1 == "NEEDED" && $2 ~ /^libGlimra/ { print $2 }')
[ -z "$client_needs" ] || [ "$client_needs" = "libGlimra.so.${major}" ] ||
  fail "the program needs \"$client_needs\", not libGlimra.so.${major}"
[ -n "$client_needs" ] || note "the program does not link libGlimra yet"
for elf in usr/bin/velmorant-client usr/bin/velmorant-netconf usr/bin/room-emulator \
  "usr/lib/$multiarch/libGlimra.so.$version"; do
  objdump -p "$root/$elf" | awk '$1 == "RUNPATH" || $1 == "RPATH" { print $2 }' | tr ':' '\n' | grep -v '^\$ORIGIN' |
    grep . && fail "/$elf searches libraries outside the installation"
done
note "SONAME $soname; contents complete"

# The development package serves another program: compile and link one.
cat >"$work/uses-glimra.cpp" <<'CPP'
#include <Glimra>
int main()
{
    Glimra glimra;
    return glimra.isStreaming() ? 1 : 0;
}
CPP
pc=$root/usr/lib/$multiarch/pkgconfig/glimra.pc
[ "$(sed -n 's/^prefix=//p' "$pc")" = /usr ] || fail "glimra.pc's prefix is not /usr"
# The file as it would read installed under the temporary root.
mkdir -p "$work/pkgconfig"
sed "s|^prefix=.*|prefix=$root/usr|" "$pc" >"$work/pkgconfig/glimra.pc"
export PKG_CONFIG_PATH=$work/pkgconfig
# shellcheck disable=SC2046
c++ -std=c++17 -fPIC -o "$work/uses-glimra" "$work/uses-glimra.cpp" $(pkg-config --cflags --libs glimra) \
  >"$artefacts/uses-glimra.log" 2>&1 || { cat "$artefacts/uses-glimra.log"; fail "cannot build against glimra.pc"; }
[ "$(pkg-config --modversion glimra)" = "$version" ] || fail "glimra.pc has version $(pkg-config --modversion glimra)"
objdump -p "$work/uses-glimra" | grep -Eq "NEEDED +libGlimra\.so\.${major}$" || fail "a program built with glimra.pc does not need the SONAME"
unset PKG_CONFIG_PATH

# --- Debian's checkers ------------------------------------------------------
note "checking with lintian, desktop-file-validate, appstreamcli, man"
lintian --tag-display-limit 0 --display-info "$client_deb" "$lib_deb" "$dev_deb" >"$artefacts/lintian.log" 2>&1 || true
cat "$artefacts/lintian.log"
! grep -q '^E: ' "$artefacts/lintian.log" || fail "lintian reports errors"
grep -q '^[EW]: ' "$artefacts/lintian.log" && note "lintian warnings: $(grep -c '^W: ' "$artefacts/lintian.log")"

desktop=$root/usr/share/applications/example.velmorant.client.desktop
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate reports: $out"
grep -q '^Name\[fr\]=' "$desktop" && grep -q '^Comment\[fr\]=' "$desktop" || fail "no French name and comment"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$root/usr/bin/$exec_name" ] || fail "the menu entry starts \"$exec_name\", which is not installed"
[ "$(sed -n 's/^StartupWMClass=//p' "$desktop")" = "$exec_name" ] || fail "StartupWMClass is not $exec_name"
icon=$(sed -n 's/^Icon=//p' "$desktop")
expect_file "usr/share/icons/hicolor/scalable/apps/$icon.svg"

metainfo=$root/usr/share/metainfo/example.velmorant.client.metainfo.xml
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
# The one message allowed: the placeholder domain's "example" is not a
# top-level domain appstream knows.
messages=$(printf '%s\n' "$out" | grep -E '^[EWI]: ' | grep -v '^I: .*cid-maybe-not-rdns' || true)
[ -z "$messages" ] || fail "appstreamcli validate reports: $messages"
# The installed tree as a whole: the launchable names the installed menu entry.
out=$(appstreamcli validate-tree --no-net "$root" 2>&1) || fail "appstreamcli validate-tree: $out"
messages=$(printf '%s\n' "$out" | grep -E '^ *[EWI]: ' | grep -v '^ *I: .*cid-maybe-not-rdns' || true)
[ -z "$messages" ] || fail "appstreamcli validate-tree reports: $messages"
[ "$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo")" = "$version" ] ||
  fail "the metainfo's release is not $version"
# Every screenshot is a picture of the window gallery.
shots=$(sed -n 's|.*<image>.*/\([^/<]*\.png\)</image>.*|\1|p' "$metainfo")
[ -n "$shots" ] || fail "no screenshots in the metainfo"
for shot in $shots; do
  [ -f "$build/gallery/$shot" ] || fail "screenshot $shot is not in the window gallery"
done

for page in velmorant-client velmorant-netconf room-emulator; do
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$out" ] || fail "man $page: $out"
done
# Every option the programs accept is in their manual pages.
man_text() { LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$root/usr/share/man/man1/$1.1.gz" 2>/dev/null | col -b; }
pages=$(man_text room-emulator)
for option in $("$root/usr/bin/room-emulator" --help | grep -oE '^ +(-[a-z?], )?--[a-z-]+' | grep -oE -- '--[a-z-]+'); do
  grep -qF -- "$option" <<<"$pages" || fail "room-emulator(1) lacks $option"
done
pages=$(man_text velmorant-netconf)
for command in $("$root/usr/bin/velmorant-netconf" 2>&1 | grep -oE 'velmorant-netconf [a-z]+' | cut -d' ' -f2); do
  grep -qE "^ +$command " <<<"$pages" || fail "velmorant-netconf(1) lacks the command $command"
done
[ "$(readlink "$root/usr/share/man/man1/VelmorantClient.1.gz")" = velmorant-client.1.gz ] ||
  fail "no manual page for VelmorantClient"

# --- the unpacked program -----------------------------------------------------
note "starting the unpacked room emulator and program"
events=$work/events.jsonl
"$root/usr/bin/room-emulator" --bind 127.0.0.1 --tcp-port 0 --udp-port 0 --no-discovery \
  --room 'VLM42:Salle de démonstration:3:10:2:demo-room' --events "$events" &
emulator_pid=$!
wait_for 10 grep -qs '"event":"ready"' "$events" || fail "the unpacked room emulator did not start"
tcp_port=$(sed -n 's/.*"event":"ready".*"tcp_port":\([0-9]*\).*/\1/p' "$events" | head -n1)
"$source/scripts/with-xvfb.sh" --screen 1280x1024x24 --xvfb-arg -dpi --xvfb-arg 96 -- \
  "$0" --on-display "$root" "$work" "$tcp_port" "$client_needs"
cp "$events" "$artefacts/room-events.jsonl"
# One grep, no pipe: under pipefail, grep -q ending a pipe early can fail
# the writer before it with SIGPIPE. The emulator writes keys in order.
grep -q '"code":"VLM42".*"event":"codetest".*"valid":true' "$events" ||
  fail "the emulator answered no code test for VLM42"
note "all package checks passed"

#!/usr/bin/env bash
# Checks what host developers and administrators get from a build:
#  - `cmake --install` into a staging prefix whose path has a space;
#  - the installed library: exactly the six exports, the SONAME, the companions beside it;
#  - examples/minimal-host built from that prefix with pkg-config and with find_package(Sondrel),
#    and run without a usable scan server (it must say "not scanned" and exit with 3);
#  - the installed tools: they start from their links, and their man pages name their options;
#  - the Debian packages: their contents and dependencies (dpkg-deb -c, dpkg-deb -f) and, as
#    root, an install and removal that leaves no file behind.
# Usage: scripts/check-install.sh [BUILD_DIR]    (default: build, already built)
# The build directory is reconfigured with CMAKE_INSTALL_PREFIX=/usr, the Debian layout.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build=$(realpath "${1:-build}")

packages=(libsondrel0 libsondrel-dev sondrel-tools)
work=$(mktemp -d "${TMPDIR:-/tmp}/sondrel install check.XXXXXX")
installed_here=0
cleanup() {
  if [ "$installed_here" = 1 ]; then
    dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "check-install: $*" >&2
  exit 1
}

# expect_output <expected exit code> <expected text> <command...>
expect_output() {
  local code=$1 text=$2
  shift 2
  local output status=0
  output=$("$@" 2>&1) || status=$?
  echo "$output"
  [ "$status" = "$code" ] || fail "$* exited with $status, expected $code"
  grep -qF -- "$text" <<<"$output" || fail "$* did not print '$text'"
}

echo "== install into a staging prefix"
cmake -S . -B "$build" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" --target sondrel merrin_module sondrel-scan sondrel-probe
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
prefix="$work/staging prefix/usr"
cmake --install "$build" --prefix "$prefix" >/dev/null
private="$prefix/$libdir/sondrel"
(cd "$prefix/.." && find . ! -type d | sort)

echo "== the installed library"
nm -D --defined-only "$private/libsondrel.so.0"
exports=$(nm -D --defined-only "$private/libsondrel.so.0" | awk '{print $3}' | sort | tr '\n' ' ')
[ "$exports" = "CoreDisinfect CoreFree CoreInit CoreNew CoreScan CoreUninit " ] ||
  fail "the library exports: $exports"
readelf -d "$private/libsondrel.so.0" | grep SONAME
readelf -d "$private/libsondrel.so.0" | grep -q 'Library soname: \[libsondrel.so.0\]' ||
  fail "the SONAME is not libsondrel.so.0"
[ -f "$private/Merrin.so" ] || fail "Merrin.so is not beside the library"

echo "== the example host, built with pkg-config and with find_package"
cp -r examples/minimal-host "$work/with pkg-config"
PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" make -s -C "$work/with pkg-config" \
  CFLAGS="-O2 -Wall -Wextra -Wpedantic -Werror"
cmake -S examples/minimal-host -B "$work/with find_package" -G Ninja \
      -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="-Wall -Wextra -Wpedantic -Werror" >/dev/null
cmake --build "$work/with find_package" >/dev/null
echo "sample" >"$work/sample file.txt"
for host in "$work/with pkg-config/minimal-host" "$work/with find_package/minimal-host"; do
  readelf -d "$host" | grep -E 'NEEDED.*sondrel|RUNPATH'
  # Without a settings file remote scanning is off.
  expect_output 3 "not scanned (remote scanning is off)" "$host" "$work/sample file.txt"
  # With a server that does not answer, the file is not scanned remotely.
  mkdir -p "$(dirname "$host")/settings"
  echo "<qxcore><server>127.0.0.1</server><port>1</port></qxcore>" \
    >"$(dirname "$host")/settings/qxcore.xml"
  expect_output 3 "sample file.txt: not scanned" "$host" "$work/sample file.txt"
done
# Issue 13, second half: run the example host against sondrel-server from the same prefix here
# (EICAR found, exit code 1) once the server is installed with the rest.

echo "== the installed tools"
expect_output 0 "usage: sondrel-probe" "$prefix/bin/sondrel-probe" --help
expect_output 2 "usage: sondrel-scan" "$prefix/bin/sondrel-scan"
expect_output 2 "no scan server: give --server or --settings" \
  "$prefix/bin/sondrel-scan" --no-local-server "$work/sample file.txt"
if find "$private" -name '*.log' | grep -q .; then
  fail "the installed tools wrote log files beside the library"
fi
options() { grep -oE -- '--[a-z][a-z-]*' | sort -u; }
for tool in sondrel-scan sondrel-probe; do
  in_usage=$("$prefix/bin/$tool" --help 2>&1 | grep -v '^sondrel' | options || true)
  in_page=$(sed 's/\\-/-/g' "$prefix/share/man/man1/$tool.1" | options | grep -vxF -- --help || true)
  in_usage=$(grep -vxF -- --help <<<"$in_usage" || true)
  [ "$in_usage" = "$in_page" ] ||
    fail "$tool: options in its usage (${in_usage//$'\n'/ }) and man page (${in_page//$'\n'/ }) differ"
done

echo "== the Debian packages"
rm -rf "$build/packages"
(cd "$build" && cpack >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
contents() { dpkg-deb -c "$1" | awk '{print $6 ($7 == "->" ? " -> " $8 : "")}' | sed 's|/$||'; }
expect_contents() {
  local deb=$1 expected=$2
  local actual
  actual=$(contents "$deb" | grep -v '^\./usr\(\|/share\|/share/man\|/share/man/man1\|/bin\|/include\|/lib\|/lib/[^/]*\)$' ||
    true)
  [ "$actual" = "$expected" ] || fail "$(basename "$deb") holds:"$'\n'"$actual"$'\n'"expected:"$'\n'"$expected"
}
expect_depends() {
  local deb=$1 depends
  shift
  depends=$(dpkg-deb -f "$deb" Depends)
  for wanted in "$@"; do
    grep -qF -- "$wanted" <<<"$depends" || fail "$(basename "$deb") does not depend on $wanted"
  done
}
deb() { echo "$build/packages/${1}_${version}_${arch}.deb"; }
for package in "${packages[@]}"; do
  echo "-- $(basename "$(deb "$package")")"
  dpkg-deb -f "$(deb "$package")" Package Version Architecture Section Depends
  contents "$(deb "$package")"
done
L="./usr/$libdir/sondrel"
expect_contents "$(deb libsondrel0)" "$L
$L/Merrin.so
$L/libsondrel.so.0 -> libsondrel.so.$version
$L/libsondrel.so.$version"
expect_contents "$(deb libsondrel-dev)" "./usr/include/sondrel
./usr/include/sondrel/sondrel.h
./usr/$libdir/cmake
./usr/$libdir/cmake/Sondrel
./usr/$libdir/cmake/Sondrel/SondrelConfig.cmake
./usr/$libdir/cmake/Sondrel/SondrelConfigVersion.cmake
./usr/$libdir/pkgconfig
./usr/$libdir/pkgconfig/sondrel.pc
$L
$L/libsondrel.so -> libsondrel.so.0"
expect_contents "$(deb sondrel-tools)" "./usr/bin/sondrel-probe -> ../$libdir/sondrel/sondrel-probe
./usr/bin/sondrel-scan -> ../$libdir/sondrel/sondrel-scan
$L
$L/Logger.xml
$L/sondrel-probe
$L/sondrel-scan
./usr/share/man/man1/sondrel-probe.1
./usr/share/man/man1/sondrel-scan.1"
expect_depends "$(deb libsondrel0)" libc6 libstdc++6 libssl3 zlib1g libtinyxml2.6.2v5 \
  libboost-thread1.74.0
expect_depends "$(deb libsondrel-dev)" "libsondrel0 (= $version)"
expect_depends "$(deb sondrel-tools)" "libsondrel0 (= $version)" libssl3 libboost-thread1.74.0

echo "== install and remove the packages"
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing packages needs root"
  exit 0
fi
for package in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q installed; then
    fail "$package is installed on this machine already; not touching it"
  fi
done
before="$work/before.txt"
for package in "${packages[@]}"; do contents "$(deb "$package")"; done |
  sed 's| -> .*||; s|^\.||' | sort -u |
  while read -r path; do [ -e "$path" ] || [ -L "$path" ] && echo "$path"; done >"$before" || true
installed_here=1
dpkg -i "$(deb libsondrel0)" "$(deb libsondrel-dev)" "$(deb sondrel-tools)" >/dev/null
pkg-config --libs sondrel
make -s -C "$work/with pkg-config" clean minimal-host CFLAGS="-O2 -Wall -Wextra -Werror"
readelf -d "$work/with pkg-config/minimal-host" | grep RUNPATH
expect_output 3 "not scanned" "$work/with pkg-config/minimal-host" "$work/sample file.txt"
expect_output 2 "no scan server: give --server or --settings" sondrel-scan --no-local-server \
  "$work/sample file.txt"
expect_output 0 "usage: sondrel-probe" sondrel-probe --help
dpkg -r "${packages[@]}" >/dev/null
left=$(for package in "${packages[@]}"; do contents "$(deb "$package")"; done |
  sed 's| -> .*||; s|^\.||' | sort -u |
  while read -r path; do
    if { [ -e "$path" ] || [ -L "$path" ]; } && ! grep -qxF -- "$path" "$before"; then
      echo "$path"
    fi
  done)
installed_here=0
[ -z "$left" ] || fail "removing the packages left behind:"$'\n'"$left"
echo "installed, used and removed the packages: nothing left behind"

#!/usr/bin/env bash
# Checks what host developers and administrators get from a build:
#  - `cmake --install` into a staging prefix whose path has a space;
#  - the installed library: exactly the six exports, the SONAME, Merrin.so beside it, the monitor
#    companions apart from it (in companions/, not beside the tools);
#  - examples/minimal-host built from that prefix with pkg-config and with find_package(Sondrel),
#    run without a usable scan server (it must say "not scanned" and exit with 3), then against
#    the sondrel-server of the same prefix (EICAR found: exit 1; a clean file alone: exit 0);
#  - the installed tools: they start from their links, sondrel-scan without a server starts the
#    installed sondrel-server, and the man pages name the options of --help;
#  - the Debian packages: their contents, dependencies and maintainer files (dpkg-deb -c, -f, -e)
#    and, as root, an install (the service user, the systemd unit checked with systemd-analyze,
#    the unit's ExecStart run as the service user: EICAR found, SIGHUP reloads, SIGTERM exits 0)
#    and a removal and purge that leave no file behind.
# Usage: scripts/check-install.sh [BUILD_DIR]    (default: build, already built)
# The build directory is reconfigured with CMAKE_INSTALL_PREFIX=/usr, the Debian layout.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")

packages=(libsondrel0 libsondrel-dev sondrel-tools sondrel-server)
server_user=sondrel-server
work=$(mktemp -d "${TMPDIR:-/tmp}/sondrel install check.XXXXXX")
installed_here=0
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
  fi
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

# start_server <log file> <command...>: starts a scan server in the background; sets server_pid
# and server_port from its first "listening ADDRESS:PORT" line.
start_server() {
  local log=$1
  shift
  "$@" >"$log.out" 2>"$log" &
  server_pid=$!
  for _ in $(seq 100); do
    server_port=$(sed -n 's/^listening .*:\([0-9]*\)$/\1/p' "$log.out" | head -n 1)
    [ -n "$server_port" ] && { echo "$* is listening on port $server_port"; return; }
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$log" >&2
  fail "$* did not start listening"
}

# stop_server <log file>: SIGTERM; the server must exit 0 and say it stopped.
stop_server() {
  local log=$1 status=0
  kill -TERM "$server_pid"
  wait "$server_pid" || status=$?
  server_pid=
  grep -q 'INFO stopped' "$log" || { cat "$log" >&2; fail "the server did not stop in order"; }
  [ "$status" = 0 ] || { cat "$log" >&2; fail "the server exited with $status after SIGTERM"; }
  echo "SIGTERM: the server stopped in order, exit code 0"
}

# settings_for <host program> <port>: the host's settings file, naming the server on 127.0.0.1.
settings_for() {
  mkdir -p "$(dirname "$1")/settings"
  echo "<qxcore><server>127.0.0.1</server><port>$2</port></qxcore>" \
    >"$(dirname "$1")/settings/qxcore.xml"
}

echo "== install into a staging prefix"
cmake -S . -B "$build" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" --target sondrel merrin_module kalvix_module ostrel_module sondrel-scan \
  sondrel-probe sondrel-server
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
stage="$work/staging prefix"
prefix="$stage/usr"
cmake --install "$build" --prefix "$prefix" >/dev/null
private="$prefix/$libdir/sondrel"
(cd "$stage" && find . ! -type d | sort)

echo "== the installed library and its companions"
nm -D --defined-only "$private/libsondrel.so.0"
exports=$(nm -D --defined-only "$private/libsondrel.so.0" | awk '{print $3}' | sort | tr '\n' ' ')
[ "$exports" = "CoreDisinfect CoreFree CoreInit CoreNew CoreScan CoreUninit " ] ||
  fail "the library exports: $exports"
readelf -d "$private/libsondrel.so.0" | grep SONAME
readelf -d "$private/libsondrel.so.0" | grep -q 'Library soname: \[libsondrel.so.0\]' ||
  fail "the SONAME is not libsondrel.so.0"
[ -f "$private/Merrin.so" ] || fail "Merrin.so is not beside the library"
for companion in Kalvix.so ostrel.so; do
  [ -f "$private/companions/$companion" ] || fail "$companion is not in $private/companions"
  [ ! -e "$private/$companion" ] || fail "$companion is beside the tools"
done

echo "== the installed server"
[ "$(readlink -f "$private/sondrel-server")" = "$(readlink -f "$prefix/sbin/sondrel-server")" ] ||
  fail "$private/sondrel-server does not lead to $prefix/sbin/sondrel-server"
ls "$prefix/share/sondrel/signatures"
[ -f "$stage/etc/sondrel/server.ini" ] || fail "no server.ini in $stage/etc/sondrel"
grep ExecStart "$prefix/lib/systemd/system/sondrel-server.service"

echo "== the example host, built with pkg-config and with find_package"
cp -r examples/minimal-host "$work/with pkg-config"
PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" make -s -C "$work/with pkg-config" \
  CFLAGS="-O2 -Wall -Wextra -Wpedantic -Werror"
cmake -S examples/minimal-host -B "$work/with find_package" -G Ninja \
      -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="-Wall -Wextra -Wpedantic -Werror" >/dev/null
cmake --build "$work/with find_package" >/dev/null
hosts=("$work/with pkg-config/minimal-host" "$work/with find_package/minimal-host")
echo "sample" >"$work/sample file.txt"
# The EICAR test file, written here so that no file of the repository holds it.
printf '%s%s' 'X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR-STANDARD-' 'ANTIVIRUS-TEST-FILE!$H+H*' \
  >"$work/eicar.com"
for host in "${hosts[@]}"; do
  readelf -d "$host" | grep -E 'NEEDED.*sondrel|RUNPATH'
  # Without a settings file remote scanning is off.
  expect_output 3 "not scanned (remote scanning is off)" "$host" "$work/sample file.txt"
  # With a server that does not answer, the file is not scanned remotely.
  settings_for "$host" 1
  expect_output 3 "sample file.txt: not scanned" "$host" "$work/sample file.txt"
done

echo "== the example host against the sondrel-server of the staging prefix"
start_server "$work/staged server.log" "$prefix/sbin/sondrel-server" --listen 127.0.0.1:0
for host in "${hosts[@]}"; do
  settings_for "$host" "$server_port"
  expect_output 1 "eicar.com: found " "$host" "$work/sample file.txt" "$work/eicar.com"
  expect_output 0 "sample file.txt: clean" "$host" "$work/sample file.txt"
done
stop_server "$work/staged server.log"

echo "== the installed tools"
expect_output 0 "usage: sondrel-probe" "$prefix/bin/sondrel-probe" --help
expect_output 2 "usage: sondrel-scan" "$prefix/bin/sondrel-scan"
expect_output 2 "no scan server: give --server or --settings" \
  "$prefix/bin/sondrel-scan" --no-local-server "$work/sample file.txt"
# Without a server the tool starts the one beside it, which is the installed sondrel-server (no
# other is on this PATH).
mkdir "$work/empty path"
expect_output 1 " FOUND" env PATH="$work/empty path" \
  "$prefix/bin/sondrel-scan" --no-progress "$work/eicar.com" "$work/sample file.txt"
if find "$private" -name '*.log' | grep -q .; then
  fail "the installed tools wrote log files beside the library"
fi
options() { grep -oE -- '--[a-z][a-z-]*' | sort -u; }
for program in bin/sondrel-scan:man1 bin/sondrel-probe:man1 sbin/sondrel-server:man8; do
  path=${program%:*}
  name=${path#*/}
  page="$prefix/share/man/${program#*:}/$name.${program#*:man}"
  in_usage=$("$prefix/$path" --help 2>&1 | grep -v '^sondrel' | options | grep -vxF -- --help ||
    true)
  in_page=$(sed 's/\\-/-/g' "$page" | options | grep -vxF -- --help || true)
  [ "$in_usage" = "$in_page" ] ||
    fail "$name: options in its usage (${in_usage//$'\n'/ }) and man page (${in_page//$'\n'/ }) differ"
done
echo "the man pages name the options of --help"

echo "== the Debian packages"
rm -rf "$build/packages"
(cd "$build" && cpack >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
contents() { dpkg-deb -c "$1" | awk '{print $6 ($7 == "->" ? " -> " $8 : "")}' | sed 's|/$||'; }
# The directories every system has are left out of the comparison.
common='^\./\(etc\|usr\|usr/share\|usr/share/man\|usr/share/man/man[18]\|usr/bin\|usr/sbin\|usr/include\|usr/lib\|usr/lib/[^/]*\|usr/lib/systemd\|usr/lib/systemd/system\|var\|var/lib\)$'
expect_contents() {
  local deb=$1 expected=$2
  local actual
  actual=$(contents "$deb" | grep -v "$common" || true)
  [ "$actual" = "$expected" ] || fail "$(basename "$deb") holds:"$'\n'"$actual"$'\n'"expected:"$'\n'"$expected"
}
expect_depends() {
  local deb=$1 field=$2 depends
  shift 2
  depends=$(dpkg-deb -f "$deb" "$field")
  for wanted in "$@"; do
    grep -qF -- "$wanted" <<<"$depends" || fail "$(basename "$deb"): $field lacks $wanted"
  done
}
deb() { echo "$build/packages/${1}_${version}_${arch}.deb"; }
for package in "${packages[@]}"; do
  echo "-- $(basename "$(deb "$package")")"
  dpkg-deb -f "$(deb "$package")" Package Version Architecture Section Depends Recommends Suggests
  contents "$(deb "$package")"
done
L="./usr/$libdir/sondrel"
expect_contents "$(deb libsondrel0)" "$L
$L/Merrin.so
$L/companions
$L/companions/Kalvix.so
$L/companions/ostrel.so
$L/libsondrel.so.0 -> libsondrel.so.$version
$L/libsondrel.so.$version
./var/lib/sondrel
./var/lib/sondrel/cache"
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
expect_contents "$(deb sondrel-server)" "./etc/sondrel
./etc/sondrel/server.ini
./usr/lib/systemd/system/sondrel-server.service
$L
$L/sondrel-server -> ../../../sbin/sondrel-server
./usr/sbin/sondrel-server
./usr/share/man/man8/sondrel-server.8
./usr/share/sondrel
./usr/share/sondrel/signatures
./usr/share/sondrel/signatures/sondrel-test.hdb
./usr/share/sondrel/signatures/sondrel-test.ndb"
expect_depends "$(deb libsondrel0)" Depends libc6 libstdc++6 libssl3 zlib1g libtinyxml2.6.2v5 \
  libboost-thread1.74.0 liblmdb0
expect_depends "$(deb libsondrel-dev)" Depends "libsondrel0 (= $version)"
expect_depends "$(deb sondrel-tools)" Depends "libsondrel0 (= $version)" libssl3 \
  libboost-thread1.74.0
expect_depends "$(deb sondrel-tools)" Suggests sondrel-server
expect_depends "$(deb sondrel-server)" Depends libclamav libssl3 zlib1g libc6 adduser
expect_depends "$(deb sondrel-server)" Recommends clamav-freshclam
for package in libsondrel0 sondrel-server; do
  dpkg-deb -e "$(deb "$package")" "$work/control $package"
  echo "-- $package: control files"
  (cd "$work/control $package" && stat -c '%A %n' -- *)
done
[ "$(cat "$work/control sondrel-server/conffiles")" = /etc/sondrel/server.ini ] ||
  fail "sondrel-server's conffiles are not /etc/sondrel/server.ini"
for script in "control sondrel-server/postinst" "control sondrel-server/prerm" \
  "control sondrel-server/postrm" "control libsondrel0/prerm"; do
  [ -x "$work/$script" ] || fail "$script is not executable"
  sh -n "$work/$script" || fail "$script is not a valid shell script"
done

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
getent passwd "$server_user" >/dev/null && fail "the user $server_user exists already"
# What the packages and their scripts make besides their files.
service_state="/etc/systemd/system/multi-user.target.wants/sondrel-server.service
/var/lib/systemd/deb-systemd-helper-enabled/sondrel-server.service.dsh-also
/var/lib/systemd/deb-systemd-helper-enabled/multi-user.target.wants/sondrel-server.service"
before="$work/before.txt"
for package in "${packages[@]}"; do contents "$(deb "$package")"; done |
  sed 's| -> .*||; s|^\.||' | sort -u |
  while read -r path; do [ -e "$path" ] || [ -L "$path" ] && echo "$path"; done >"$before" || true
# left_behind: the packages' paths that exist now and did not before.
left_behind() {
  for package in "${packages[@]}"; do contents "$(deb "$package")"; done |
    sed 's| -> .*||; s|^\.||' | sort -u |
    while read -r path; do
      if { [ -e "$path" ] || [ -L "$path" ]; } && ! grep -qxF -- "$path" "$before"; then
        echo "$path"
      fi
    done
}
installed_here=1
dpkg -i "$(deb libsondrel0)" "$(deb libsondrel-dev)" "$(deb sondrel-tools)" \
  "$(deb sondrel-server)" >/dev/null
getent passwd "$server_user"
while read -r path; do
  [ -L "$path" ] || [ -e "$path" ] || fail "installing sondrel-server did not make $path"
done <<<"$service_state"
echo "the unit is enabled (deb-systemd-helper)"

echo "-- the systemd unit"
unit=/usr/lib/systemd/system/sondrel-server.service
if [ -d /run/systemd/system ]; then
  echo "systemd runs this machine: the unit was started by the package"
  systemctl --no-pager status sondrel-server.service || true
fi
# It also looks the Documentation= man page up, when man is installed.
verify_options=()
command -v man >/dev/null || verify_options=(--man=no)
systemd-analyze verify "${verify_options[@]}" "$unit" || fail "systemd-analyze verify $unit failed"
echo "systemd-analyze verify: no complaints"
systemd-analyze security --offline=true --no-pager "$unit" | tail -n 1
read -r -a exec_start <<<"$(sed -n 's/^ExecStart=//p' "$unit")"
for key in User Group; do
  [ "$(sed -n "s/^$key=//p" "$unit")" = "$server_user" ] || fail "the unit's $key is not $server_user"
done
# The unit's command line as the service user, without capabilities or new privileges (what
# User=, CapabilityBoundingSet= and NoNewPrivileges= give it). Its configuration listens on
# 127.0.0.1:7081; should that port be taken here, an ephemeral one is added.
as_service=(setpriv --reuid="$server_user" --regid="$server_user" --clear-groups --no-new-privs
  --bounding-set=-all --inh-caps=-all)
port_option=()
if ss -Hltn 'sport = :7081' | grep -q .; then
  echo "port 7081 is taken on this machine: adding --listen 127.0.0.1:0"
  port_option=(--listen 127.0.0.1:0)
fi
log="$work/service.log"
cd /
start_server "$log" "${as_service[@]}" "${exec_start[@]}" "${port_option[@]}"
cd - >/dev/null
grep -q "^listening 127.0.0.1:" "$log.out" || fail "the installed configuration does not listen on 127.0.0.1"
[ "$(stat -c %U "/proc/$server_pid")" = "$server_user" ] || fail "the server does not run as $server_user"
echo "the server runs as $(stat -c %U "/proc/$server_pid")"
host="$work/with pkg-config/minimal-host"
make -s -C "$work/with pkg-config" clean minimal-host CFLAGS="-O2 -Wall -Wextra -Werror"
readelf -d "$host" | grep RUNPATH
pkg-config --libs sondrel
settings_for "$host" "$server_port"
expect_output 1 "eicar.com: found " "$host" "$work/eicar.com"
expect_output 1 " FOUND" sondrel-scan --no-progress \
  --server "127.0.0.1:$server_port" "$work/eicar.com"
kill -HUP "$server_pid"
for _ in $(seq 100); do
  grep -q "signatures reloaded" "$log" && break
  sleep 0.1
done
grep "signatures reloaded" "$log" || fail "SIGHUP did not reload the signatures"
stop_server "$log"
expect_output 1 " FOUND" sondrel-scan --no-progress \
  "$work/eicar.com" "$work/sample file.txt"
expect_output 2 "no scan server: give --server or --settings" sondrel-scan --no-local-server \
  "$work/sample file.txt"
expect_output 0 "usage: sondrel-probe" sondrel-probe --help

echo "-- remove, then purge"
echo "# changed by the administrator" >>/etc/sondrel/server.ini
dpkg -r "${packages[@]}" >/dev/null
left=$(left_behind)
[ "$left" = "/etc/sondrel
/etc/sondrel/server.ini" ] || fail "removing the packages left behind:"$'\n'"$left"
echo "removed: only the configuration is left ($(tr '\n' ' ' <<<"$left"))"
# Only packages with configuration files are left to purge.
read -r -a configured <<<"$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null |
  awk '$2 == "config-files" {print $1}' | tr '\n' ' ')"
echo "left to purge: ${configured[*]}"
dpkg --purge "${configured[@]}" >/dev/null
installed_here=0
left=$(left_behind)
[ -z "$left" ] || fail "purging the packages left behind:"$'\n'"$left"
while read -r path; do
  [ ! -L "$path" ] && [ ! -e "$path" ] || fail "purging sondrel-server left $path"
done <<<"$service_state"
! getent passwd "$server_user" >/dev/null || fail "purging sondrel-server left the user $server_user"
! getent group "$server_user" >/dev/null || fail "purging sondrel-server left the group $server_user"
echo "installed, used, removed and purged the packages: nothing left behind"

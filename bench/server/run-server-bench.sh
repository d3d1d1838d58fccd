#!/usr/bin/env bash
# Measures sondrel-server through the client library and, as the reference in the same run,
# clamd through `clamdscan --stream` on the same corpus and the same signatures with its cache
# disabled: small-file scans per second with 4 host threads (4 clamdscan processes for clamd),
# the time to pull and scan one 100 MiB file, and each server's resident memory idle and during
# that scan. Needs a build (scripts/bootstrap.sh) and clamav-daemon and clamdscan
# (scripts/install-deps.sh). Usage: bench/server/run-server-bench.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
files=${FILES:-2000}
size=${FILE_SIZE:-4096}
large=${LARGE_MIB:-100}
workers=$(nproc)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

rss() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
peak_rss_while() {  # peak_rss_while PID COMMAND...: runs COMMAND, samples PID's RSS meanwhile
  local pid=$1; shift
  local peak=0
  "$@" & local job=$!
  while kill -0 "$job" 2>/dev/null; do
    local now; now=$(rss "$pid"); [ "$now" -gt "$peak" ] && peak=$now
    sleep 0.005
  done
  wait "$job"
  echo "$peak"
}

echo "== sondrel-server ($workers workers), through the library"
"$build/server/sondrel-server" --listen 127.0.0.1:0 --workers "$workers" \
  --max-file-size "$((large * 2))M" --log-level warn > "$work/server.out" 2> "$work/server.err" &
server=$!
for _ in $(seq 100); do grep -q listening "$work/server.out" && break; sleep 0.05; done
port=$(sed -n 's/^listening 127.0.0.1://p' "$work/server.out")
"$build/bench/server/sondrel_server_bench" --port "$port" --server-pid "$server" --threads 4 \
  --files "$files" --file-size "$size" --large-mib "$large" --write-corpus "$work/corpus"
kill -TERM "$server"; wait "$server" || true

echo "== clamd ($workers threads), through clamdscan --stream"
mkdir -p "$work/db"
cp server/signatures/* "$work/db/"
clamd_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > "$work/clamd.conf" <<CONF
TCPSocket $clamd_port
TCPAddr 127.0.0.1
Foreground yes
DatabaseDirectory $work/db
DisableCache yes
LogFile $work/clamd.log
PidFile $work/clamd.pid
MaxThreads $workers
StreamMaxLength $((large * 2))M
MaxFileSize $((large * 2))M
MaxScanSize $((large * 8))M
CONF
clamd -c "$work/clamd.conf" > /dev/null 2>&1 &
clamd_pid=$!
for _ in $(seq 200); do clamdscan -c "$work/clamd.conf" --ping 1 > /dev/null 2>&1 && break; sleep 0.05; done
# clamd really scans with these signatures: the EICAR string is found.
printf '%s' 'X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*' > "$work/eicar.com"
found=$(clamdscan -c "$work/clamd.conf" --stream --no-summary "$work/eicar.com" || true)
case $found in *FOUND*) ;; *) echo "clamd does not scan: $found" >&2; exit 1 ;; esac
start=$(date +%s.%N)
find "$work/corpus/small" -type f | xargs -P 4 -n $(( (files + 3) / 4 )) \
  clamdscan -c "$work/clamd.conf" --stream --no-summary --quiet || true
end=$(date +%s.%N)
python3 -c "s=$end-$start; print(f'small files: $files x $size bytes, 4 clamdscan processes: {s:.2f} s, {$files/s:.0f} scans/s')"
idle=$(rss "$clamd_pid")
start=$(date +%s.%N)
peak=$(peak_rss_while "$clamd_pid" clamdscan -c "$work/clamd.conf" --stream --no-summary --quiet \
  "$work/corpus/large.bin")
end=$(date +%s.%N)
python3 -c "s=$end-$start; print(f'large file: $large MiB streamed and scanned in {s:.2f} s ({$large/s:.0f} MiB/s)')"
echo "clamd RSS: idle $idle KiB, during the large scan $peak KiB"
kill -TERM "$clamd_pid"; wait "$clamd_pid" || true

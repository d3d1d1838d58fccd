#!/usr/bin/env python3
"""Sondrel end to end against the host's own limit and against clamd, in one run.

Writes the seeded corpus (make_corpus.py), then in every round, one after the other: md5sum over
every file (the host-side limit: reading and hashing it all); clamd with a private configuration
on loopback (cache disabled, 4 threads, the same signature files as our server) through clamdscan
--multiscan on local paths, --stream --multiscan and sequential --stream; and sondrel-scan through
sondrel-server with the same signatures: cold (a server just started, an empty local response
cache), a rescan answered by the local response cache, and a rescan with the local cache off,
answered by the server cache, each with --threads 1 and the default; and the big files once more
with sampled fingerprints turned on (hashnonpe and cachenonpe on the host,
--cache-weak-fingerprints on the server), so that the caches answer for them too. sondrel-scan is run on the
small files and on the big ones separately, so that the rescans of each show; a whole-corpus row
is their sum. Prints the median wall time of each row over the rounds and its ratios against the
anchors. Every run's detections are counted against the corpus's infected files.

Needs a build (the build directory as first argument, default build), clamav-daemon, clamdscan and
python3 (scripts/install-deps.sh). Usage: bench/e2e/run-e2e-bench.py [BUILD_DIR] [--rounds N]
"""
import argparse
import os
import re
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def timed(command, expect_found=None, env=None):
    """Runs `command`, returns its wall time; checks the number of FOUND lines when asked."""
    start = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    seconds = time.perf_counter() - start
    if done.returncode not in (0, 1):
        sys.exit(f"{command[0]} failed ({done.returncode}): {done.stderr.decode()[-2000:]}")
    if expect_found is not None:
        found = done.stdout.decode(errors="replace").count("FOUND")
        if found != expect_found:
            sys.exit(f"{' '.join(command)}: {found} detections, {expect_found} expected\n"
                     f"{done.stdout.decode(errors='replace')[-2000:]}")
    return seconds


class Clamd:
    def __init__(self, work, db, threads):
        self.port = free_port()
        self.conf = os.path.join(work, "clamd.conf")
        with open(self.conf, "w") as conf:
            conf.write(f"""TCPSocket {self.port}
TCPAddr 127.0.0.1
Foreground yes
DatabaseDirectory {db}
DisableCache yes
LogFile {work}/clamd.log
PidFile {work}/clamd.pid
MaxThreads {threads}
MaxQueue 200
StreamMaxLength 100M
MaxFileSize 100M
MaxScanSize 400M
""")
        self.process = subprocess.Popen(["clamd", "-c", self.conf], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        for _ in range(400):
            if subprocess.run(["clamdscan", "-c", self.conf, "--ping", "1"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0:
                return
            time.sleep(0.05)
        sys.exit("clamd does not answer")

    def scan(self, options, corpus, found):
        return timed(["clamdscan", "-c", self.conf, "--infected", "--no-summary", *options,
                      corpus], found)

    def stop(self):
        self.process.terminate()
        self.process.wait()


class Server:
    def __init__(self, build, db, log, options=()):
        self.process = subprocess.Popen(
            [os.path.join(build, "server", "sondrel-server"), "--listen", "127.0.0.1:0",
             "--database", db, "--log-level", "warn", *options],
            stdout=subprocess.PIPE, stderr=open(log, "ab"))
        line = self.process.stdout.readline().decode()
        match = re.match(r"listening 127\.0\.0\.1:(\d+)", line)
        if not match:
            sys.exit(f"sondrel-server did not start: {line}")
        self.port = int(match.group(1))

    def stop(self):
        self.process.terminate()
        self.process.wait()


class Host:
    """sondrel-scan with its library and response cache copied into a folder of the run, so that
    the response cache (Merrin.conf beside it) lives in the run's folder too."""

    def __init__(self, build, work):
        self.dir = os.path.join(work, "host")
        os.makedirs(self.dir)
        for name in ("sondrel-scan", "libsondrel.so.0", "Merrin.so"):
            shutil.copy2(os.path.join(build, "tools", "scan", name), self.dir)
        self.cache = os.path.join(work, "response-cache")
        with open(os.path.join(self.dir, "Merrin.conf"), "w") as conf:
            conf.write(f"directory = {self.cache}\n")
        self.work = work

    def settings(self, port, local_cache, sampled=False):
        path = os.path.join(self.work, f"qxcore-{port}-{int(local_cache)}-{int(sampled)}.xml")
        # Sampled fingerprints for files that are neither small nor executables, and kept.
        sampling = "  <hashnonpe>1</hashnonpe>\n  <cachenonpe>1</cachenonpe>\n" if sampled else ""
        with open(path, "w") as xml:
            xml.write(f"""<qxcore>
  <servers><server><address>127.0.0.1</address><priority>0</priority><useSSL>0</useSSL></server></servers>
  <port>{port}</port>
  <timeout>120000</timeout>
  <usecache>1</usecache>
  <uselocalcache>{int(local_cache)}</uselocalcache>
  <enablescan>1</enablescan>
  <scanlocaliferror>0</scanlocaliferror>
{sampling}</qxcore>
""")
        return path

    def empty_cache(self):
        shutil.rmtree(self.cache, ignore_errors=True)

    def scan(self, settings, threads, corpus, found):
        command = [os.path.join(self.dir, "sondrel-scan"), "--settings", settings, "--infected",
                   "--no-summary", "--no-progress"]
        if threads:
            command += ["--threads", str(threads)]
        return timed(command + [corpus], found)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default=os.path.join(SOURCE, "build"))
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--seed", type=int, default=14)
    parser.add_argument("--clamd-threads", type=int, default=4)
    args = parser.parse_args()
    build = os.path.abspath(args.build)

    work = tempfile.mkdtemp(prefix="sondrel-e2e.")
    try:
        run(build, work, args)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run(build, work, args):
    corpus = os.path.join(work, "corpus")
    subprocess.run([sys.executable, os.path.join(HERE, "make_corpus.py"), corpus, "--seed",
                    str(args.seed)], check=True)
    with open(os.path.join(corpus, "infected.txt")) as listed:
        infected = [line.strip() for line in listed if line.strip()]
    small, big = os.path.join(corpus, "small"), os.path.join(corpus, "big")
    found_small = sum(1 for p in infected if p.startswith(small + os.sep))
    found_big = len(infected) - found_small
    files = [os.path.join(d, f) for d, _, names in os.walk(corpus) for f in names
             if f.endswith(".bin")]
    total_bytes = sum(os.path.getsize(f) for f in files)
    empty = os.path.join(work, "one-byte")
    os.makedirs(empty)
    with open(os.path.join(empty, "a.txt"), "w") as one:
        one.write("x")
    db = os.path.join(work, "db")
    shutil.copytree(os.path.join(SOURCE, "server", "signatures"), db)
    print(f"corpus: {len(files)} files, {total_bytes / 1e6:.0f} MB, {len(infected)} infected; "
          f"signatures: {', '.join(sorted(os.listdir(db)))}; {args.rounds} rounds; "
          f"{os.cpu_count()} cores", flush=True)

    clamd = Clamd(work, db, args.clamd_threads)
    host = Host(build, work)
    times = {}

    def note(row, seconds):
        times.setdefault(row, []).append(seconds)

    md5 = ["sh", "-c", f"find '{corpus}' -type f -name '*.bin' -print0 | xargs -0 md5sum >/dev/null"]
    try:
        for round_number in range(args.rounds):
            note("host: md5sum of every file", timed(md5))
            note("clamdscan --multiscan (local paths)", clamd.scan(["--multiscan"], corpus,
                                                                    len(infected)))
            note("clamdscan --stream --multiscan",
                 clamd.scan(["--stream", "--multiscan"], corpus, len(infected)))
            note("clamdscan --stream (sequential)", clamd.scan(["--stream"], corpus,
                                                                len(infected)))
            for threads in (1, None):
                label = f"--threads {threads}" if threads else "default threads"
                server = Server(build, db, os.path.join(work, "server.log"))
                local = host.settings(server.port, True)
                remote = host.settings(server.port, False)
                host.empty_cache()
                if threads is None:
                    note(STARTUP, host.scan(local, threads, empty, 0))
                for mode, settings in (("cold", local), ("rescan, local response cache", local),
                                       ("rescan, server cache only", remote)):
                    s = host.scan(settings, threads, small, found_small)
                    b = host.scan(settings, threads, big, found_big)
                    note(f"sondrel {mode}, {label}: small files", s)
                    note(f"sondrel {mode}, {label}: big files", b)
                    note(f"sondrel {mode}, {label}: all", s + b)
                server.stop()
            # The big files again with sampled fingerprints, which both caches then trust.
            server = Server(build, db, os.path.join(work, "server.log"),
                            ["--cache-weak-fingerprints"])
            local = host.settings(server.port, True, sampled=True)
            remote = host.settings(server.port, False, sampled=True)
            host.empty_cache()
            for mode, settings in (("cold", local), ("rescan, local response cache", local),
                                   ("rescan, server cache only", remote)):
                note(f"sondrel {mode}, sampled fingerprints: big files",
                     host.scan(settings, None, big, found_big))
            server.stop()
            print(f"round {round_number + 1} done", flush=True)
    finally:
        clamd.stop()
    report(times)


STARTUP = "sondrel-scan start and stop, one 1-byte file"


def report(times):
    median = {row: statistics.median(values) for row, values in times.items()}
    startup = median[STARTUP]
    # A sondrel row without the tool's start and stop (the library's bring-up waits a second
    # before its first Init returns): twice for the "all" rows, which are two runs of the tool.
    net = {row: value - (0 if not row.startswith("sondrel ") else
                         2 * startup if row.endswith(": all") else startup)
           for row, value in median.items()}
    print()
    print("Reference: clamdscan --multiscan on local paths (ratio 1.00). Times are medians over "
          "the rounds; 'net s' is a sondrel row without the tool's start and stop (measured on a "
          "folder of one 1-byte file), and the ratios are taken on it.")
    print(f"{'row':70} {'median s':>8} {'min s':>7} {'net s':>7} {'/multiscan':>10} "
          f"{'/stream-ms':>10} {'/md5sum':>8} {'/its cold':>9}")
    multiscan = net["clamdscan --multiscan (local paths)"]
    stream = net["clamdscan --stream --multiscan"]
    md5 = net["host: md5sum of every file"]
    for row, values in times.items():
        cold = None
        if row.startswith("sondrel rescan"):
            cold = net[re.sub(r"rescan, [^,]+,", "cold,", row)]
        print(f"{row:70} {median[row]:8.3f} {min(values):7.3f} {net[row]:7.3f} "
              f"{net[row] / multiscan:10.2f} {net[row] / stream:10.2f} {net[row] / md5:8.2f} "
              f"{(net[row] / cold) if cold else float('nan'):9.2f}")


if __name__ == "__main__":
    main()

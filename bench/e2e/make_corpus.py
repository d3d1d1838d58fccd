#!/usr/bin/env python3
"""Writes the end-to-end benchmark's corpus: the same bytes for the same seed on every machine.

small/: 2,000 files of 4 to 64 KiB; big/: 20 files of 1 to 4 MiB and 2 of 50 MiB (about 215 MB
in all). The EICAR test string sits in a few of them: at the start of two small files, in the
middle of a third, in one 1-4 MiB file and at the very end of one 50 MiB file. The list of those
files goes to infected.txt beside the two folders.

Usage: make_corpus.py DIRECTORY [--seed N]
"""
import argparse
import os
import random

EICAR = rb"X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*"
KIB = 1024
MIB = 1024 * KIB


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def planted(data, where):
    at = {"start": 0, "middle": len(data) // 2, "end": len(data) - len(EICAR)}[where]
    return data[:at] + EICAR + data[at + len(EICAR):]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("directory")
    parser.add_argument("--seed", type=int, default=14)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    infected = []
    small_eicar = {17: "start", 1000: "start", 1503: "middle"}
    for i in range(2000):
        path = os.path.join(args.directory, "small", f"d{i // 100:02d}", f"f{i:04d}.bin")
        data = rng.randbytes(rng.randint(4 * KIB, 64 * KIB))
        if i in small_eicar:
            data = planted(data, small_eicar[i])
            infected.append(path)
        write(path, data)
    for i in range(20):
        path = os.path.join(args.directory, "big", f"m{i:02d}.bin")
        data = rng.randbytes(rng.randint(1 * MIB, 4 * MIB))
        if i == 7:
            data = planted(data, "middle")
            infected.append(path)
        write(path, data)
    for i in range(2):
        path = os.path.join(args.directory, "big", f"l{i}.bin")
        data = rng.randbytes(50 * MIB)
        if i == 1:
            data = planted(data, "end")
            infected.append(path)
        write(path, data)
    write(os.path.join(args.directory, "infected.txt"), "".join(p + "\n" for p in infected).encode())


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the seed corpus of server_session_fuzzer: client records as the connection hands them
to the session (message header, payload, 4 zero bytes), each preceded by its length as 2 bytes.
A read answer with conversation id 0 answers the last read request the server sent. Run once from
the repository root; the files are kept in fuzz/corpus."""
import os
import struct

OUT = os.path.join(os.path.dirname(__file__), "corpus", "server_session_fuzzer")
EICAR = b"X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*"


def record(payload, message_type, kind=0, channel=0, seq=1, conversation=0, timeout=1000,
           payload_length=None):
    if payload_length is None:
        payload_length = len(payload)
    header = struct.pack("<IiQIIIIIiI", seq, channel, conversation, message_type, kind, 1,
                         payload_length, 0, timeout, 0)
    body = header + payload + b"\0\0\0\0"
    return struct.pack("<H", len(body)) + body


def hello(major=3, minor=3, timestamp=None):
    payload = struct.pack("<HH", major, minor) + b"\0" * 288
    if timestamp is not None:
        payload += struct.pack("<Q", timestamp)
    return record(payload, 0xF0000001)


def scan_request(size, initial=b"", name=b"sample.bin\0", action=0, fingerprint=None,
                 name_length=None, initial_length=None, options=b"", text=b"", trailing=b""):
    header = struct.pack("<iQIQ", action, size, 0, 0)
    header += bytes([1 if fingerprint else 0]) + (fingerprint or b"\0" * 16)
    header += bytes([1 if fingerprint else 0, 0]) + struct.pack("<i", 0) + b"\0"
    header += struct.pack("<IQ", len(name) if name_length is None else name_length, 0)
    header += bytes([1 if fingerprint else 0])
    descriptor = struct.pack("<QIQIi", 0, len(initial), 0,
                             len(initial) if initial_length is None else initial_length, 0)
    block = struct.pack("<11i", 0, 0, 0, 0, 16, 40, -1, 0, 0, 0, 0)
    tail = struct.pack("<I", len(options) // 16) + options + struct.pack("<I", len(text)) + text
    payload = header + name + descriptor + initial + block + tail + struct.pack("<I", 7) + trailing
    return record(payload, 100)


def read_answer(offset, count, data, status=0, kind=2, data_length=None):
    payload = struct.pack("<QIQIi", offset, count, 0,
                          len(data) if data_length is None else data_length, status) + data
    return record(payload, 102, kind=kind, timeout=-1)


FILE = bytes(range(256)) * 40  # 10240 bytes: three 4 KiB blocks

SEEDS = {
    "hello_and_ping": hello(timestamp=1 << 50) + record(struct.pack("<Q", 99), 0xF0000002, kind=3)
    + record(struct.pack("<I", 4), 0xF0000003),
    "hello_refused": hello(major=2) + hello(minor=9),
    "scan_initial_eicar": scan_request(len(EICAR), initial=EICAR),
    "scan_pulled": scan_request(len(FILE)) + read_answer(0, 4096, FILE[:4096])
    + read_answer(4096, 4096, FILE[4096:8192]) + read_answer(8192, 2048, FILE[8192:]),
    "scan_bad_piece": scan_request(len(FILE)) + read_answer(1, 4096, FILE[:4096]),
    "scan_chunks": scan_request(len(FILE)) + read_answer(0, 4096, FILE[:1000], status=234, kind=3)
    + read_answer(1000, 4096, FILE[1000:4096]),
    "scan_read_error": scan_request(len(FILE)) + read_answer(0, 4096, b"", status=30),
    "scan_refused": scan_request(len(FILE)) + record(struct.pack("<I", 10), 0, kind=4),
    "scan_lies": scan_request(100, name_length=0xFFFFFFFF) + scan_request(100, initial_length=500)
    + scan_request(10, initial=b"x" * 20) + scan_request(2 << 20),
    "scan_disinfect": scan_request(len(EICAR), initial=EICAR, action=10),
    "scan_cached": scan_request(64, initial=b"c" * 64, fingerprint=b"\1" * 16)
    + scan_request(64, initial=b"c" * 64, fingerprint=b"\1" * 16),
    "slots": record(struct.pack("<II", 8, 0), 112, channel=-2) * 5
    + record(struct.pack("<II", 8, 1), 112, channel=-2)
    + record(struct.pack("<I", 20) + b"\5" * 16, 113, kind=3, channel=-2)
    + record(struct.pack("<I", 20) + b"\6" * 16, 114, kind=3, channel=-2),
    "undeliverable": record(b"abcd", 4242) + record(b"", 109, kind=2) + read_answer(0, 1, b"x")
    + record(b"", 100, kind=2, payload_length=0xFFFFFFF0),
    "short_records": struct.pack("<H", 3) + b"\1\2\3" + struct.pack("<H", 0),
}

os.makedirs(OUT, exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(OUT, name), "wb") as out:
        out.write(data)

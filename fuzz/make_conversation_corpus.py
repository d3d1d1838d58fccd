#!/usr/bin/env python3
"""Writes the seed corpus of conversation_fuzzer: records as a waiting request receives them
(message header, payload, 4 zero bytes), each preceded by its length as 2 bytes. Run once from the
repository root; the files are kept in fuzz/corpus."""
import os
import struct

OUT = os.path.join(os.path.dirname(__file__), "corpus", "conversation_fuzzer")


def record(payload, message_type, kind, payload_length=None):
    if payload_length is None:
        payload_length = len(payload)
    header = struct.pack("<IiQIIIIIiI", 1, 0, 7, message_type, kind, 0, payload_length, 0, -1, 0)
    body = header + payload + b"\0\0\0\0"
    return struct.pack("<H", len(body)) + body


def descriptor(offset, count, length=0, status=0):
    return struct.pack("<QIQIi", offset, count, 0, length, status)


def report(verdict, texts):
    fixed = struct.pack("<IIIII", 0, 0, verdict, 0, 0)
    for text in texts:
        fixed += struct.pack("<QI", 0, len(text) + 1)
    fixed += struct.pack("<I", 1)
    return fixed + b"".join(text + b"\0" for text in texts)


def callback(data, capacity):
    return struct.pack("<QII", 0, len(data), capacity) + data


AM_LIST = b"C:\\a.exe\0/srv/b\0"
AM = struct.pack("<IIIIIIIII", 0, 1901, 5, 0, 24, len(AM_LIST), 0, 0, 0) + AM_LIST

SEEDS = {
    "read_small": record(descriptor(10, 4096), 101, 2),
    "read_pieces": record(descriptor(0, 3 * 1024 * 1024), 101, 2),
    "read_past_end": record(descriptor(2 * 1024 * 1024, 0xFFFFFFFF), 101, 2),
    "read_short": record(descriptor(0, 5)[:20], 101, 2),
    "report_and_final": record(report(0x20, [b"a", b"obj", b"file", b"Eicar"]), 103, 3)
    + record(struct.pack("<i", 0) + bytes(44) + struct.pack("<IB", 9, 0), 104, 1),
    "report_overlong": record(report(0x40, [b"a", b"b", b"c", b"d"])[:-2], 103, 3),
    "final_short": record(b"\1\2", 104, 1) + record(bytes(40), 104, 1),
    "server_cache": record(struct.pack("<I", 77), 107, 1) + record(b"", 107, 1),
    "data_notification": record(struct.pack("<IQ", 3, 0) + b"abc", 105, 3)
    + record(struct.pack("<IQ", 9, 0) + b"abc", 105, 3),
    "write_value": record(descriptor(5, 0, 4) + b"wxyz", 108, 2)
    + record(descriptor(5, 0, 40) + b"wxyz", 108, 2) + record(struct.pack("<II", 1, 2), 110, 2),
    "callbacks": record(callback(b"12345", 16), 111, 2) + record(callback(b"12345", 4), 111, 2)
    + record(callback(AM, 256), 111, 2),
    "flags_and_hello": record(struct.pack("<I", 6), 115, 3)
    + record(struct.pack("<I", 0xF), 0xF0000001, 1),
}

os.makedirs(OUT, exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)

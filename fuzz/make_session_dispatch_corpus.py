#!/usr/bin/env python3
"""Writes the seed corpus of session_dispatch_fuzzer: records as the read loop delivers them
(message header, payload, 4 zero bytes), each preceded by its length as 2 bytes. Run once from the
repository root; the files are kept in fuzz/corpus."""
import os
import struct

OUT = os.path.join(os.path.dirname(__file__), "corpus", "session_dispatch_fuzzer")


def record(payload, message_type, kind=1, channel=0, seq=0, conversation=0, status=0,
           payload_length=None):
    if payload_length is None:
        payload_length = len(payload)
    header = struct.pack("<IiQIIIIIiI", seq, channel, conversation, message_type, kind, 0,
                         payload_length, 0, -1, status)
    body = header + payload + b"\0\0\0\0"
    return struct.pack("<H", len(body)) + body


HELLO, PING, DATA = 0xF0000001, 0xF0000002, 0xF0000003
RUNNING = struct.pack("<I", 24) + bytes(range(16)) + struct.pack("<HH", 3, 1)

SEEDS = {
    "hello_accepted": record(struct.pack("<I", 0xE), HELLO, status=0x2),
    "hello_refused": record(struct.pack("<I", 1), HELLO),
    "hello_empty": record(b"", HELLO),
    "pings": record(b"", PING, status=5) + record(b"\1\2\3", PING, status=8)
    + record(struct.pack("<Q", 1 << 60), PING, status=4),
    "running_data": record(RUNNING, DATA) + record(RUNNING[:20], DATA),
    "running_data_wrong_size": record(struct.pack("<I", 20) + RUNNING[4:], DATA),
    "conversation": record(b"\5", 101, kind=2, channel=0, seq=1, conversation=0xABCDEF)
    + record(b"\0\0\0\0", 104, kind=1, channel=0, seq=1, status=4),
    "error_answers": record(struct.pack("<I", 1234), 100, kind=4, channel=1, seq=1)
    + record(b"\0" * 8, 100, kind=4, channel=0, seq=1),
    "other_session_and_free": record(b"", 104, channel=2, seq=1) + record(b"x", 101, kind=2,
                                                                          channel=3, seq=1),
    "broadcast_and_special": record(b"\7", 112, kind=2, channel=-2, seq=1)
    + record(struct.pack("<I", 8), 0, kind=4, channel=-1),
    "far_outside": record(b"ab", 101, kind=0, channel=0x7FFFFFFF, seq=3)
    + record(b"", 101, kind=2, channel=-5, payload_length=0xFFFFFFF0),
    "short_records": struct.pack("<H", 3) + b"\1\2\3" + struct.pack("<H", 0),
}

os.makedirs(OUT, exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(OUT, name), "wb") as out:
        out.write(data)

#!/usr/bin/env python3
"""Writes the seed corpus of frame_decoder_fuzzer: a few valid frames, compressed and not, and a
few broken ones. Run once from the repository root; the files are kept in fuzz/corpus."""
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(__file__), "corpus", "frame_decoder_fuzzer")


def frame(payload, message_type=104, kind=1, version=2, compressed=0, compressed_length=None,
          payload_length=None, body_length=None, channel=0, status=0):
    if compressed_length is None:
        compressed_length = len(payload) if compressed else 0
    if payload_length is None:
        payload_length = len(payload)
    if body_length is None:
        body_length = 48 + len(payload)
    header = struct.pack("<5I", body_length, version, compressed, compressed_length, 0)
    message = struct.pack("<IiQIIIIIiI", 7, channel, 0x1122334455667788, message_type, kind, 1,
                          payload_length, 0, -1, status)
    return header + message + payload + b"\0\0\0\0"


def compressed(plain, **fields):
    fields.setdefault("payload_length", len(plain))
    return frame(zlib.compress(plain), compressed=1, **fields)


SEEDS = {
    "plain": frame(b"\x00\x00\x00\x00"),
    "empty_payload": frame(b""),
    "no_body_then_frame": struct.pack("<5I", 0, 2, 0, 0, 0) + frame(b"abc", message_type=105),
    "two_frames": frame(b"first", channel=-1) + frame(b"second", message_type=0xF0000002),
    "compressed": compressed(bytes(range(256)) * 8, message_type=101, kind=2),
    "compressed_short": compressed(b"\xaa\xbb", payload_length=8),
    "compressed_corrupt": frame(b"\x01\x02\x03\x04\x05\x06\x07\x08", compressed=1,
                                payload_length=100),
    "compressed_beyond_body": frame(zlib.compress(b"xyz"), compressed=1, payload_length=3,
                                    compressed_length=200),
    "bad_version": frame(b"abcd", version=3),
    "body_too_short": struct.pack("<5I", 47, 2, 0, 0, 0) + bytes(47),
    "body_too_long": struct.pack("<5I", 0xFFFFFFFF, 2, 0, 0, 0),
    "payload_claim_too_long": frame(b"\x01\x02", payload_length=0xFFFFFFFF),
    "truncated_body": frame(b"0123456789")[:40],
}

os.makedirs(OUT, exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(OUT, name), "wb") as out:
        out.write(data)

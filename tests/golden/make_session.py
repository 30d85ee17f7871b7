#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
"""Writes a recorded receiver session and the dump files it must produce.

The session mixes screens, the four logged packet types, packets that are not logged,
valid and broken NMEA sentences, corrupt frames and line noise. The expected dump files
are assembled here, item by item, independently of the program's own extractors.

    tests/golden/make_session.py tests/golden/session1
"""
import random
import sys
from functools import reduce
from pathlib import Path

STX, ETX, ACK = 0x02, 0x03, 0x06


def frame(ptype, data, status=0):
    body = bytes([status, ptype, len(data)]) + bytes(data)
    return bytes([STX]) + body + bytes([sum(body) & 0xFF, ETX])


def sentence(body, lower=False):
    check = reduce(lambda a, c: a ^ ord(c), body, 0)
    digits = f"{check:02x}" if lower else f"{check:02X}"
    return f"${body}*{digits}\r\n".encode()


def noise(rng, n):
    # Line noise that cannot start a frame, an ACK or a sentence.
    banned = {STX, ACK, ord("$")}
    return bytes(b for b in (rng.randrange(256) for _ in range(n * 2)) if b not in banned)[:n]


def random_data(rng, n):
    return bytes(rng.randrange(256) for _ in range(n))


def main(out):
    rng = random.Random(1994)
    stream = bytearray()
    dumps = {"posn": bytearray(), "obsd": bytearray(), "corr": bytearray(), "nmea": bytearray()}
    screens = 0
    logged = {0x40: "posn", 0x57: "obsd", 0x93: "corr", 0x94: "corr"}
    for second in range(40):
        stream += noise(rng, rng.randrange(0, 12))
        screen = bytes(0x20 + (i + second) % 90 for i in range(160)) + bytes([second * 3 % 200])
        stream += frame(0x82, screen)
        screens += 1
        for ptype, size in ((0x40, 58), (0x57, rng.randrange(20, 249)), (0x93, 30),
                            (0x94, rng.randrange(0, 120)), (0x6E, 12), (0x41, 7)):
            f = frame(ptype, random_data(rng, size), status=rng.randrange(256))
            stream += f
            if ptype in logged:
                dumps[logged[ptype]] += f
            if rng.random() < 0.3:
                bad = bytearray(frame(ptype, random_data(rng, 10)))
                bad[-2] ^= 0x5A  # wrong checksum: never logged
                stream += bad
                stream += noise(rng, 3)
        gga = f"GPGGA,{120000 + second:06d}.00,5213.{second:04d},N,00507.1234,E,1,09,0.9,12.{second},M,47.0,M,,"
        s = sentence(gga, lower=second % 4 == 0)
        stream += s
        dumps["nmea"] += s
        stream += noise(rng, 5)
        broken = bytearray(sentence(f"GPRMC,{second},A"))
        broken[-4] ^= 0x01  # checksum off by one
        stream += broken
        stream += sentence(f"GPGSV,{second}")[:-2] + b"\n"  # LF without CR
        stream += b"!AIVDM,1,1,,A,13aG?P0P00PD;88MD5MTDww@2<0L,0*23\r\n"
        s = sentence(f"GPGSA,A,3,{second:02d},,,,,,,,,,,1.8,0.9,1.5")
        stream += s
        dumps["nmea"] += s
    out.mkdir(parents=True, exist_ok=True)
    (out / "input.bin").write_bytes(stream)
    for name, data in dumps.items():
        (out / f"{name}.dmp").write_bytes(data)
    (out / "screens.txt").write_text(f"{screens}\n")


if __name__ == "__main__":
    main(Path(sys.argv[1]))

#!/usr/bin/env python3
"""Writes the small seed corpus of every fuzz target into fuzz/corpus/.

The sample material is the same as the fuzz targets build for themselves
(fuzz_support.cpp): eight blocks of 2324 bytes, as raw sectors, CIF sectors,
an MPEG stream or a .dat file. Run it again after changing either side.
"""

import os
import shutil

BLOCK = 2324
CIF = 2332
HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

DAT_HEADER = bytes(
    b"RIFF" + bytes([0x44, 0x3F, 0x2D, 0x19]) + b"CDXA" + b"fmt " + bytes([0x10, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x11])
    + b"XA" + bytes([1, 0, 0, 0, 0, 0, 0, 0]) + b"data" + bytes([0x20, 0x3F, 0x2D, 0x19])
)
assert len(DAT_HEADER) == 44


def filler_byte(serial, i):
    m = 0xFFFFFFFF
    x = (serial * 2654435761 + i * 40503 + 12345) & m
    x ^= x >> 13
    x = (x * 0x5BD1E995) & m
    x ^= x >> 15
    return 2 + x % 0xFC


def mpeg_block(serial):
    b = bytearray(filler_byte(serial + 1000, i) for i in range(BLOCK))
    b[0:5] = b"\x00\x00\x01\xba\x21"
    return b


def sample_blocks():
    padded = mpeg_block(1)
    padded[34:] = b"\xff" * (BLOCK - 34)
    bumper_end = mpeg_block(2)
    bumper_end[BLOCK - 8:BLOCK - 4] = b"\x00\x00\x01\xb9"
    broken = mpeg_block(5)
    broken[0:5] = b"\x47\x47\x55\x55\x55"
    return [bytearray(BLOCK), padded, bumper_end, mpeg_block(3), mpeg_block(4), broken, mpeg_block(6),
            mpeg_block(7)]


def bcd(n):
    return ((n // 10) << 4) | (n % 10)


def raw_sector(user, lba):
    address = lba + 150
    head = b"\x00" + b"\xff" * 10 + b"\x00"
    head += bytes([bcd(address // 4500), bcd((address // 75) % 60), bcd(address % 75), 2])
    head += bytes([1, 1, 0x62, 0x0F] * 2)
    return head + bytes(user) + bytes(4)


def raw_image(blocks=None):
    return b"".join(raw_sector(b, i) for i, b in enumerate(blocks or sample_blocks()))


def cif_image():
    return b"".join(bytes([1, 1, 0x62, 0x0F] * 2) + bytes(b) for b in sample_blocks())


def mpeg_file():
    return b"".join(bytes(b) for b in sample_blocks()[1:])


def dat_file():
    return DAT_HEADER + raw_image()


# fuzz_cue_sheet: sheet text, then the choice byte (bits 0-1 conversion:
# 0/1 cue2mpg, 2 cue2raw, 3 cue2dat; bit 2 -fix; bit 3 -nobumper; bit 4
# options after the conversion; bits 5-7 track option: 0 none, 1 -track0,
# 2 -track1, 3 -track2, 4 -track3 ...).
def cue_seeds():
    two = ('FILE "img.bin" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n'
           '  TRACK 02 MODE2/2352\n    INDEX 01 00:00:01\n')
    three = ('FILE "img.bin" BINARY\r\n  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\n'
             '  TRACK 02 MODE2/2352\r\n    INDEX 01 00:00:01\r\n'
             '  TRACK 03 MODE2/2352\r\n    INDEX 00 00:00:04\r\n    INDEX 01 00:00:05\r\n')
    quoted = ('REM made by hand\nFILE "IMG.BIN"   BINARY\nTRACK 01 MODE2/2336\nINDEX 01 00:00:00\n'
              'TRACK 02 CDI/2352\nPREGAP 00:00:01\nINDEX 01 00:00:02\nTRACK 03 AUDIO\nINDEX 01 00:00:06\n')
    mode1 = 'FILE img.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:01\n'
    backslash = ('FILE ".\\IMG.BIN" BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n'
                 'TRACK 02 MODE2/2352\nINDEX 01 00:00:03\nFILE "other.bin" BINARY\n')
    big = ('FILE big.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\nTRACK 02 MODE2/2352\nINDEX 01 00:00:10\n'
           'TRACK 03 MODE2/2352\nINDEX 01 00:05:30\n')
    return {
        "big_bin_cue2mpg_fix": big.encode() + bytes([0x14]),
        "big_bin_cue2raw": big.encode() + bytes([0x02]),
        "two_tracks_cue2mpg": two.encode() + bytes([0x00]),
        "two_tracks_fix_after": two.encode() + bytes([0x10 | 0x04 | 0x01]),
        "three_tracks_cue2raw_fix": three.encode() + bytes([0x10 | 0x04 | 0x02]),
        "three_tracks_cue2dat_track2": three.encode() + bytes([(3 << 5) | 0x03]),
        "three_tracks_nobumper": three.encode() + bytes([0x18]),
        "quoted_types_cue2mpg_track1": quoted.encode() + bytes([(2 << 5) | 0x04]),
        "mode1_cue2mpg": mode1.encode() + bytes([0x04]),
        "mode1_cue2raw": mode1.encode() + bytes([0x02]),
        "backslash_name_cue2raw_track0": backslash.encode() + bytes([(1 << 5) | 0x02]),
    }


# fuzz_conversion: choice byte (bits 0-5 modulo 48: conversion = c % 6 in
# the order raw2mpg cif2mpg mpg2mpg dat2mpg raw2dat mpg2dat; -fix = c/6 odd,
# -nobumper = c/12 odd, options after the conversion = c/24 odd; bits 6 and
# 7 both set: the input repeated to just over 1 MiB), then the input file.
def conversion_seeds():
    fix, nobumper, after, tiled = 6, 12, 24, 0xC0
    return {
        "raw2mpg_fix_tiled": bytes([0 + fix + tiled]) + raw_image(),
        "mpg2dat_nobumper_after_tiled": bytes([5 + fix + nobumper + after + tiled]) + mpeg_file(),
        "dat2mpg_tiled": bytes([3 + tiled]) + dat_file(),
        "raw2mpg": bytes([0]) + raw_image(),
        "raw2mpg_fix_nobumper": bytes([0 + fix + nobumper]) + raw_image(),
        "cif2mpg_fix": bytes([1 + fix]) + cif_image(),
        "mpg2mpg_nobumper": bytes([2 + nobumper]) + mpeg_file(),
        "dat2mpg_fix": bytes([3 + fix]) + dat_file(),
        "raw2dat": bytes([4]) + raw_image(),
        "mpg2dat_fix_after": bytes([5 + fix + after]) + mpeg_file(),
        "dat2mpg_bad_signature": bytes([3]) + b"RIFX" + raw_image()[:6000],
    }


# fuzz_command_line: arguments separated by NUL bytes; the working folder
# holds a.cue, a.bin, a.raw, a.cif, a.mpg, a.dat, big.raw (just over 1 MiB),
# d/a.cue and d/disc.bin.
def command_line_seeds():
    sets = {
        "usage": [],
        "cue2mpg": ["-cue2mpg", "a", "b"],
        "cue2mpg_subfolder": ["-cue2mpg", "d/a", "d/b"],
        "cue2raw_track2": ["-cue2raw", "-track2", "a", "b"],
        "cue2dat_fix": ["-fix", "-cue2dat", "-nobumper", "a", "b"],
        "raw2mpg_fix": ["-raw2mpg", "-fix", "a", "b"],
        "raw_as_cif": ["-r2332", "-w2324", "-raw2mpg", "a.cif", "b.mpg"],
        "cif2mpg": ["-CIF2MPG", "a", "out"],
        "mpg2mpg_nobumper": ["-mpg2mpg", "-nobumper", "a", "b"],
        "mpg2dat": ["-mpg2dat", "a", "b", "-raw2mpg"],
        "dat2mpg": ["-dat2mpg", "a", "b"],
        "raw2dat_sizes": ["-raw2dat", "-r2048", "-w1024", "a", "b"],
        "big_raw2mpg_fix": ["-raw2mpg", "-fix", "big", "b"],
        "big_raw2mpg_small_sectors": ["-r588", "-w588", "-raw2mpg", "-nobumper", "big.raw", "b"],
    }
    return {name: b"\x00".join(a.encode() for a in args) for name, args in sets.items()}


def write_corpus(target, seeds):
    folder = os.path.join(CORPUS, target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in seeds.items():
        assert len(data) < 64 * 1024, name
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main():
    write_corpus("fuzz_cue_sheet", cue_seeds())
    write_corpus("fuzz_conversion", conversion_seeds())
    write_corpus("fuzz_command_line", command_line_seeds())


if __name__ == "__main__":
    main()

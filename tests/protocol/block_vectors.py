#!/usr/bin/env python3
"""Expected block frames for block_vectors_test.cpp, worked out on their own.

Written from the steps of the block encoding alone (key word, running key,
position word, the 0x96 flip, the byte loop, the frame check), with the
CRC step in its bit-by-bit form. It imports nothing of comflash and calls
none of its programs, so a fault in the tool's encoder or in the simulator's
decoder cannot leak into the expected bytes.

Run it with `python3 tests/protocol/block_vectors.py`: it prints the rows of
kVectors in the form the test uses. With `--check block_vectors_test.cpp` it
instead fails unless the test holds exactly those rows (a ctest case does so).
"""

import sys

KEY_SEED = 41177
POSITION_SEED = 15922
POSITION_MASK = 0x00FF
BLOCK_LENGTH = 256
# Where the rows stand in the test.
TABLE_START = "constexpr BlockVector kVectors[] = {\n"
TABLE_END = "\n};\n"


def crc_step(crc, byte):
    """One CRC-16 step, polynomial 0x1021, most significant bit first."""
    v = (byte ^ (crc >> 8)) & 0xFF
    acc = 0
    for bit in range(7, -1, -1):
        top = (acc >> 15) & 1
        current = (v >> bit) & 1
        acc = (acc << 1) & 0xFFFF
        if top != current:
            acc ^= 0x1021
    return ((crc << 8) & 0xFFFF) ^ acc


def first_handshake_key():
    """The key byte of the first handshake reply after start-up (k = 0)."""
    k = 0
    k = (k + 0x60) & 0xFF
    k = (k * 33) & 0xFF
    k = (k - 0x99) & 0xFF
    return k ^ 0xA9


def block_frame(offset, plain, key, version):
    n = len(plain)
    frame = [0xAB, 0xAB, (n + 3) >> 8, (n + 3) & 0xFF, 0x91, offset >> 8, offset & 0xFF]
    if version == 0:
        frame += plain
    else:
        w = crc_step(KEY_SEED, offset >> 8)
        k = 0x60 ^ (w >> 8) ^ (w & 0xFF) ^ key
        q = crc_step(POSITION_SEED, offset >> 8)
        q = crc_step(q, offset & 0xFF)
        if version > 1:
            q = crc_step(q, key)
        pos = q & POSITION_MASK
        block = list(plain)
        block[pos] ^= 0x96
        for b in block:
            x = k ^ b
            frame.append(x)
            k = ((k + b) & 0xFF) ^ x
    crc = 0xFFFF
    for byte in frame:
        crc = crc_step(crc, byte)
    return frame + [crc >> 8, crc & 0xFF]


# The two blocks, each built the same way in the test: the start of an image,
# and the last block of an image that ends 0x1F00 + 200, zero past its end.
def plain_block(offset):
    if offset == 0x0000:
        return [(j * 37 + 0x5A) & 0xFF for j in range(BLOCK_LENGTH)]
    return [((j * j + 3) & 0xFF) if j < 200 else 0 for j in range(BLOCK_LENGTH)]


def vector_rows():
    h1 = first_handshake_key()
    assert h1 == 0x6E
    lines = []
    for version in (0, 1, 2, 3):
        for offset in (0x0000, 0x1F00):
            # The plain encoding ignores the key: one row each will do.
            for key in ((h1,) if version == 0 else (0x00, h1)):
                frame = block_frame(offset, plain_block(offset), key, version)
                assert len(frame) == BLOCK_LENGTH + 9
                hex_text = "".join(f"{b:02X}" for b in frame)
                lines.append(f"    {{{version}, 0x{offset:04X}, 0x{key:02X},")
                for i in range(0, len(hex_text), 88):
                    lines.append(f'     "{hex_text[i:i + 88]}"')
                lines.append("    },")
    return "\n".join(lines) + "\n"


def main():
    crc = 0xFFFF
    for byte in b"123456789":
        crc = crc_step(crc, byte)
    assert crc == 0x29B1, "the CRC step misses the catalogue value"
    # A frame's check covers it from the sync pair on: a block reply's check.
    crc = 0xFFFF
    for byte in (0xAB, 0xAB, 0x00, 0x02, 0x91, 0x01):
        crc = crc_step(crc, byte)
    assert crc == 0xBF9A, "the frame check misses a known frame"
    rows = vector_rows()
    if len(sys.argv) == 3 and sys.argv[1] == "--check":
        # The test's table must hold these rows as printed, no more, no fewer.
        with open(sys.argv[2], encoding="utf-8") as test_source:
            source = test_source.read()
        start = source.find(TABLE_START)
        end = source.find(TABLE_END, start)
        if start < 0 or end < 0 or source[start + len(TABLE_START):end + 1] != rows:
            sys.exit(f"{sys.argv[2]}: the vector table differs from what "
                     f"{sys.argv[0]} derives; rerun it and compare")
        return
    sys.stdout.write(rows)


if __name__ == "__main__":
    main()

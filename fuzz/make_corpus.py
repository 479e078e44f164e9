#!/usr/bin/env python3
"""Writes the corpora of the two fuzz targets.

corpus/ (fuzz_turn, RotateRight90 and RotateLeft90): small valid 1-, 8- and
24-bit images, images larger than a kernel tile at each depth, and near
misses, each followed by the control byte (bit 0: left, bit 1: caller holds a
lock, bit 2: fixed block, bits 3-5: the first service call that fails, bits
6-7: a second one that many calls later).

corpus-pixels/ (fuzz_pixels, RotateFlipPixels): six control bytes (pixel
size, type and in place and row directions and a failing call, width,
height, stride additions) and pixel bytes, across every pixel size.

corpus-quarter/ (fuzz_quarter_turns, RotateQuarterTurns and RotateFlip):
images of every depth, top-down, with bit fields, larger headers and
profiles, and near misses, each followed by the turn count (a signed byte)
or RotateFlip's type and the control byte (bit 0: caller holds a lock, bit
1: fixed block, bits 2-4: the first service call that fails, bits 5-6: a
second one that many calls later, bit 7: RotateFlip)."""
import os
import struct

ROOT = os.path.dirname(os.path.abspath(__file__))
HERE = os.path.join(ROOT, "corpus")


def dib(bits, w, h, size=40, clr_used=0, compression=0, extra=0, general=False):
    header = struct.pack("<IiiHHIIiiII", size, w, h, 1, bits, compression, 0, 2835, 3780,
                         clr_used, 0)
    header += bytes(range(size - 40)) if size > 40 else b""
    if general:  # biClrUsed entries, or 2^bits up to 8 bits; masks behind 40 bytes
        table = 4 * (clr_used or (1 << bits if bits <= 8 else 0))
        table += 12 if compression == 3 and size == 40 else 0
    else:
        table = 8 if bits == 1 else (4 * clr_used or (1024 if bits == 8 else 0))
    stride = (w * bits + 31) // 32 * 4
    pixels = bytes((7 * i + 3) & 0xFF for i in range(max(stride * abs(h), 0)))
    return header + bytes(i & 0xFF for i in range(table)) + pixels + b"\x5a" * extra


cases = {
    "8bit-3x2": dib(8, 3, 2),
    "8bit-5x7-16colours": dib(8, 5, 7, clr_used=16),
    "8bit-v4-header": dib(8, 4, 3, size=108, clr_used=2),
    "8bit-1x1": dib(8, 1, 1),
    "8bit-zero-width": dib(8, 0, 5),
    "24bit-5x3": dib(24, 5, 3),
    "24bit-2x9-slack": dib(24, 2, 9, extra=13),
    "24bit-v5-header": dib(24, 3, 3, size=124),
    "24bit-zero-height": dib(24, 6, 0),
    "1bit-9x3": dib(1, 9, 3),
    "1bit-33x2": dib(1, 33, 2, clr_used=2),
    "1bit-70x17": dib(1, 70, 17),
    # Larger than a kernel tile (256 pixels at 1 and 8 bits, 128 at 4, 16,
    # 24 and 32) and a 16-row, 128-pixel bit block, square (turned in place)
    # and not; all under the 80 KiB the fuzzer's inputs may have.
    "8bit-tiles-260x258": dib(8, 260, 258),
    "8bit-tiles-square-258": dib(8, 258, 258),
    "24bit-tiles-130x129": dib(24, 130, 129),
    "24bit-tiles-square-140": dib(24, 140, 140),
    "1bit-tiles-260x140": dib(1, 260, 140),
    "1bit-tiles-square-260": dib(1, 260, 260),
    # Whole chunks of the in-place turn (512 pixels at 1 bit, 64 at 8) with
    # strips beside them, and turned rows that take more bytes than the
    # source rows (the block grows first).
    "1bit-chunks-530x600": dib(1, 530, 600),
    "8bit-chunks-grows-261x67": dib(8, 261, 67),
    "near-top-down": dib(8, 4, -4),
    "near-compressed": dib(8, 4, 4, compression=1),
    "near-4bit": dib(4, 8, 2),
    "near-short-block": dib(24, 5, 3)[:-1],
    "near-1bit-one-entry": dib(1, 9, 3, clr_used=1),
    "near-1bit-v4": dib(1, 9, 3, size=108),
    "near-header-only": dib(8, 0, 0)[:40],
    "near-tiny": b"\x28\x00\x00",
    "near-huge-width": dib(24, 1, 1)[:4] + struct.pack("<i", 0x7FFFFFF0) + dib(24, 1, 1)[8:],
}
# Right and left, a caller's lock, a fixed block, one failing call and two.
CONTROLS = (0, 1, 2, 3, 4, 5, 0x18, 0x1D, 0x2A | 0x40, 0x24 | 0x40)
os.makedirs(HERE, exist_ok=True)
for old in os.listdir(HERE):
    os.remove(os.path.join(HERE, old))
count = 0
for name, data in cases.items():
    # Fewer copies of the large images: their roads are the same as the small.
    if len(data) < 4096:
        controls = CONTROLS
    elif len(data) < 65536:
        controls = CONTROLS[:2] + CONTROLS[4:5] + CONTROLS[7:8]
    else:
        controls = CONTROLS[1:2] + CONTROLS[7:8]
    for control in controls:
        count += 1
        with open(os.path.join(HERE, f"{name}-{control:02x}"), "wb") as f:
            f.write(data + bytes([control]))
print(f"wrote {count} inputs to {HERE}")


def v5_with_profile(bits, w, h, profile, gap=0):
    """A V5 header whose embedded profile lies `gap` bytes behind the rows."""
    image = bytearray(dib(bits, w, h, size=124, general=True))
    struct.pack_into("<I", image, 56, 0x4D424544)  # 'MBED'
    struct.pack_into("<II", image, 112, len(image) + gap, len(profile))
    return bytes(image) + b"\x77" * gap + profile


quarter_cases = {
    "1bit-9x3": dib(1, 9, 3, general=True),
    "4bit-7x5": dib(4, 7, 5, general=True),
    "4bit-5x5-3colours": dib(4, 5, 5, clr_used=3, general=True),
    "8bit-6x4-top-down": dib(8, 6, -4, general=True),
    "16bit-5x3": dib(16, 5, 3, general=True),
    "16bit-5x3-bitfields": dib(16, 5, 3, compression=3, general=True),
    "24bit-3x5-top-down": dib(24, 3, -5, general=True),
    "32bit-4x4-bitfields-v4": dib(32, 4, 4, size=108, compression=3, general=True),
    "32bit-7x2": dib(32, 7, 2, general=True),
    "24bit-v5-profile": v5_with_profile(24, 4, 3, bytes(range(40)), gap=3),
    "8bit-zero-height": dib(8, 5, 0, general=True),
    # Larger than a tile (128 pixels at 4, 16, 24 and 32 bits).
    "4bit-tiles-130x131": dib(4, 130, 131, general=True),
    "32bit-tiles-130x129": dib(32, 130, 129, general=True),
    "16bit-tiles-130x129": dib(16, 130, 129, general=True),
    "32bit-tiles-square-140-top-down": dib(32, 140, -140, general=True),
    "1bit-chunks-600x530-top-down": dib(1, 600, -530, general=True),
    "24bit-chunks-97x70-profile": v5_with_profile(24, 97, 70, bytes(range(64)), gap=5),
    "near-rle8": dib(8, 4, 4, compression=1, general=True),
    "near-bitfields-24": dib(24, 4, 4, compression=3, general=True),
    "near-2bit": dib(2, 8, 2, general=True),
    "near-core-header": struct.pack("<IHHHH", 12, 4, 4, 1, 8) + bytes(64),
    "near-short-block": dib(32, 5, 3, general=True)[:-1],
    "near-profile-outside": v5_with_profile(8, 4, 4, bytes(16))[:-4],
}
QUARTER = os.path.join(ROOT, "corpus-quarter")
os.makedirs(QUARTER, exist_ok=True)
for old in os.listdir(QUARTER):
    os.remove(os.path.join(QUARTER, old))
count = 0
for name, data in quarter_cases.items():
    # turns (signed byte), control: plain, caller-locked, fixed, failing calls;
    # then RotateFlip's mirror, transpose, flip and transverse.
    runs = ((1, 0), (2, 1), (-1, 2), (3, 0x08 | 0x20), (0, 0), (5, 0x0C),
            (4, 0x80), (5, 0x81), (6, 0x82), (7, 0x80 | 0x08 | 0x20))
    if len(data) >= 4096:
        runs = runs[:2] + runs[3:4] + runs[7:8]
    for turns, control in runs:
        count += 1
        with open(os.path.join(QUARTER, f"{name}-t{turns % 256:02x}-{control:02x}"), "wb") as f:
            f.write(data + bytes([turns % 256, control]))
print(f"wrote {count} inputs to {QUARTER}")

PIXELS = os.path.join(ROOT, "corpus-pixels")
os.makedirs(PIXELS, exist_ok=True)
for old in os.listdir(PIXELS):
    os.remove(os.path.join(PIXELS, old))
count = 0
# (pixel size index, type and flags, width, height, stride additions)
for size_index in range(14):
    for flags, w, h, extra in ((1, 9, 5, 0), (0x0B, 33, 17, 0), (0x34, 5, 7, 0x23),
                               (0x0C, 70, 33, 0), (0x42, 3, 3, 0x01), (0x1F, 17, 4, 0x80)):
        count += 1
        pixels = bytes((k * 37 + size_index) % 256 for k in range(97))
        with open(os.path.join(PIXELS, f"size{size_index:02d}-{flags:02x}-{w}x{h}"), "wb") as f:
            f.write(bytes([size_index, flags, w, h, extra & 0xFF, extra >> 4]) + pixels)
print(f"wrote {count} inputs to {PIXELS}")

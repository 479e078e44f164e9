#!/usr/bin/env python3
"""Writes the fuzz corpus: small valid 1-, 8- and 24-bit images, images larger
than a kernel tile at each depth, and near misses, each followed by the
control byte (bit 0: left, bit 1: caller holds a lock, bit 2: fixed block,
bits 3-5: the first service call that fails, bits 6-7: a second one that many
calls later)."""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def dib(bits, w, h, size=40, clr_used=0, compression=0, extra=0):
    header = struct.pack("<IiiHHIIiiII", size, w, h, 1, bits, compression, 0, 2835, 2835,
                         clr_used, 0)
    header += bytes(range(size - 40)) if size > 40 else b""
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
    # Larger than a kernel tile (256 pixels at 1, 8 and 16 bits, 128 at 24
    # and 32) and a 16-row, 128-pixel bit block, square (turned in place)
    # and not.
    "8bit-tiles-260x258": dib(8, 260, 258),
    "8bit-tiles-square-520": dib(8, 520, 520),
    "24bit-tiles-130x129": dib(24, 130, 129),
    "24bit-tiles-square-260": dib(24, 260, 260),
    "1bit-tiles-260x140": dib(1, 260, 140),
    "1bit-tiles-square-520": dib(1, 520, 520),
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

#!/usr/bin/env python3
"""Writes cli/vkt2/cp932_table.cpp, vkt2's CP932 double-byte table, from the C library's own
CP932 converter (glibc's iconv), so that vkt2 reads Shift-JIS names the same on every system.

Usage: tools/cp932_table.py > cli/vkt2/cp932_table.cpp
"""
import ctypes
import ctypes.util
import sys

LEADS = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))
TRAILS = range(0x40, 0xFD)  # 0x7F is never a trail byte: its slot stays empty

libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
libc.iconv_open.restype = ctypes.c_void_p
libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
libc.iconv.restype = ctypes.c_size_t
libc.iconv.argtypes = [ctypes.c_void_p] + [ctypes.c_void_p] * 4
cd = libc.iconv_open(b"UTF-32LE", b"CP932")
if cd in (None, ctypes.c_void_p(-1).value):
    sys.exit("cp932_table.py: this C library has no CP932 converter")


def decode(raw):
    """The one code point `raw` stands for in CP932, or 0 when it is no character."""
    libc.iconv(cd, None, None, None, None)
    src = ctypes.create_string_buffer(raw, len(raw))
    dst = ctypes.create_string_buffer(16)
    src_p, dst_p = ctypes.c_char_p(ctypes.addressof(src)), ctypes.c_char_p(ctypes.addressof(dst))
    src_n, dst_n = ctypes.c_size_t(len(raw)), ctypes.c_size_t(16)
    done = libc.iconv(cd, ctypes.byref(src_p), ctypes.byref(src_n), ctypes.byref(dst_p),
                      ctypes.byref(dst_n))
    if done == ctypes.c_size_t(-1).value or src_n.value or dst_n.value != 12:
        return 0
    return int.from_bytes(dst.raw[:4], "little")


units = [decode(bytes([lead, trail])) if trail != 0x7F else 0 for lead in LEADS for trail in TRAILS]
assert all(u < 0x10000 for u in units), "CP932 maps into the Basic Multilingual Plane only"
out = [
    "// CP932 double-byte characters as the C library's converter reads them. Written by",
    "// tools/cp932_table.py: change that, not this.",
    '#include "cp932.hpp"',
    "",
    "namespace vkt2::batch::cp932_detail {",
    "",
    "// clang-format off",
    "extern const std::uint16_t double_byte[lead_count * trail_count] = {",
]
for lead_index, lead in enumerate(LEADS):
    row = units[lead_index * len(TRAILS):(lead_index + 1) * len(TRAILS)]
    out.append(f"    // 0x{lead:02X}")
    for i in range(0, len(row), 12):
        out.append("    " + " ".join(f"0x{u:04X}," for u in row[i:i + 12]))
out += ["};", "// clang-format on", "", "}  // namespace vkt2::batch::cp932_detail", ""]
sys.stdout.write("\n".join(out))

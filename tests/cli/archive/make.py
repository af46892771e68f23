"""Writes the archive cases' inputs: VKT2 files of all literals in archives written by Python, and
files that embed VKT2 files at known offsets. Usage: make.py WHAT (in the current folder)."""
import os, struct, sys, tarfile, zipfile

def vkt2(data):
    out = b"VKT2" + struct.pack("<H", len(data)) + b"\0\0"
    for i in range(0, len(data), 8):
        out += b"\xff" + data[i:i + 8]
    return out

def crc16(data):
    crc = 0
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc

def lzh_member(name, data):
    # A level-0 header, stored (-lh0-).
    body = (b"-lh0-" + struct.pack("<IIIBB", len(data), len(data), 0x5A8C6000, 0x20, 0)
            + bytes([len(name)]) + name + struct.pack("<H", crc16(data)))
    return bytes([len(body), sum(body) & 0xFF]) + body + data

what = sys.argv[1]
if what == "zip":
    z = zipfile.ZipFile("m.zip", "w", zipfile.ZIP_DEFLATED)
    z.writestr("a/one.vk", vkt2(b"hello one\n"))
    info = zipfile.ZipInfo("b/readme.txt", (2001, 2, 3, 4, 5, 6))
    info.external_attr = 0o640 << 16
    z.writestr(info, b"plain text\n" * 1000)
    z.writestr("c/cut.vk", vkt2(b"0123456789abcdef")[:-3])
    z.writestr("../evil.vk", vkt2(b"evil\n"))
    link = zipfile.ZipInfo("d/link.vk")
    link.external_attr = 0o120777 << 16
    z.writestr(link, "../a/one.vk")
    z.close()
elif what == "lzh":
    name = "テスト.vk".encode("cp932")
    with open("t.lzh", "wb") as f:
        f.write(lzh_member(name, vkt2(b"sjis\n")) + lzh_member(b"plain.txt", b"hi\n") + b"\0")
elif what == "cab":
    # One folder, stored, its data in one block; cab names use backslashes.
    files = [(b"dir\\h.vk", vkt2(b"cab\n")), (b"note.txt", b"plain\n")]
    data = b"".join(d for _, d in files)
    entries, start = b"", 0
    for name, d in files:
        entries += struct.pack("<IIHHHH", len(d), start, 0, 0x5A8C, 0x6000, 0x20) + name + b"\0"
        start += len(d)
    at_data = 36 + 8 + len(entries)
    block = struct.pack("<IHH", 0, len(data), len(data)) + data
    head = b"MSCF" + struct.pack("<IIIIIBBHHHHH", 0, at_data + len(block), 0, 44, 0, 3, 1, 1,
                                 len(files), 0, 0, 0)
    open("t.cab", "wb").write(head + struct.pack("<IHH", at_data, 1, 0) + entries + block)
elif what == "tgz":
    with open("in.vk", "wb") as f:
        f.write(vkt2(b"in a tarball\n"))
    with tarfile.open("t.tar.gz", "w:gz") as t:
        t.add("in.vk", "deep/in.vk")
elif what == "bomb":
    # One member that starts as a VKT2 file and goes on for 300 MB.
    z = zipfile.ZipFile("bomb.zip", "w", zipfile.ZIP_DEFLATED)
    with z.open("big.vk", "w", force_zip64=True) as m:
        m.write(b"VKT2\0\0\0\0")
        block = bytes(1 << 20)
        for _ in range(300):
            m.write(block)
    z.close()
elif what == "host":
    # Embedded files at known offsets, among false starts.
    one, two = vkt2(b"first file\n" * 20), vkt2(b"second\n")
    data = bytearray(os.urandom(75000).replace(b"V", b"v"))
    data[100:100 + len(one)] = one
    # 65,535 bytes of literals: the stream needs bytes past the first 65,536.
    past = b"VKT2\xff\xff\0\0" + (b"\xff" + bytes(8)) * 7334
    data[1000:1000 + len(past)] = past
    data[70000:70000 + len(two)] = two
    third = 70000 + len(two)
    # A stream of eight short references per flag byte runs past the end of the file.
    data[third:] = b"VKT2\xff\x7f\0\0" + bytes(len(data) - third - 8)
    data += b"VKT2\x01"                                      # ends inside its header
    open("host.bin", "wb").write(data)
    print(len(one), len(two), third, len(data) - 5)
elif what == "large":
    # An embedded file across the line between two reads.
    one = vkt2(b"across\n" * 100)
    data = bytearray(os.urandom(9 << 20).replace(b"V", b"v"))
    at = (4 << 20) - 300  # 4 MiB is a multiple of every read
    data[at:at + len(one)] = one
    open("large.bin", "wb").write(data)
    print(at, len(one))
elif what == "dense":
    # "VKT2" every four bytes, each a file that passes, then a real one; and starts every nine
    # bytes whose streams of literals all run past the limit.
    one = vkt2(b"the real one")
    data = b"VKT2" * (1 << 18) + b"x" * 70000
    open("dense.bin", "wb").write(data + one)
    open("spam.bin", "wb").write((b"VKT2" + b"\xff" * 5) * (1 << 15))
    print(len(data), len(one))

#!/usr/bin/env bash
# vkt2 on what holds VKT2 files: archives read like folders (zip, 7z, ISO 9660, LZH, tar.gz),
# damaged and encrypted ones, a member too large to hold, and files embedded in other files.
#
# Usage: archive_e2e.sh VKT2 [LAUNCHER...]
# A build without archive support is checked for saying so; with a launcher (a Windows build)
# only that runs.
# shellcheck disable=SC2015
set -u
export LC_ALL=C
V=$(realpath "$1") LAUNCH=("${@:2}") win=${2:+1}
root=$(mktemp -d) || exit 1
trap 'rm -rf "$root"' EXIT
failures=0 name=''

begin_test() { name=$1; rm -rf "${root:?}"/w && mkdir "$root/w" && cd "$root/w" || exit 1; }
fail() { echo "FAIL [$name]: $*" >&2 && failures=$((failures + 1)); }
vkt2() { "${LAUNCH[@]}" "$V" "$@"; }
# run ARGS...: the status in `status`, standard output in out, standard error in err.
run() { vkt2 "$@" >out 2>err; status=$?; }
said() { [ "$(tr -d '\r' <err)" = "$1" ] || fail "said: $(cat err)"; }
status_is() { [ "$status" = "$1" ] || fail "status $status, not $1"; }

# The helpers: VKT2 files of all literals, archives written by Python.
cat >"$root/make.py" <<'PY'
import os, struct, sys, tarfile, time, zipfile, zlib

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
PY
make() { python3 "$root/make.py" "$@"; }

if ! vkt2 -V | tr -d '\r' | grep -q '^archives: libarchive '; then
    begin_test 'without archive support: an archive named is a failure that says so'
    [ "$(vkt2 -V | tr -d '\r' | sed -n 2p)" = 'archives: not built in' ] || fail "-V: $(vkt2 -V)"
    make zip
    run t -q m.zip
    status_is 1; said 'vkt2: m.zip: an archive (zip); this vkt2 reads no archives'
    [ "$failures" = 0 ] || exit 1
    exit 0
fi
[ "$win" ] && exit 0

begin_test 'zip: members tested, listed and decoded as ARCHIVE/member, the archive untouched'
make zip
cp m.zip m.copy
run t -v m.zip
status_is 1; said 'vkt2: m.zip/a/one.vk: passed
vkt2: m.zip/b/readme.txt: skipped: not a VKT2 file
vkt2: m.zip/c/cut.vk: cut short: the file ends before its stream does; the last 3 of its 16 decoded bytes are missing
vkt2: m.zip/../evil.vk: a name that leads out of the archive; left alone
vkt2: m.zip/d/link.vk: skipped: a link
vkt2: 1 file passed, 2 failed, 2 skipped; 20 bytes in, 10 bytes out'
run l -q m.zip
[ "$(cat out)" = "$(printf '%10d %10d %7s %s\n' 20 10 -100.0% m.zip/a/one.vk 23 16 -43.8% m.zip/c/cut.vk)" ] ||
    fail "l: $(cat out)"
run cat m.zip
[ "$(cat out)" = 'hello one' ] && [ "$status" = 1 ] || fail "cat: $status $(cat out)"
run t --json m.zip
python3 - <<'PY' || fail "JSON: $(cat out)"
import json
rows = [json.loads(line) for line in open("out")]
got = [(r["path"], r["result"]) for r in rows[:5]]
assert got[:5] == [("m.zip/a/one.vk", "passed"), ("m.zip/b/readme.txt", "skipped"),
                   ("m.zip/c/cut.vk", "failed"), ("m.zip/../evil.vk", "failed"),
                   ("m.zip/d/link.vk", "skipped")], got
assert rows[0]["bytes_in"] == 20 and rows[0]["bytes_out"] == 10
assert rows[5]["type"] == "summary" and rows[5]["failed"] == 2
PY
run x m.zip
status_is 1; said 'vkt2: m.zip: an archive; x changes no archive in place (x -o DIR decodes its members)
vkt2: 0 files done, 1 failed, 0 skipped; 0 bytes in, 0 bytes out'
run c -q m.zip
status_is 1; said 'vkt2: m.zip: an archive; c in place would replace it (c -o DIR compresses it)'
run x --archives m.zip
[ "$status" = 2 ] || fail "x --archives in place: status $status"
cmp -s m.zip m.copy && [ "$(ls)" = "$(printf 'err\nm.copy\nm.zip\nout')" ] || fail "the archive or folder changed: $(ls)"

begin_test 'zip: x -o DIR writes members under DIR/ARCHIVE/, --all copies the rest with its dates'
make zip
chmod 600 m.zip
run x -o o --all m.zip
[ "$status" = 1 ] || fail "status $status"
[ "$(cat o/m.zip/a/one.vk)" = 'hello one' ] || fail "one.vk: $(cat o/m.zip/a/one.vk)"
[ "$(find o -type f | sort)" = "$(printf 'o/m.zip/a/one.vk\no/m.zip/b/readme.txt')" ] ||
    fail "written: $(find o | sort)"
[ "$(wc -c <o/m.zip/b/readme.txt)" = 11000 ] || fail "readme.txt not copied whole"
[ "$(date -u -r o/m.zip/b/readme.txt +%F)" = 2001-02-03 ] || fail "date: $(ls -l o/m.zip/b)"
# The member's mode, within what the archive itself allows.
[ "$(stat -c %a o/m.zip/b/readme.txt)" = 600 ] || fail "mode $(stat -c %a o/m.zip/b/readme.txt)"
[ ! -e evil.vk ] && [ ! -e o/evil.vk ] || fail "a name with .. was written"
[ "$(stat -c %a o/m.zip/a)" = 700 ] || fail "member folder mode $(stat -c %a o/m.zip/a)"
run x -o o m.zip
said "vkt2: m.zip/a/one.vk: o/m.zip/a/one.vk already exists (-f replaces it)
vkt2: m.zip/c/cut.vk: cut short: the file ends before its stream does; the last 3 of its 16 decoded bytes are missing
vkt2: m.zip/../evil.vk: a name that leads out of the archive; left alone
vkt2: 0 files done, 3 failed, 2 skipped; 0 bytes in, 0 bytes out"

begin_test '7z, ISO 9660, tar.gz and cab by bsdtar and Python, LZH with a Shift-JIS name'
mkdir d
printf 'VKT2\005\0\0\0\037hello' >d/h.vk
bsdtar -cf a.7z --format 7zip d && bsdtar -cf a.iso --format iso9660 d || fail bsdtar
make lzh && make tgz && make cab
run t -v a.7z a.iso t.lzh t.tar.gz t.cab
said 'vkt2: a.7z/d/h.vk: passed
vkt2: a.iso/d/h.vk: passed
vkt2: t.lzh/テスト.vk: passed
vkt2: t.lzh/plain.txt: skipped: not a VKT2 file
vkt2: t.tar.gz/deep/in.vk: passed
vkt2: t.cab/dir/h.vk: passed
vkt2: t.cab/note.txt: skipped: not a VKT2 file
vkt2: 5 files passed, 0 failed, 2 skipped; 78 bytes in, 32 bytes out'
run x -o o t.lzh
[ "$(cat o/t.lzh/テスト.vk)" = sjis ] || fail "LZH member: $(find o)"
run t --json t.lzh
python3 -c '
import json; r = json.loads(open("out").readline())
assert r["path"] == "t.lzh/\u30c6\u30b9\u30c8.vk", r' || fail "JSON name: $(head -n 1 out)"

begin_test 'damaged and encrypted archives fail with the reason libarchive gives'
make zip
head -c 200 m.zip >cut.zip
mkdir d && printf 'VKT2\0\0\0\0' >d/a.vk
bsdtar -cf a.7z --format 7zip d && head -c 40 a.7z >cut.7z
bsdtar -czf a.tgz d && head -c 30 a.tgz >cut.tgz
bsdtar -cf enc.zip --format zip --options zip:encryption=traditional --passphrase pw d
run t -q cut.7z cut.tgz enc.zip
status_is 1; said 'vkt2: cut.7z: cannot read the archive: damaged, or cut short
vkt2: cut.tgz: cannot read the archive: truncated gzip input
vkt2: enc.zip/d/a.vk: cannot read: Passphrase required for this entry'
run t -q cut.zip
[ "$status" = 1 ] && grep -q '^vkt2: cut.zip: cannot read the archive: ' err || fail "cut.zip: $(cat err)"
# Compressed data that is no archive is a file like any other.
printf 'text\n' | gzip >plain.gz
run t -q plain.gz
said 'vkt2: plain.gz: not a VKT2 file'
# A plain file opening with a block of zeros reads as an empty tar to libarchive: still a file.
head -c 1024 /dev/zero >zeros.bin && printf 'data' >>zeros.bin
run t -q zeros.bin
status_is 1; said 'vkt2: zeros.bin: not a VKT2 file'

begin_test 'a member that goes on for 300 MB is read no further than a file load'
make bomb
run l -q bomb.zip
[ "$(cat out)" = "$(printf '%10d %10d %7s %s' 314572808 0 0.0% bomb.zip/big.vk)" ] || fail "l: $(cat out)"
if [ -z "${VKT2_SANITIZED:-}" ]; then
    /usr/bin/time -f %M -o rss "$V" t bomb.zip >out 2>err
    [ "$(cat rss)" -lt 60000 ] || fail "t used $(cat rss) KiB"
    said 'vkt2: bomb.zip/big.vk: warning: longer than 65,536 bytes; the rest is never read
vkt2: bomb.zip/big.vk: warning: 65528 unused bytes after the end of the stream
vkt2: 1 file passed, 0 failed, 0 skipped; 65536 bytes in, 0 bytes out'
fi

begin_test 'a walk meets archives as files, and opens them with --archives'
make zip
mkdir d && mv m.zip d/
run t -v d
said 'vkt2: d/m.zip: skipped: not a VKT2 file
vkt2: 0 files passed, 0 failed, 1 skipped; 0 bytes in, 0 bytes out'
run t -v --archives d
[ "$(head -n 1 err)" = 'vkt2: d/m.zip/a/one.vk: passed' ] || fail "--archives: $(cat err)"
run x -q --archives -o o d
[ "$(cat o/m.zip/a/one.vk)" = 'hello one' ] || fail "x --archives -o: $(find o)"

begin_test 'scan: embedded files at known offsets, false starts rejected with their reasons'
read -r one two third last <<<"$(make host)"
run scan -v host.bin
[ "$status" = 0 ] || fail "status $status"
[ "$(cat out)" = "$(printf '%12s %10s %10s %s\n' offset stored decoded 'verdict name' \
    100 "$one" 220 'passed  host.bin' 70000 "$two" 7 'passed  host.bin')" ] || fail "listed: $(cat out)"
# Each rejected for the reason t gives the bytes from its offset on.
for at in 1000 "$third" "$last"; do
    tail -c +$((at + 1)) host.bin >rest
    vkt2 t -q rest 2>&1 | sed "s/^vkt2: rest: /vkt2: host.bin: at offset $at: rejected: /"
done >expected
echo "vkt2: 2 found, 3 rejected, 0 failed; 1 file, $((last + 5)) bytes read" >>expected
said "$(cat expected)"
grep -q 'offset 1000: rejected: the stream needs bytes past' expected &&
    grep -q "offset $third: rejected: cut short: the file ends before its stream does" expected &&
    grep -q "offset $last: rejected: cut short: the file ends inside" expected || fail "$(cat expected)"
run scan host.bin
[ "$(cat err)" = "vkt2: 2 found, 3 rejected, 0 failed; 1 file, $((last + 5)) bytes read" ] || fail "without -v: $(cat err)"
# From a pipe, the same.
dd if=host.bin status=none | vkt2 scan -q >piped 2>err
[ "$(cat piped)" = "$(sed 1d out | sed 's/host.bin$/-/')" ] || fail "from a pipe: $(cat piped)"
run scan --json -o o host.bin
python3 - "$one" "$two" <<'PY' || fail "JSON: $(cat out)"
import json, sys
rows = [json.loads(line) for line in open("out")]
assert [(r["offset"], r["result"], r["bytes_in"], r["output"]) for r in rows[:2]] == [
    (100, "passed", int(sys.argv[1]), "o/host.bin@100"),
    (70000, "passed", int(sys.argv[2]), "o/host.bin@70000")], rows
assert rows[2] == {"type": "summary", "command": "scan", "found": 2, "rejected": 3,
                   "failed": 0, "unchecked": 0, "files": 1, "bytes_in": rows[2]["bytes_in"]}, rows[2]
PY
[ "$(cat o/host.bin@70000)" = second ] && [ "$(head -c 11 o/host.bin@100)" = 'first file' ] ||
    fail "outputs: $(ls o)"
run scan -q -o o host.bin
status_is 1; said "vkt2: host.bin: at offset 100: o/host.bin@100 already exists (-f replaces it)
vkt2: host.bin: at offset 70000: o/host.bin@70000 already exists (-f replaces it)"
run scan -q -f -o o host.bin
[ "$status" = 0 ] || fail "-f: $status $(cat err)"
# Outputs of a folder named go below its folders, made with their modes and dates.
mkdir -p tree/sub && cp host.bin tree/sub/ && chmod 750 tree/sub && touch -d 2001-01-01 tree/sub
run scan -q -o mirror tree
[ "$(cat mirror/sub/host.bin@70000)" = second ] && [ "$(stat -c %a mirror/sub)" = 750 ] &&
    [ "$(date -u -r mirror/sub +%F)" = 2001-01-01 ] || fail "mirror: $(ls -la mirror/sub)"
# A name that is not UTF-8 comes back exact.
cp host.bin "$(printf 'h\377')"
run scan --json -o o "$(printf 'h\377')"
python3 - <<'PY' || fail "JSON names: $(head -n 1 out)"
import base64, json
r = json.loads(open("out").readline())
assert base64.b64decode(r["path_base64"]) == b"h\xff", r
assert base64.b64decode(r["output_base64"]) == b"o/h\xff@100", r
PY
# Outputs are named after the files read: standard input has no name.
run scan -o o - <host.bin
[ "$status" = 2 ] && [ "$(head -n 1 err)" = 'vkt2: -o does not apply to -: scan names its outputs after the files read' ] ||
    fail "scan -o -: $status $(cat err)"
# Not even -f replaces a file the run reads.
cp host.bin host.bin@100
run scan -q -f -o . host.bin host.bin@100
[ "$status" = 1 ] && grep -qx 'vkt2: host.bin: at offset 100: ./host.bin@100 is an input of this run' err &&
    cmp -s host.bin host.bin@100 || fail "an input replaced: $(cat err)"

# Two files of one name: the second would replace what the first wrote.
mkdir d1 d2 && cp host.bin d1/ && tail -c +69901 host.bin >d2/host.bin
run scan -q -f -o same d1/host.bin d2/host.bin
[ "$status" = 1 ] && said 'vkt2: d2/host.bin: same output as d1/host.bin' &&
    cmp -s same/host.bin@100 o/host.bin@100 || fail "same output: $status $(cat err)"

begin_test 'scan: a file found across the line between two reads'
read -r at size <<<"$(make large)"
run scan -q -o o large.bin
[ "$(cat out)" = "$(printf '%12d %10d %10d passed  large.bin' "$at" "$size" 700)" ] || fail "found: $(cat out)"
[ "$(head -c 7 "o/large.bin@$at")" = across ] || fail "output: $(ls o)"

begin_test 'scan: data that starts VKT2 everywhere costs work in proportion to its size'
read -r at size <<<"$(make dense)"
run scan -q dense.bin
[ "$status" = 0 ] && [ "$(tail -n 1 out)" = "$(printf '%12d %10d %10d passed  dense.bin' "$at" "$size" 12)" ] ||
    fail "dense: $status $(tail -n 1 out) $(cat err)"
# Streams that each run 65,528 bytes: the rest are counted, never dropped in silence.
run scan --json spam.bin
[ "$status" = 1 ] && grep -q '^vkt2: spam.bin: [0-9]* places starting VKT2 not checked: too many, too close together$' <(
    vkt2 scan -q spam.bin 2>&1) || fail "spam: $status $(cat err)"
python3 - <<'PY' || fail "spam JSON: $(tail -n 2 out)"
import json
rows = [json.loads(line) for line in open("out")]
assert rows[-2]["result"] == "failed" and "not checked" in rows[-2]["error"], rows[-2]
assert rows[-1]["unchecked"] > 30000 and rows[-1]["failed"] == 1, rows[-1]
PY

[ "$failures" = 0 ] || exit 1

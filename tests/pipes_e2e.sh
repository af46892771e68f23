#!/usr/bin/env bash
# The folder tool in pipes and scripts: - as standard input for every command, --json read
# back by Python and jq, -v lines, and --all mirrors checked byte for byte with modes and dates.
#
# Usage: pipes_e2e.sh VKT2 VKT2C [LAUNCHER...]
# With a launcher the tools are Windows programs; only the cases that need no POSIX pipes,
# links or modes run.
# The pipes are what is tested here, and `A && B || fail` reads as meant.
# shellcheck disable=SC2002,SC2015
set -u
export LC_ALL=C
V=$(realpath "$1") C=$(realpath "$2") LAUNCH=("${@:3}") win=${3:+1}
root=$(mktemp -d) || exit 1
trap 'rm -rf "$root"' EXIT
failures=0 name=''

begin_test() { name=$1; rm -rf "${root:?}"/w && mkdir "$root/w" && cd "$root/w" || exit 1; }
fail() { echo "FAIL [$name]: $*" >&2 && failures=$((failures + 1)); }
vkt2() { "${LAUNCH[@]}" "$V" "$@"; }
# pack NAME TEXT: NAME becomes TEXT in VKT2 form, made by vkt2c.
pack() { printf '%s' "$2" >"$1" && "${LAUNCH[@]}" "$C" "$1" >/dev/null && rm -f "$1.BAK"; }
# expect STATUS WANTED-STDERR: the last run's status and standard error (in err).
expect() { [ "$status" = "$1" ] && [ "$(cat err)" = "$2" ] || fail "status $status, said: $(cat err)"; }

begin_test 'options: long forms, -q for all, -h and -V after a command, unknown ones'
pack f 'some text, some text'
while IFS='|' read -r want_status want_err args; do
    read -ra words <<<"$args"
    vkt2 "${words[@]}" >out 2>err
    status=$?
    [ "$status" = "$want_status" ] || fail "$args: status $status"
    # A Windows console stream ends its lines with CR LF.
    [ "$(head -n 1 err | tr -d '\r')" = "$want_err" ] || fail "$args: said $(cat err)"
done <<'TABLE'
0||cat --quiet f
0||t --quiet --jobs=2 f
0||l -q f
0||x -h
0||l --version
2|vkt2: unknown option -Z|t -Z f
2|vkt2: unknown option --frob|cat --frob f
2|vkt2: option -o does not apply to t|t -o d f
2|vkt2: option --zero-fill does not apply to c|c --zero-fill f
TABLE
[ "$(vkt2 l -q f | tr -d '\r')" = "        23         20  -15.0% f" ] || fail "l -q printed: $(vkt2 l -q f)"

if [ "$win" ]; then
    echo "skipped [pipes, JSON names, modes]: needs POSIX pipes, names and modes"
    [ "$failures" = 0 ] || exit 1
    exit 0
fi

begin_test '- is standard input for every command, through a pipe, writing no file'
pack f 'hello hello hello hello'
printf 'hello hello hello hello' >plain
cp f f.vkt2
: >err
before=$(ls)
[ "$(cat f | "$V" cat -)" = 'hello hello hello hello' ] || fail "cat -"
[ "$(cat f | "$V" cat)" = 'hello hello hello hello' ] || fail "cat with no PATH"
[ "$(cat f | "$V" cat /dev/stdin)" = 'hello hello hello hello' ] || fail "cat /dev/stdin"
[ "$(cat f | "$V" x - 2>err)" = 'hello hello hello hello' ] && [ ! -s err ] || fail "x -: $(cat err)"
cat plain | "$V" c - >packed 2>err && cmp -s packed f.vkt2 && [ ! -s err ] || fail "c - differs from vkt2c"
[ "$(cat plain | "$V" c - | "$V" x -)" = 'hello hello hello hello' ] || fail "c - | x -"
cat f | "$V" t - 2>err
status=$? && expect 0 'vkt2: 1 file passed, 0 failed, 0 skipped; 17 bytes in, 23 bytes out'
[ "$(cat f | "$V" l -q - f)" = "$(printf '%10d %10d %7s -\n%10d %10d %7s f' 17 23 26.1% 17 23 26.1%)" ] ||
    fail "l - printed: $(cat f | "$V" l -q - f)"
cat plain | "$V" t - 2>err
status=$? && expect 1 'vkt2: -: not a VKT2 file
vkt2: 0 files passed, 1 failed, 0 skipped; 0 bytes in, 0 bytes out'
head -c 65536 /dev/zero | "$V" c - >packed 2>err
status=$? && expect 1 'vkt2: -: too large: VKT2 holds at most 65,535 bytes'
[ ! -s packed ] || fail "c - wrote data for a file too large"
# In place, the link /dev/stdin is never moved aside, whatever it leads to.
for feed in pipe file; do
    if [ $feed = pipe ]; then cat f | "$V" x /dev/stdin 2>err; else "$V" x /dev/stdin <f 2>err; fi
    status=$? && expect 1 'vkt2: /dev/stdin: a link: in place only a file is replaced; name the file it leads to, or use -o or -
vkt2: 0 files done, 1 failed, 0 skipped; 0 bytes in, 0 bytes out'
done
[ -L /dev/stdin ] || fail "/dev/stdin is no longer a link"
rm packed
[ "$(ls)" = "$before" ] || fail "files changed: $(ls)"
# A named FIFO is read when given to cat; a walk skips it.
mkfifo p && mkdir d && mkfifo d/p
(cat f >p &)
[ "$(timeout 10 "$V" cat p)" = 'hello hello hello hello' ] || fail "cat of a FIFO"
timeout 10 "$V" t -v d 2>err
status=$? && expect 0 'vkt2: d/p: skipped: not a regular file
vkt2: 0 files passed, 0 failed, 1 skipped; 0 bytes in, 0 bytes out'

begin_test 'c - refuses a terminal unless -f; x - writes to one; only c - reads from one'
pack f 'to a terminal'
printf 'to a terminal' >plain
# pty IN RUN...: runs with standard output a terminal and standard input IN ("tty": the
# terminal too); prints the status, then what it wrote.
pty() {
    python3 -c 'import os, pty, sys
pid, fd = pty.fork()
if pid == 0:
    if sys.argv[1] != "tty":
        os.dup2(os.open(sys.argv[1], os.O_RDONLY), 0)
    os.execv(sys.argv[2], sys.argv[2:])
out = b""
while True:
    try:
        chunk = os.read(fd, 4096)
    except OSError:
        break
    if not chunk:
        break
    out += chunk
print(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]), out.replace(b"\r\n", b"\n"))' "$@"
}
[ "$(pty plain "$V" c -)" = "1 b'vkt2: -: will not write compressed data to a terminal (-f writes it)\\n'" ] ||
    fail "c - to a terminal: $(pty plain "$V" c -)"
[[ $(pty plain "$V" c -f -) == "0 b'VKT2"* ]] || fail "c -f -: $(pty plain "$V" c -f -)"
[ "$(pty f "$V" x -)" = "0 b'to a terminal'" ] || fail "x -: $(pty f "$V" x -)"
for command in x t l cat; do
    said=$(pty tty "$(command -v timeout)" --foreground 5 "$V" $command -)
    [ "$said" = "1 b'vkt2: -: will not read compressed data from a terminal\\n'" ] ||
        fail "$command - from a terminal: $said"
done

# A tree with a name holding a newline, one with bytes that are not UTF-8, a link, a backup and
# a file that fails; modes and dates differ from file to file.
make_tree() {
    mkdir -p d/sub
    pack d/a 'aaaa aaaa aaaa aaaa'
    pack $'d/new\nline' 'a name with a newline'
    pack $'d/sub/\xff\xfe' 'bytes that are not UTF-8'
    printf 'VKT2\005\000' >d/cut
    printf 'plain text' >d/sub/plain
    printf 'kept' >d/a.BAK
    ln -s a d/link
    printf 'temp' >'d/x.$$$'
    chmod 640 d/a && chmod 600 d/sub/plain && chmod 751 d/a.BAK
    touch -d '2001-02-03 04:05:06' d/a d/sub/plain
    touch -d '2002-03-04 05:06:07' d/a.BAK
}

begin_test '--json: one object per file and a summary, names round-tripped'
make_tree
check_json() {
    python3 -c 'import json, os, sys
lines = [json.loads(l) for l in sys.stdin]
files, summary = lines[:-1], lines[-1]
assert summary["type"] == "summary", summary
got = {}
for f in files:
    assert f["type"] == "file" and os.path.lexists(os.fsencode(f["path"])), f
    got[os.fsencode(f["path"])] = (f["result"], f.get("reason") or f.get("error"), f.get("bytes_out"))
want = eval(sys.argv[1])
assert got == want, (got, want)
assert {k: summary[k] for k in want_summary} == want_summary if (want_summary := eval(sys.argv[2])) else True, summary' "$@"
}
vkt2 t --json d >out 2>err
[ $? = 1 ] && [ ! -s err ] || fail "status or standard error: $(cat err)"
check_json "{b'd/a': ('passed', None, 19), b'd/a.BAK': ('skipped', 'a backup', None),
  b'd/cut': ('failed', 'cut short: the file ends inside its 8-byte header', None),
  b'd/link': ('skipped', 'a link', None), b'd/new\nline': ('passed', None, 21),
  b'd/sub/\xff\xfe': ('passed', None, 24), b'd/sub/plain': ('skipped', 'not a VKT2 file', None),
  b'd/x.\$\$\$': ('skipped', 'a temporary file', None)}" \
    "{'done': 3, 'failed': 1, 'skipped': 4}" <out || fail "t --json: $(cat out)"
vkt2 x -o mirror --json --all d >json 2>err
[ $? = 1 ] && [ ! -s err ] || fail "x --json: $(cat err)"
check_json "{b'd/a': ('decoded', None, 19), b'd/a.BAK': ('copied', 'a backup', 4),
  b'd/cut': ('failed', 'cut short: the file ends inside its 8-byte header', 6),
  b'd/link': ('skipped', 'a link', None), b'd/new\nline': ('decoded', None, 21),
  b'd/sub/\xff\xfe': ('decoded', None, 24), b'd/sub/plain': ('copied', 'not a VKT2 file', 10),
  b'd/x.\$\$\$': ('skipped', 'a temporary file', None)}" \
    "{'done': 3, 'failed': 1, 'skipped': 2, 'copied': 2}" <json || fail "x --json: $(cat json)"
[ "$(cat $'mirror/sub/\xff\xfe')" = 'bytes that are not UTF-8' ] || fail "not decoded to the output"
cmp -s d/cut mirror/cut || fail "the file that failed is not in the mirror as it is"
# A name that is not UTF-8, and only that one, also comes as base64 of its bytes, which jq and
# base64(1) turn back into the name without Python's surrogateescape.
jq -r 'select(.path_base64) | .path_base64, .output_base64' json >names || fail "jq: $(cat json)"
[ "$(wc -l <names)" = 2 ] && [ "$(head -n 1 names | base64 -d)" = $'d/sub/\xff\xfe' ] &&
    [ "$(tail -n 1 names | base64 -d)" = $'mirror/sub/\xff\xfe' ] || fail "base64 names: $(cat names)"
vkt2 x --json $'d/sub/\xff\xfe' >json 2>err
[ "$(jq -r .backup_base64 json | head -n 1 | base64 -d)" = $'d/sub/\xff\xfe.BAK' ] &&
    [ -f $'d/sub/\xff\xfe.BAK' ] || fail "x --json backup: $(cat json err)"

begin_test 'undo --json: pairs to restore and pairs left alone, names round-tripped'
mkdir u && printf 'undo me, undo me' >$'u/\xfe' && printf 'mine' >u/notes && printf 'kept' >u/notes.BAK
vkt2 c -q u >/dev/null 2>&1
vkt2 undo -n --json u >out 2>err && [ ! -s err ] || fail "undo -n --json: $(cat err)"
check_json "{b'u/\xfe.BAK': ('would_restore', 'undoing c', None),
  b'u/notes.BAK': ('left_alone', 'not what x or c left of u/notes', None)}" \
    "{'dry_run': True, 'would_restore': 1, 'failed': 0, 'left_alone': 1}" <out ||
    fail "undo -n --json: $(cat out)"
vkt2 undo --json u >out 2>err && [ "$(tail -n 1 out)" = '{"type":"summary","command":"undo","dry_run":false,"restored":1,"failed":0,"left_alone":1}' ] ||
    fail "undo --json: $(cat out err)"
[ "$(cat $'u/\xfe')" = 'undo me, undo me' ] && [ ! -e $'u/\xfe.BAK' ] || fail "not restored"

begin_test '-v names every file done and every entry skipped, with why'
make_tree
rm d/cut
vkt2 t -v -j2 d 2>err
status=$? && expect 0 'vkt2: d/a: passed
vkt2: d/a.BAK: skipped: a backup
vkt2: d/link: skipped: a link
vkt2: d/new\x0aline: passed
vkt2: d/sub/plain: skipped: not a VKT2 file
vkt2: d/sub/\xff\xfe: passed
vkt2: d/x.$$$: skipped: a temporary file
vkt2: 3 files passed, 0 failed, 4 skipped; 81 bytes in, 64 bytes out'
vkt2 c -o out -v d d/a 2>err
status=$? && expect 1 'vkt2: d/a: skipped: already in VKT2 form
vkt2: d/a.BAK: skipped: a backup
vkt2: d/link: skipped: a link
vkt2: d/new\x0aline: skipped: already in VKT2 form
vkt2: d/sub/plain: compressed to out/sub/plain, 10 bytes to 20
vkt2: d/sub/\xff\xfe: skipped: already in VKT2 form
vkt2: d/x.$$$: skipped: a temporary file
vkt2: d/a: same output as d/a
vkt2: 1 file done, 1 failed, 6 skipped; 10 bytes in, 20 bytes out'
vkt2 x -q -v d/sub/plain 2>err
status=$? && expect 1 'vkt2: d/sub/plain: not a VKT2 file
vkt2: 0 files done, 1 failed, 0 skipped; 0 bytes in, 0 bytes out'
vkt2 c -v --all -o out2 d/sub 2>err
status=$? && expect 0 'vkt2: d/sub/plain: compressed to out2/plain, 10 bytes to 20
vkt2: d/sub/\xff\xfe: copied as it is to out2/\xff\xfe (already in VKT2 form)
vkt2: 1 file done, 0 failed, 0 skipped, 1 copied; 10 bytes in, 20 bytes out'

begin_test '--all mirrors the whole tree: same bytes, modes and dates; -f replaces'
make_tree
rm d/cut
# mirror SRC OUT: every regular file of SRC but NAME.$$$ is in OUT with its mode and mtime;
# packed files decoded by x, the rest byte for byte.
mirror() {
    python3 -c 'import os, sys
src, out = map(os.fsencode, sys.argv[1:3])
seen = set()
for top, dirs, names in os.walk(src):
    for n in names:
        p = os.path.join(top, n)
        q = os.path.join(out, os.path.relpath(p, src))
        if os.path.islink(p) or n.endswith(b"$$$"):
            assert not os.path.lexists(q), q
            continue
        seen.add(q)
        a, b = os.stat(p), os.stat(q)
        assert (a.st_mode, a.st_mtime_ns) == (b.st_mode, b.st_mtime_ns), (q, oct(b.st_mode))
        data = open(p, "rb").read()
        if not data.startswith(b"VKT2") or n.endswith(b".BAK"):
            assert open(q, "rb").read() == data, q
for top, dirs, names in os.walk(out):
    for n in names:
        assert os.path.join(top, n) in seen, n' "$@"
}
vkt2 x -q -o out --all d || fail "status $?"
mirror d out || fail "x --all"
[ "$(cat out/a)" = 'aaaa aaaa aaaa aaaa' ] || fail "out/a not decoded"
vkt2 x -q -o out --all d 2>err
[ $? = 1 ] && grep -q '^vkt2: d/a.BAK: out/a.BAK already exists (-f replaces it)$' err ||
    fail "an existing copy was not refused: $(cat err)"
printf 'changed' >d/sub/plain && chmod 604 d/sub/plain
vkt2 x -o out --all -f d 2>err
status=$? && expect 0 'vkt2: 3 files done, 0 failed, 2 skipped, 2 copied; 81 bytes in, 64 bytes out'
mirror d out || fail "x --all -f"
vkt2 c -q -o packed --all out || fail "c --all: status $?"
[ "$(cat packed/a.BAK)" = kept ] && [ "$(head -c 4 packed/a)" = VKT2 ] || fail "c --all"

begin_test 'mirrors make no folder wider than its source; each ends with its mode and dates'
mkdir -p d/open/private/deep
printf 'secret text, secret text' >d/open/private/deep/f
pack d/open/p 'packed text, packed text'
chmod 644 d/open/private/deep/f && chmod 700 d/open/private && chmod 710 d/open/private/deep
chmod 750 d/open && chmod 755 d
# As root, the owner is copied too.
owner=$(id -u):$(id -g)
[ "$(id -u)" != 0 ] || { owner=65534:65534 && chown "$owner" d/open/private; }
touch -d '2001-02-03 04:05:06' d/open/private/deep d/open/private d/open d
# same_folders SRC OUT: every folder of SRC is in OUT with its mode and modification time.
same_folders() {
    python3 -c 'import os, sys
src, out = sys.argv[1:3]
for top, dirs, names in os.walk(src):
    a, b = os.stat(top), os.stat(os.path.join(out, os.path.relpath(top, src)))
    assert (oct(a.st_mode), a.st_mtime_ns) == (oct(b.st_mode), b.st_mtime_ns), (top, oct(b.st_mode))' "$@"
}
(umask 000 && vkt2 c -q -o out d && vkt2 x -q --all -o made/on/the/way/out2 d) || fail "status $?"
same_folders d out || fail "c -o"
same_folders d made/on/the/way/out2 || fail "x --all -o"
[ -z "$(find made out -perm -o+w)" ] || fail "writable by others: $(find made out -perm -o+w)"
[ "$(stat -c %u:%g out/open/private)" = "$owner" ] || fail "owner $(stat -c %u:%g out/open/private)"
# A folder that was already there is left as it was.
chmod 777 out/open && touch -d '2003-01-01' out/open
vkt2 x -q -f --all -o out d || fail "again: status $?"
[ "$(stat -c %a out/open)" = 777 ] || fail "an existing folder was changed"

begin_test '--all copies a sparse file with its holes'
python3 -c 'import os
for name, size, at in (("d/holes", 256 << 20, (0, 100 << 20, (256 << 20) - 5)), ("d/tail", 64 << 20, (4096,))):
    os.makedirs("d", exist_ok=True)
    with open(name, "wb") as f:
        f.truncate(size)
        for n in at:
            f.seek(n)
            f.write(b"data!")'
if [ "$(stat -c %b d/holes)" -gt 1024 ]; then
    echo "skipped [$name]: this file system makes no holes"
else
    vkt2 x -q --all -o out d || fail "status $?"
    for f in holes tail; do
        cmp -s "d/$f" "out/$f" || fail "$f differs"
        [ "$(stat -c %b "out/$f")" -le $(($(stat -c %b "d/$f") + 64)) ] ||
            fail "$f takes $(stat -c %b "out/$f") blocks, not about $(stat -c %b "d/$f")"
    done
fi

begin_test '--all copies a file that fails as it is, and still fails'
mkdir d
head -c 70000 /dev/zero >d/big
printf 'VKT2\005\000' >d/cut
chmod 604 d/big && touch -d '2001-02-03 04:05:06' d/big
vkt2 c -o out --all d 2>err
status=$? && expect 1 'vkt2: d/big: too large: VKT2 holds at most 65,535 bytes; copied as it is to out/big
vkt2: 0 files done, 1 failed, 0 skipped, 1 copied; 0 bytes in, 0 bytes out'
cmp -s d/big out/big && [ "$(stat -c %a.%Y out/big)" = "$(stat -c %a.%Y d/big)" ] || fail "out/big"
vkt2 x -q -o out2 --all d/cut 2>err
status=$? && expect 1 'vkt2: d/cut: cut short: the file ends inside its 8-byte header; copied as it is to out2/cut'
cmp -s d/cut out2/cut || fail "out2/cut"
# The copy itself can fail too: both are said.
vkt2 x -q -o out2 --all d/cut 2>err
status=$? && expect 1 'vkt2: d/cut: cut short: the file ends inside its 8-byte header
vkt2: d/cut: out2/cut already exists (-f replaces it)'

[ "$failures" = 0 ] || exit 1

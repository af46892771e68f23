"""What the pipes cases check in Python: JSON lines, mirrored trees, runs on a terminal."""
import json
import os
import pty
import sys


def check_json(want, want_summary):
    lines = [json.loads(line) for line in sys.stdin]
    files, summary = lines[:-1], lines[-1]
    assert summary["type"] == "summary", summary
    got = {}
    for f in files:
        assert f["type"] == "file" and os.path.lexists(os.fsencode(f["path"])), f
        got[os.fsencode(f["path"])] = (f["result"], f.get("reason") or f.get("error"),
                                       f.get("bytes_out"))
    want = eval(want)
    assert got == want, (got, want)
    want_summary = eval(want_summary)
    assert {k: summary[k] for k in want_summary} == want_summary, summary


def mirror(src, out):
    src, out = os.fsencode(src), os.fsencode(out)
    seen = set()
    for top, _, names in os.walk(src):
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
    for top, _, names in os.walk(out):
        for n in names:
            assert os.path.join(top, n) in seen, n


def folders(src, out):
    for top, _, _ in os.walk(src):
        a, b = os.stat(top), os.stat(os.path.join(out, os.path.relpath(top, src)))
        assert (oct(a.st_mode), a.st_mtime_ns) == (oct(b.st_mode), b.st_mtime_ns), \
            (top, oct(b.st_mode))


def on_terminal(stdin, *argv):
    pid, fd = pty.fork()
    if pid == 0:
        if stdin != "tty":
            os.dup2(os.open(stdin, os.O_RDONLY), 0)
        os.execv(argv[0], argv)
    out = b""
    while True:
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        out += chunk
    print(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]), out.replace(b"\r\n", b"\n"))


{"json": check_json, "mirror": mirror, "folders": folders, "pty": on_terminal}[sys.argv[1]](
    *sys.argv[2:])

# examples/dask/decode_collection.py against `vkt2 x -o`: on one generated collection, the same
# report line for line and the same tree of outputs, bytes, modes and dates; and its branch for
# object stores.
import importlib.util
import os
import subprocess
import sys
from pathlib import Path

import pytest

import vkt2
from test_native import tool

SCRIPT = Path(__file__).resolve().parents[2] / "examples" / "dask" / "decode_collection.py"


def collection(src):
    """Every kind of entry a walk meets, over enough files for several tasks."""
    text = b"".join(b"record %d of the mill's ledger\n" % i for i in range(3000))
    for i in range(40):
        folder = src / f"d{i % 3}" / ("x.BAK" if i % 7 == 0 else "e")
        folder.mkdir(parents=True, exist_ok=True)
        (folder / f"f{i:02}").write_bytes(vkt2.compress(text[i * 50 : i * 50 + 40 * i + 1]))
    sound = vkt2.compress(text[:2000])
    files = {
        "plain.txt": b"not packed", "empty": b"", "VKT": b"VKT", "hdr": b"VKT2\x05",
        "cut": sound[:-30], "unused": sound + b"tail", "long": sound + bytes(70000),
        "past": b"VKT2\xff\xff\0\0" + b"\xff" * 60000, "a.BAK": sound, "b.$$$": sound,
        "sub/n\udcffme": sound, "sub/tab\there": sound, "sub/back\\slash": sound,
        "sub.d": sound, "sub/z": sound,
    }
    for name, data in files.items():
        path = src / name
        path.parent.mkdir(exist_ok=True)
        path.write_bytes(data)
    (src / "sub/z").chmod(0o640)
    os.utime(src / "sub/z", ns=(10**18, 10**18))
    (src / "link").symlink_to("unused")
    (src / "dirlink").symlink_to("d0")
    os.mkfifo(src / "fifo")


def tree(root):
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = Path(folder, name)
            st = path.stat()
            found[str(path.relative_to(root))] = (path.read_bytes(), st.st_mode, st.st_mtime_ns)
    return found


@pytest.mark.parametrize("zero_fill", [False, True], ids=["default", "zero-fill"])
def test_decodes_as_vkt2_x(tmp_path, zero_fill):
    native = tool("vkt2")
    if not SCRIPT.is_file():
        pytest.skip("not run from the source tree")
    collection(tmp_path / "src")
    flags = ["--zero-fill"] if zero_fill else []
    runs = {}
    for name, command in [("native", [native, "x", "--json", *flags, "-o", "out", "../src"]),
                          ("dask", [sys.executable, SCRIPT, "../src", "out", "--batch", "7",
                                    *flags])]:
        (tmp_path / name).mkdir()
        runs[name] = subprocess.run(command, cwd=tmp_path / name, capture_output=True)
    assert runs["dask"].stdout.splitlines() == runs["native"].stdout.splitlines()
    assert runs["dask"].returncode == runs["native"].returncode == 1
    assert tree(tmp_path / "dask/out") == tree(tmp_path / "native/out")
    assert len(tree(tmp_path / "native/out")) > 40  # what the comparison covers


def test_object_store():
    """The branch for stores that are not local files, on fsspec's in-memory one."""
    if not SCRIPT.is_file():
        pytest.skip("not run from the source tree")
    fsspec = pytest.importorskip("fsspec")
    spec = importlib.util.spec_from_file_location("decode_collection", SCRIPT)
    script = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(script)
    fs = fsspec.filesystem("memory")
    sound = vkt2.compress(b"in the bucket " * 100)
    for name, data in {"a": sound, "b.txt": b"plain", "sub/c": sound[:-9], "sub/d.bak": sound,
                       "sub/long": sound + bytes(70000)}.items():
        fs.pipe_file(f"/bucket/in/{name}", data)
    items = [(rel, info["name"], f"mem://in/{rel}", False) for rel, info, settled in
             script.listing(fs, "/bucket/in", "mem://in", fs, "/bucket/out") if settled is None]
    run = [script.decode_batch(fs, fs, "/bucket/out", "mem://out", items, False, False)
           for _ in range(2)]
    assert [(r["path"], r["result"], r.get("bytes_in")) for r in run[0]] == [
        ("mem://in/a", "decoded", len(sound)), ("mem://in/b.txt", "skipped", None),
        ("mem://in/sub/c", "failed", None), ("mem://in/sub/long", "decoded", 65536)]
    assert fs.cat("/bucket/out/a") == fs.cat("/bucket/out/sub/long") == b"in the bucket " * 100
    assert not fs.exists("/bucket/out/sub/c") and not fs.exists("/bucket/out/b.txt")
    assert run[1][0]["error"] == "mem://out/a already exists (-f replaces it)"

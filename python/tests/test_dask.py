# examples/dask/decode_collection.py against `vkt2 x -o`: on one generated collection, the same
# report line for line and the same tree of outputs, bytes, modes and dates.
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

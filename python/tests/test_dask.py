# examples/dask/decode_collection.py against `vkt2 x -o`: on one generated collection, the same
# report line for line and the same tree of outputs, bytes, modes and dates; and its branch for
# object stores.
import os
import runpy
import subprocess
import sys
import types
from pathlib import Path

import pytest

import vkt2
from test_native import tool

for module in ["fsspec", "distributed"]:
    pytest.importorskip(module, reason=f"the dask example needs python3-{module}")

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
        "sub.d": sound, "sub/z": sound, "sub/kelvin.BA\u212a": sound,
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


def both(tmp_path, setup, src, out, *flags):
    """Runs the tool and the script, each in its own copy of what setup makes."""
    native = tool("vkt2")
    if not SCRIPT.is_file():
        pytest.skip("not run from the source tree")
    runs = {}
    for name, command in [("native", [native, "x", "--json", *flags, "-o", out, src]),
                          ("dask", [sys.executable, SCRIPT, src, out, "--batch", "7", *flags])]:
        (tmp_path / name).mkdir()
        setup(tmp_path / name)
        runs[name] = subprocess.run(command, cwd=tmp_path / name, capture_output=True)
    return runs


@pytest.mark.parametrize("zero_fill", [False, True], ids=["default", "zero-fill"])
def test_decodes_as_vkt2_x(tmp_path, zero_fill):
    collection(tmp_path / "src")
    flags = ["--zero-fill"] if zero_fill else []
    runs = both(tmp_path, lambda here: None, "../src", "out", *flags)
    assert runs["dask"].stdout.splitlines() == runs["native"].stdout.splitlines()
    assert runs["dask"].returncode == runs["native"].returncode == 1
    assert tree(tmp_path / "dask/out") == tree(tmp_path / "native/out")
    assert len(tree(tmp_path / "native/out")) > 40  # what the comparison covers


SOUND = vkt2.compress(b"what the input held " * 50)


def hostile(here):
    """An OUT that already holds things: the parent of SRC, so that src/src/x lands on the
    input src/x; a link to a folder elsewhere; the NAME.$$$ a killed run left behind."""
    (here / "elsewhere").mkdir()
    (here / "p/src/src").mkdir(parents=True)
    (here / "p/src/link").mkdir()
    for name in ["x", "src/x", "link/f", "a"]:
        (here / "p/src" / name).write_bytes(SOUND)
    (here / "p/link").symlink_to("../elsewhere")
    (here / "p/a.$$$").write_bytes(b"stale")
    for name in ["src/x", "src/src/x", "src/link/f", "src/a", "a.$$$"]:
        os.utime(here / "p" / name, ns=(10**18, 10**18))  # the same in both copies


@pytest.mark.parametrize("src, out", [("p/src", "p"), ("p/src", "./p/src/"), ("p/src/a", "p/src"),
                                      ("p/src", "p/src/a")],
                         ids=["overlapping", "out-is-src", "out-holds-src", "out-is-a-file"])
def test_never_writes_over_an_input(tmp_path, src, out):
    runs = both(tmp_path, hostile, src, out, "-f")
    assert runs["dask"].stdout.splitlines() == runs["native"].stdout.splitlines()
    assert runs["dask"].returncode == runs["native"].returncode
    assert tree(tmp_path / "dask") == tree(tmp_path / "native")
    for name in ["x", "src/x", "a"]:
        assert (tmp_path / "dask/p/src" / name).read_bytes() == SOUND
    assert not os.listdir(tmp_path / "dask/elsewhere")


def load_script():
    if not SCRIPT.is_file():
        pytest.skip("not run from the source tree")
    return types.SimpleNamespace(**runpy.run_path(str(SCRIPT), run_name="decode_collection"))


def test_folder_swapped_for_a_link_meanwhile(tmp_path):
    """A folder of SRC made a link to another tree after the listing: nothing there is read."""
    script = load_script()
    fs = script.LocalFileSystem()
    for name in ["src/d/f", "secret/d/f"]:
        (tmp_path / name).parent.mkdir(parents=True)
        (tmp_path / name).write_bytes(SOUND)
    (tmp_path / "out").mkdir()
    items = [(rel, info["name"], rel, False) for rel, info, settled in
             script.listing(fs, str(tmp_path / "src"), "src", fs, str(tmp_path / "out"))]
    os.rename(tmp_path / "src/d", tmp_path / "d.old")
    (tmp_path / "src/d").symlink_to(tmp_path / "secret/d")
    [r] = script.decode_batch(fs, fs, str(tmp_path / "out"), "out", items, False, False)
    assert (r["result"], r.get("error")) == ("failed",
                                             "cannot open: Too many levels of symbolic links")
    assert not (tmp_path / "out/d").exists()


def test_folder_that_cannot_be_listed(tmp_path):
    """Worded as the tool words a folder without read permission (the tests may run as root)."""
    script = load_script()

    class Locked(script.LocalFileSystem):
        def ls(self, path, detail=False, **kwargs):
            if path.endswith("/locked"):
                raise PermissionError(13, "Permission denied")
            return super().ls(path, detail=detail, **kwargs)

    (tmp_path / "src/locked").mkdir(parents=True)
    fs = Locked()
    [(rel, _, r)] = script.listing(fs, str(tmp_path / "src"), "src", fs, str(tmp_path / "out"))
    assert (r["path"], r["error"]) == ("src/locked", "cannot read the folder: Permission denied")


def test_input_linked_into_out_meanwhile(tmp_path):
    """An input given a second name under OUT after the listing is still never replaced."""
    script = load_script()
    fs = script.LocalFileSystem()
    (tmp_path / "out").mkdir()
    (tmp_path / "in").write_bytes(SOUND)
    os.link(tmp_path / "in", tmp_path / "out/in")
    [r] = script.decode_batch(fs, fs, str(tmp_path / "out"), "out",
                              [("in", str(tmp_path / "in"), "in", True)], False, True)
    assert r["error"] == "out/in is the input itself"
    assert (tmp_path / "in").read_bytes() == SOUND


def test_object_store():
    """The branch for stores that are not local files, on fsspec's in-memory one."""
    fsspec = pytest.importorskip("fsspec")
    script = load_script()
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

# The package against the native tools on the same bytes: compress must write vkt2c's file, and
# test must word its verdicts as `vkt2 t` does. The tools come from VKT2_NATIVE_DIR (default:
# the source tree's build/); without them these rows are skipped.
import os
import random
import subprocess
from pathlib import Path

import pytest

import vkt2
from test_api import VERDICTS

NATIVE = Path(os.environ.get("VKT2_NATIVE_DIR", Path(__file__).resolve().parents[2] / "build"))


def tool(name):
    path = NATIVE / name
    if not os.access(path, os.X_OK):
        pytest.skip(f"no native {name} in {NATIVE}: build it (cmake -S .. -B ../build && cmake "
                    f"--build ../build --target vkt2_tool vkt2c) or set VKT2_NATIVE_DIR")
    return path


def inputs():
    rng = random.Random(20)
    text = b"".join(b"line %d of the old program's data\n" % rng.randrange(99) for _ in range(3000))
    return {
        "empty": b"", "one": b"a", "run 18": b"a" * 18, "run 19": b"a" * 19,
        "zeros": bytes(65535), "text": text[:65535], "short text": text[:1000],
        "period 4096": bytes(rng.randrange(256) for _ in range(4096)) * 3,
        "period 4097": bytes(rng.randrange(256) for _ in range(4097)) * 3,
        "all bytes": bytes(range(256)) * 100, "noise": rng.randbytes(5000),
        "too large": bytes(65536), "does not fit": rng.randbytes(65535),
    }


def test_compress_writes_vkt2cs_bytes(tmp_path):
    vkt2c = tool("vkt2c")
    for name, data in inputs().items():
        path = tmp_path / "file"
        path.write_bytes(data)
        ran = subprocess.run([vkt2c, path], capture_output=True)
        try:
            ours = vkt2.compress(data)
        except vkt2.TooLargeError:
            assert ran.returncode != 0, name
        else:
            assert ran.returncode == 0 and path.read_bytes() == ours, name
        path.with_suffix(".BAK").unlink(missing_ok=True)


def test_verdict_words_are_vkt2_ts(tmp_path):
    rng = random.Random(7)
    files = [row[0] for row in VERDICTS]
    for _ in range(40):  # real files cut short or with a byte changed
        file = bytearray(vkt2.compress(rng.randbytes(rng.randrange(1, 300)) * rng.randrange(1, 4)))
        file[rng.randrange(8, len(file))] = rng.randrange(256)
        files.append(bytes(file[: rng.randrange(len(file) + 1)]))
    expected = []
    for i, file in enumerate(files):
        (tmp_path / f"f{i:02}").write_bytes(file)
        v = vkt2.test(file)
        expected += [f"vkt2: f{i:02}: {v.reason}"] if v.reason else []
        expected += [f"vkt2: f{i:02}: warning: {w}" for w in v.warnings]
    ran = subprocess.run([tool("vkt2"), "t", "-j", "1", "--", *sorted(os.listdir(tmp_path))],
                         cwd=tmp_path, capture_output=True, text=True)
    said = [line for line in ran.stderr.splitlines() if line.startswith("vkt2: f")]
    assert said == expected
    assert ran.returncode == (1 if any(not vkt2.test(f).ok for f in files) else 0)

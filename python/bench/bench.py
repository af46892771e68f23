"""The Python package's two speed figures, in one run, on 64 KiB compressible inputs:
vkt2.decompress against the C library's vkt2_decompress called from C on the same bytes, and
vkt2.compress from two threads against one, beside the same two from C, since other load on
the machine caps both. Prints figures; asserts nothing.

Usage: python3 bench/bench.py [ROUNDS]  (with the vkt2 package installed; needs cc and c++)
"""

import random
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

import vkt2

here = Path(__file__).resolve().parent
core = here.parent.parent / "core"


def sample(seed: int) -> bytes:
    # Text-like: words from a small vocabulary, so references and literals mix as in real files.
    rng = random.Random(seed)
    words = ["".join(rng.choice("abcdefghijklmnop") for _ in range(rng.randint(2, 9)))
             for _ in range(400)]
    text = " ".join(rng.choice(words) for _ in range(20000)).encode()
    return text[: vkt2.MAX_ORIGINAL_SIZE]


def build_c(folder: Path) -> Path:
    # Compiled as setup.py compiles the extension: -O2, the library's sources alongside.
    objects = []
    for source in sorted(core.glob("*.cpp")):
        obj = folder / (source.stem + ".o")
        subprocess.run(["c++", "-std=c++20", "-O2", "-fPIC", "-I", core / "include", "-c",
                        source, "-o", obj], check=True)
        objects.append(obj)
    program = folder / "decode_c"
    subprocess.run(["cc", "-O2", "-I", core / "include", "-c", here / "decode_c.c", "-o",
                    folder / "decode_c.o"], check=True)
    subprocess.run(["c++", "-pthread", folder / "decode_c.o", *objects, "-o", program],
                   check=True)
    return program


def best_per_call(fn, calls: int, rounds: int) -> float:
    best = float("inf")
    for _ in range(rounds):
        start = time.perf_counter_ns()
        for _ in range(calls):
            fn()
        best = min(best, (time.perf_counter_ns() - start) / calls)
    return best


def decompress_ratio(program: Path, folder: Path, rounds: int) -> None:
    packed = vkt2.compress(sample(1))
    path = folder / "sample.vkt2"
    path.write_bytes(packed)
    c_ns = float(subprocess.run([program, path, str(rounds)], check=True, capture_output=True,
                                text=True).stdout)
    py_ns = best_per_call(lambda: vkt2.decompress(packed), 50, rounds)
    fill_ns = best_per_call(lambda: vkt2.decompress(packed, zero_fill=True), 50, rounds)
    print(f"decompress, {len(packed)}-byte file to {vkt2.MAX_ORIGINAL_SIZE} bytes: "
          f"C {c_ns / 1000:.1f} us, Python {py_ns / 1000:.1f} us ({py_ns / c_ns:.2f}x), "
          f"zero_fill=True {fill_ns / 1000:.1f} us ({fill_ns / c_ns:.2f}x)")


def compress_scaling(program: Path, folder: Path, rounds: int) -> None:
    data = sample(2)
    path = folder / "sample"
    path.write_bytes(data)
    calls = 10

    def work():
        for _ in range(calls):
            vkt2.compress(data)

    def python_rate(threads: int) -> float:
        best = 0.0
        for _ in range(rounds):
            pool = [threading.Thread(target=work) for _ in range(threads)]
            start = time.perf_counter()
            for t in pool:
                t.start()
            for t in pool:
                t.join()
            best = max(best, threads * calls * len(data) / (time.perf_counter() - start))
        return best

    def c_rate(threads: int) -> float:
        return float(subprocess.run([program, path, str(rounds), str(threads)], check=True,
                                    capture_output=True, text=True).stdout)

    one, two, c_one, c_two = python_rate(1), python_rate(2), c_rate(1), c_rate(2)
    print(f"compress, {len(data)}-byte inputs: Python one thread {one / 1e6:.1f} MB/s, two "
          f"{two / 1e6:.1f} MB/s ({two / one:.2f}x); the same from C: {c_one / 1e6:.1f} and "
          f"{c_two / 1e6:.1f} MB/s ({c_two / c_one:.2f}x, what the machine allows now)")


def main() -> None:
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 30
    with tempfile.TemporaryDirectory() as name:
        folder = Path(name)
        program = build_c(folder)
        decompress_ratio(program, folder, rounds)
        compress_scaling(program, folder, rounds)


if __name__ == "__main__":
    main()

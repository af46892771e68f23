# The package's calls on each kind of file the tester tells apart, each buffer type, and with
# the GIL: what callers see, codes and words included.
import array
import inspect
import mmap
import re
import sys
import threading
import time
from pathlib import Path

import numpy
import pytest

import vkt2

DATA = b"the mill wheel turned, " * 40
SOUND = vkt2.compress(DATA)
PAST_LIMIT = b"VKT2\xff\xff\0\0" + b"\xff" * 60000  # literals, then zeros as references: too long
LONG = SOUND + bytes(70000 - len(SOUND))
LITERALS = vkt2.compress(b"abcdefgh")  # one flag byte, eight literals
NOISE = numpy.random.default_rng(7).bytes(65535)
TEXT = b"".join(b"%d lines of text, " % i for i in range(5000))[:65535]

CUT = "cut short: the file ends before its stream does; the last %d of its 8 decoded bytes " \
      "are missing"
# file, error code, reason, warnings, bytes_missing, bytes_unused, bytes_ignored
VERDICTS = [
    (SOUND, 0, "", (), 0, 0, 0),
    (b"VKT2\0\0\0\0", 0, "", (), 0, 0, 0),
    (SOUND + b"xyz", 0, "", ("3 unused bytes after the end of the stream",), 0, 3, 0),
    (LONG, 0, "", ("longer than 65,536 bytes; the rest is never read",
                   f"{65536 - len(SOUND)} unused bytes after the end of the stream"),
     0, 65536 - len(SOUND), 70000 - 65536),
    (b"", 1, "not a VKT2 file", (), 0, 0, 0),
    (b"VKT3" + SOUND[4:], 1, "not a VKT2 file", (), 0, 0, 0),
    (b"VKT2\x05", 7, "cut short: the file ends inside its 8-byte header", (), 0, 0, 0),
    (LITERALS[:-3], 8, CUT % 3, (), 3, 0, 0),
    (LITERALS[:8], 8, CUT % 8, (), 8, 0, 0),
    (PAST_LIMIT, 2, "the stream needs bytes past the first 65,536; it cannot be decoded",
     (), 0, 0, 0),
    # The bytes it needs are there, past the 65,536 that count.
    (PAST_LIMIT + b"\xff" * 20000, 2,
     "the stream needs bytes past the first 65,536; it cannot be decoded", (), 0, 0, 0),
]
CLASSES = {1: vkt2.NotVkt2Error, 2: vkt2.StreamPastLimitError, 3: vkt2.TooLargeError,
           4: vkt2.BufferTooSmallError, 5: vkt2.NoMemoryError, 6: vkt2.InvalidArgumentError,
           7: vkt2.HeaderCutShortError, 8: vkt2.CutShortError}


@pytest.mark.parametrize("file, code, reason, warnings, missing, unused, ignored", VERDICTS,
                         ids=["sound", "empty", "unused", "long", "nothing", "not-vkt2",
                              "header-cut", "cut-3", "cut-7", "past-limit", "past-limit-long"])
def test_verdict_and_decompress(file, code, reason, warnings, missing, unused, ignored):
    v = vkt2.test(file)
    grade = vkt2.Grade.FAIL if code else vkt2.Grade.WARN if warnings else vkt2.Grade.PASS
    assert (v.verdict, v.error, v.reason, v.warnings, v.ok) == (grade, code, reason, warnings,
                                                                 not code)
    assert (v.file_size, v.bytes_missing, v.bytes_unused, v.bytes_ignored) == (
        len(file), missing, unused, ignored)
    with pytest.raises(AttributeError):
        v.reason = "changed"
    assert v.decoded_size == (0 if code == 1 else vkt2.decoded_size(file))
    if code in (0, 7, 8):
        # Past its end a file reads as zeros: padding it by hand must decode the same.
        padded = file[:65536] + bytes(v.stream_used + 8)
        assert vkt2.decompress(file, zero_fill=True) == vkt2.decompress(padded)
        assert vkt2.test(padded).ok
    if code == 0:
        assert v.stream_used == min(len(file), 65536) - 8 - unused
        assert vkt2.decompress(file) == (DATA if file.startswith(SOUND) else b"")
        return
    for zero_fill in (False, True) if code in (1, 2) else (False,):
        with pytest.raises(CLASSES[code], match=f"^{re.escape(reason)}$") as raised:
            vkt2.decompress(file, zero_fill=zero_fill)
        assert raised.value.code == code


def test_error_classes():
    for code, cls in CLASSES.items():
        assert issubclass(cls, vkt2.Error) and cls.code == code and cls.__module__ == "vkt2"
        assert getattr(vkt2, cls.__name__) is cls
    assert issubclass(vkt2.NoMemoryError, MemoryError)
    assert issubclass(vkt2.InvalidArgumentError, ValueError)
    with pytest.raises(vkt2.NotVkt2Error):
        vkt2.decoded_size(b"VKT")


def test_keywords_as_documented():
    cut = LITERALS[:-3]
    assert vkt2.decompress(data=SOUND) == DATA
    assert vkt2.decompress(data=cut, zero_fill=True) == vkt2.decompress(cut, zero_fill=True)
    assert vkt2.compress(data=DATA) == SOUND
    assert vkt2.decoded_size(data=SOUND) == len(DATA)
    assert vkt2.test(data=cut).error == 8
    for call in (vkt2.compress, vkt2.decoded_size, vkt2.decompress):
        name = call.__name__
        assert str(inspect.signature(call)) == ("(data, *, zero_fill=False)"
                                                if name == "decompress" else "(data)")
        for args, kwargs in [((), {}), ((SOUND, SOUND), {}), ((), {"file": SOUND}),
                             ((SOUND,), {"data": SOUND})]:
            with pytest.raises(TypeError):
                call(*args, **kwargs)
    with pytest.raises(TypeError):
        vkt2.decompress(SOUND, True)  # zero_fill is a keyword alone
    # Raised or not, every Error has its code: 0 when the library did not raise it.
    assert vkt2.Error("by hand").code == 0 and vkt2.CutShortError("by hand").code == 8


def test_sizes_and_limits():
    assert vkt2.decoded_size(b"VKT2\x34\x12") == 0x1234
    assert vkt2.decoded_size(b"VKT2\x34") == 0x34
    assert vkt2.decompress(vkt2.compress(b"")) == b""
    full = bytes(range(256)) * 255 + bytes(255)
    assert len(full) == 65535 and vkt2.decompress(vkt2.compress(full)) == full
    with pytest.raises(vkt2.TooLargeError, match="at most 65,535") as raised:
        vkt2.compress(bytes(65536))
    assert raised.value.code == 3
    with pytest.raises(vkt2.TooLargeError, match="does not fit in 65,536 bytes"):
        vkt2.compress(NOISE)
    # The most random bytes that always fit: every one a literal, a flag bit each.
    fits = vkt2.compress(NOISE[:58247])
    assert len(fits) <= 65536 and vkt2.decompress(fits) == NOISE[:58247]


def test_version_is_the_librarys():
    header = Path(__file__).resolve().parents[2] / "core/include/vkt2/vkt2.h"
    if not header.is_file():
        pytest.skip("not run from the source tree")
    stated = re.search(r'VKT2_VERSION_STRING "(.*)"', header.read_text())[1]
    assert vkt2.__version__ == stated


def buffers(data, tmp_path):
    """Each buffer type holding `data`, but the 16-bit array, which holds it padded."""
    path = tmp_path / "data"
    path.write_bytes(data)
    with path.open("rb") as f:
        mapped = mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ)
    padded = bytearray(b"--" + data + b"--")
    even = data + bytes(len(data) % 2)
    return [(bytearray(data), data), (memoryview(data), data), (memoryview(padded)[2:-2], data),
            (array.array("B", data), data), (numpy.frombuffer(data, dtype=numpy.uint8), data),
            (numpy.frombuffer(even, dtype="<u2"), even), (mapped, data)]


@pytest.mark.parametrize("data", [DATA, SOUND, LITERALS[:-3]], ids=["data", "sound", "cut"])
def test_every_buffer_type(data, tmp_path):
    calls = [vkt2.test, vkt2.compress] if data is DATA else [
        vkt2.test, vkt2.decoded_size, lambda b: vkt2.decompress(b, zero_fill=True)]
    calls += [vkt2.decompress] if data is SOUND else []
    for call in calls:
        for buffer, same in buffers(data, tmp_path):
            assert call(buffer) == call(same)
            if isinstance(buffer, bytearray):
                buffer.extend(b"x")  # fails while the call still holds the buffer
    with pytest.raises(vkt2.CutShortError):
        vkt2.decompress(numpy.frombuffer(LITERALS[:-3], dtype=numpy.uint8))
    for bad in ["text", memoryview(SOUND)[::2], 5]:
        with pytest.raises((TypeError, BufferError, ValueError)):
            vkt2.decompress(bad)


# Inputs that keep each call busiest: literals are the slowest to decode and to walk.
@pytest.mark.parametrize("call, data", [(vkt2.compress, TEXT),
                                        (vkt2.decompress, vkt2.compress(NOISE[:58000])),
                                        (vkt2.test, vkt2.compress(NOISE[:58000]))],
                         ids=["compress", "decompress", "test"])
def test_gil_released(call, data):
    """Another thread runs Python code while a call is under way."""
    count, stop = [0], threading.Event()

    def count_up():
        while not stop.is_set():
            count[0] += 1
            time.sleep(0)  # gives the GIL back at once, so no forced switch is ever due

    old = sys.getswitchinterval()
    sys.setswitchinterval(10.0)  # holding the GIL, a call would keep it throughout
    thread = threading.Thread(target=count_up)
    thread.start()
    try:
        for _ in range(2000):  # the other thread must wake within one call: allow retries
            before = count[0]
            call(data)
            if count[0] != before:
                break
        moved = count[0] != before
    finally:
        stop.set()
        thread.join()
        sys.setswitchinterval(old)
    assert moved


def test_threads_at_once_get_what_one_gets():
    inputs = [TEXT[i * 997 :] for i in range(8)]
    expected = [vkt2.compress(data) for data in inputs]
    got = {}

    def work(i):
        for _ in range(3):
            packed = vkt2.compress(inputs[i])
            got[i] = packed == expected[i] and vkt2.decompress(packed) == inputs[i]

    threads = [threading.Thread(target=work, args=(i,)) for i in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert got == {i: True for i in range(8)}

# decompress on a buffer that a native thread rewrites all the while, as another extension with
# the GIL released or another process through a shared mapping may: every call must give what
# one of the buffer's states gives, or that state's documented error.
import ctypes
import shutil
import subprocess
import sysconfig

import pytest

import vkt2

WRITER = r"""
#include <pthread.h>
#include <stdatomic.h>
static volatile unsigned char* at;
static unsigned char one, two;
static atomic_int stop;
static pthread_t thread;
static void* run(void* unused) {
    (void)unused;
    /* Each value held for a spell of stores, so a reader does not always meet the same one. */
    for (unsigned n = 0; !atomic_load_explicit(&stop, memory_order_relaxed); ++n)
        *at = (n >> 8) & 1 ? two : one;
    return 0;
}
int start(unsigned char* p, unsigned char a, unsigned char b) {
    at = p; one = a; two = b; atomic_store(&stop, 0);
    return pthread_create(&thread, 0, run, 0);
}
void finish(void) { atomic_store(&stop, 1); pthread_join(thread, 0); }
"""


@pytest.fixture(scope="module")
def writer(tmp_path_factory):
    cc = (sysconfig.get_config_var("CC") or "cc").split()[0]
    if not shutil.which(cc):
        pytest.skip(f"no C compiler ({cc}) for the writer thread")
    folder = tmp_path_factory.mktemp("writer")
    (folder / "writer.c").write_text(WRITER)
    subprocess.run([cc, "-O2", "-shared", "-fPIC", "-pthread", folder / "writer.c", "-o",
                    folder / "writer.so"], check=True)
    return ctypes.CDLL(str(folder / "writer.so"))


def outcome(call):
    try:
        return call()
    except vkt2.Error as e:
        return type(e), e.code, str(e)


def race(writer, data, at, one, two, call):
    """Calls `call` on `data` while the writer flips byte `at` between `one` and `two`: every
    call must give what one of the two states gives, and both states must come often."""
    states = [bytearray(data), bytearray(data)]
    states[0][at], states[1][at] = one, two
    legitimate = [outcome(lambda: call(bytes(s))) for s in states]
    assert legitimate[0] != legitimate[1]
    buffer = bytearray(data)
    view = (ctypes.c_ubyte * len(buffer)).from_buffer(buffer)  # holds the buffer in place
    seen = [0, 0]
    assert writer.start(ctypes.c_void_p(ctypes.addressof(view) + at), one, two) == 0
    try:
        # Until both states have come often: on a busy machine the writer may wait its turn.
        for _ in range(1_000_000):
            got = outcome(lambda: call(buffer))
            assert got in legitimate
            seen[legitimate.index(got)] += 1
            if min(seen) >= 500:
                break
    finally:
        writer.finish()
    assert min(seen) >= 500, seen


# decompress: a stream of 3,000 bytes' worth against a header stating more (cut short) or less
# (bytes unused).
DATA = b"".join(b"%d: the mill wheel turned; " % i for i in range(200))[:3000]
FILE = vkt2.compress(DATA)
FLIPS = {"grows": (5, 0x0B, 0x1B), "shrinks": (5, 0x0B, 0x02)}


@pytest.mark.parametrize("flip", FLIPS.values(), ids=FLIPS.keys())
@pytest.mark.parametrize("zero_fill", [False, True])
def test_rewritten_during_the_call(writer, flip, zero_fill):
    race(writer, FILE, *flip, lambda b: vkt2.decompress(b, zero_fill=zero_fill))


# compress: the flipped byte is a literal early on and is matched again later, so an encoder that
# matched against one state and copied literals from the other would give a file that decodes to
# neither.
PART = b"the mill wheel turned " * 4
TEXT = PART + b"?" + PART + b" and the race went on; " + PART + b"?" + PART


def test_compress_rewritten_during_the_call(writer):
    race(writer, TEXT, len(PART), ord("!"), ord("?"), vkt2.compress)

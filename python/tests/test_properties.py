# Properties over generated inputs: round trips, and what decompress does with any bytes at all.
from hypothesis import given, settings
from hypothesis import strategies as st

import vkt2

@st.composite
def files(draw):
    """Noise, noise after "VKT2", and real files cut, extended or with a byte changed: near-valid
    files reach more of the decoder than noise does."""
    kind = draw(st.sampled_from(["noise", "magic", "cut", "changed"]))
    if kind in ("noise", "magic"):
        return (b"VKT2" if kind == "magic" else b"") + draw(st.binary(max_size=300))
    file = vkt2.compress(draw(st.binary(min_size=1, max_size=2000)))
    if kind == "cut":
        return file[: draw(st.integers(0, len(file)))] + draw(st.binary(max_size=20))
    at = draw(st.integers(8, len(file) - 1))
    return file[:at] + bytes([draw(st.integers(0, 255))]) + file[at + 1 :]


@settings(deadline=None)  # a busy machine is no failure
@given(st.binary(max_size=65535) | st.binary(max_size=64).map(lambda b: b * 1000))
def test_round_trip(data):
    data = data[:65535]
    try:
        packed = vkt2.compress(data)
    except vkt2.TooLargeError:
        assert 8 + len(data) + (len(data) + 7) // 8 > 65536  # only past all-literal size
        return
    assert vkt2.decompress(packed) == data
    assert vkt2.test(packed).verdict is vkt2.Grade.PASS
    assert vkt2.decoded_size(packed) == len(data)


@settings(max_examples=400, deadline=None)
@given(files())
def test_decompress_agrees_with_the_verdict(file):
    v = vkt2.test(file)
    try:
        out = vkt2.decompress(file)
    except vkt2.Error as e:
        assert not v.ok and e.code == v.error and str(e) == v.reason
    else:
        assert v.ok and len(out) == v.decoded_size
        assert out == vkt2.decompress(file, zero_fill=True)
    try:
        filled = vkt2.decompress(file, zero_fill=True)
    except vkt2.Error as e:
        assert e.code == v.error and e.code in (1, 2)
    else:
        assert len(filled) == v.decoded_size and v.error not in (1, 2)

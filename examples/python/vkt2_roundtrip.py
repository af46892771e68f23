# Compresses bytes into a VKT2 file image and back through libvkt2's C interface, with ctypes.
# Usage: python3 vkt2_roundtrip.py [PATH_TO_LIBVKT2]; without it, the installed library is found
import ctypes, ctypes.util, sys
path = sys.argv[1] if len(sys.argv) > 1 else ctypes.util.find_library("vkt2")
if path is None:  # CDLL(None) would load this very process and fail further on
    sys.exit("libvkt2 not found: install libvkt2-1 or give the library's path")
lib = ctypes.CDLL(path)
size_t, ptr = ctypes.c_size_t, ctypes.c_void_p
lib.vkt2_compress.argtypes = [ptr, size_t, ptr, size_t, ctypes.POINTER(size_t)]
lib.vkt2_decompress.argtypes = lib.vkt2_compress.argtypes
lib.vkt2_error_name.restype = ctypes.c_char_p
data = b"the mill wheel turned, " * 40
packed, packed_size = ctypes.create_string_buffer(65536), size_t()
rc = lib.vkt2_compress(data, len(data), packed, len(packed), packed_size)
assert rc == 0, lib.vkt2_error_name(rc)
out, out_size = ctypes.create_string_buffer(65535), size_t()
rc = lib.vkt2_decompress(packed, packed_size.value, out, len(out), out_size)
assert rc == 0 and out.raw[:out_size.value] == data, lib.vkt2_error_name(rc)
print(f"{len(data)} bytes -> {packed_size.value}-byte VKT2 file -> {out_size.value} bytes")

// VKT2 for JavaScript: the native library compiled to WebAssembly, behind a synchronous API
// over Uint8Array. The module is embedded, so this loads with no fetch in Node and browsers.
import createCore from './vkt2-core.js';
import { failureWords, warningWords } from './verdict.js';

const core = await createCore();

/** The library's error codes. */
export const codes = Object.freeze({
  OK: 0, NOT_VKT2: 1, STREAM_PAST_LIMIT: 2, TOO_LARGE: 3, DST_TOO_SMALL: 4, NO_MEMORY: 5,
  INVALID_ARGUMENT: 6, HEADER_CUT_SHORT: 7, CUT_SHORT: 8,
});
const codeNames = Object.fromEntries(Object.entries(codes).map(([k, v]) => [v, k]));

export const MAX_ORIGINAL_SIZE = 65535;
export const MAX_FILE_SIZE = 65536;
export const version = core.UTF8ToString(core._vkt2_version_string());

/** Every failure of this package: `code` is the library's code, `codeName` its name in `codes`. */
export class Vkt2Error extends Error {
  constructor(code, message) {
    super(message ?? core.UTF8ToString(core._vkt2_error_name(code)));
    this.name = 'Vkt2Error';
    this.code = code;
    this.codeName = codeNames[code] ?? 'UNKNOWN';
  }
}

function bytesOf(data) {
  if (data instanceof Uint8Array) return data;
  if (ArrayBuffer.isView(data)) return new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
  if (data instanceof ArrayBuffer) return new Uint8Array(data);
  throw new TypeError('expected a Uint8Array, an ArrayBuffer or a typed array');
}

// Runs fn(srcPtr, srcSize, scratchPtr) with the input copied into the module's memory and
// a scratch block after it, freeing both whatever happens.
function withInput(data, scratch, fn) {
  const src = bytesOf(data);
  const ptr = core._malloc(src.length + 8 + scratch);
  if (!ptr) throw new Vkt2Error(codes.NO_MEMORY);
  try {
    core.HEAPU8.set(src, ptr);
    return fn(ptr, src.length, (ptr + src.length + 7) & ~7);
  } finally {
    core._free(ptr);
  }
}

function call(code) {
  if (code !== 0) throw new Vkt2Error(code);
}

function readVerdict(p) {
  const u = core.HEAPU32.subarray(p >> 2, (p >> 2) + 8);
  const v = {
    verdict: ['pass', 'warn', 'fail'][u[0]], code: u[1], codeName: codeNames[u[1]],
    fileSize: u[2], decodedSize: u[3], streamUsed: u[4], bytesMissing: u[5], bytesUnused: u[6],
    bytesIgnored: u[7],
  };
  v.failure = failureWords(v);
  v.warnings = warningWords(v);
  return v;
}

/** Tests a file the way `vkt2 t` does; never throws for bad data. */
export function test(data) {
  return withInput(data, 40, (src, n, out) => {
    core._vkt2_test(src, n, out);
    return readVerdict(out);
  });
}

/** The decoded size the header states; throws Vkt2Error(NOT_VKT2) for other data. */
export function decodedSize(data) {
  return withInput(data, 8, (src, n, out) => {
    call(core._vkt2_decoded_size(src, n, out));
    return core.HEAPU32[out >> 2];
  });
}

/**
 * Decodes a VKT2 file. By default a file whose test fails (cut short, not VKT2, ...) is refused
 * with that failure's code and words; with `zeroFill: true` a file cut short decodes as the
 * loader and `vkt2x` read it, with zeros past its end.
 */
export function decompress(data, options = {}) {
  const src = bytesOf(data);
  if (!options.zeroFill) {
    const v = test(src);
    if (v.code !== 0) throw new Vkt2Error(v.code, v.failure);
  }
  return withInput(src, MAX_FILE_SIZE + 4, (p, n, out) => {
    const sizePtr = out + MAX_FILE_SIZE;
    call(core._vkt2_decompress(p, n, out, MAX_ORIGINAL_SIZE, sizePtr));
    const size = core.HEAPU32[sizePtr >> 2];
    return core.HEAPU8.slice(out, out + size);
  });
}

/** Compresses up to 65,535 bytes into a whole VKT2 file, byte for byte as `vkt2c` writes it. */
export function compress(data) {
  const src = bytesOf(data);
  if (src.length > MAX_ORIGINAL_SIZE) throw new Vkt2Error(codes.TOO_LARGE);
  const bound = core._vkt2_compress_bound(src.length);
  return withInput(src, bound + 8, (p, n, out) => {
    const sizePtr = (out + bound + 3) & ~3;
    call(core._vkt2_compress(p, n, out, bound, sizePtr));
    const size = core.HEAPU32[sizePtr >> 2];
    return core.HEAPU8.slice(out, out + size);
  });
}

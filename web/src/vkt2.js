// VKT2 for JavaScript: the native library compiled to WebAssembly, behind a synchronous API
// over Uint8Array. The module is embedded, so this loads with no fetch in Node and browsers.
import createCore from './vkt2-core.js';
import {
  codes,
  MAX_FILE_SIZE,
  MAX_ORIGINAL_SIZE,
  verdictFields,
  ZERO_FILL,
} from './vkt2-header.js';

const core = await createCore();

/** The library's error codes, and its limits: as vkt2.h states them. */
export { codes, MAX_FILE_SIZE, MAX_ORIGINAL_SIZE };
const codeNames = Object.fromEntries(Object.entries(codes).map(([k, v]) => [v, k]));

export const version = core.UTF8ToString(core._vkt2_version_string());

/** Every failure of this package: `code` is the library's code, `codeName` its name in `codes`. */
export class Vkt2Error extends Error {
  constructor(code, message) {
    super(message ?? describe(code));
    this.name = 'Vkt2Error';
    this.code = code;
    this.codeName = codeNames[code] ?? 'UNKNOWN';
  }
}

// The library's words for a failure code; code 0 is no failure, so it gets none of its words.
function describe(code) {
  if (!Number.isInteger(code) || !codeNames[code]) return `unknown error code ${code}`;
  if (code === codes.OK) return 'no error (code 0, OK)';
  return core.UTF8ToString(core._vkt2_error_name(code));
}

// The engine's own accessors, so that an object cannot lie about its size through an own
// `length` or `byteLength` and make a copy run past the work area.
const accessor = (proto, key) => Object.getOwnPropertyDescriptor(proto, key).get;
const viewAccessors = [Object.getPrototypeOf(Uint8Array.prototype), DataView.prototype].map(
  (proto) => ['buffer', 'byteOffset', 'byteLength'].map((key) => accessor(proto, key)),
);
const bufferLengths = [ArrayBuffer, globalThis.SharedArrayBuffer]
  .filter(Boolean)
  .map((B) => accessor(B.prototype, 'byteLength'));

// A fresh Uint8Array over exactly the bytes `data` holds; its length is the real byte length.
function bytesOf(data) {
  for (const getters of viewAccessors) {
    try {
      const [buffer, offset, length] = getters.map((get) => Reflect.apply(get, data, []));
      return new Uint8Array(buffer, offset, length);
    } catch {
      // Not this kind of view.
    }
  }
  for (const length of bufferLengths) {
    try {
      Reflect.apply(length, data, []);
      return new Uint8Array(data);
    } catch {
      // Not this kind of buffer.
    }
  }
  throw new Vkt2Error(
    codes.INVALID_ARGUMENT,
    'expected a Uint8Array, an ArrayBuffer, a typed array or a DataView',
  );
}

// One work area for every call: input, output, results and words. The library reads only the
// first 65,536 bytes of a file and JavaScript runs one call at a time, so nothing else is needed.
const IN = core._malloc(MAX_FILE_SIZE);
const OUT = core._malloc(MAX_FILE_SIZE);
const MISC = core._malloc(4 * verdictFields.length);
const TEXT_SIZE = 512;
const TEXT = core._malloc(TEXT_SIZE);
if (!IN || !OUT || !MISC || !TEXT)
  throw new Vkt2Error(codes.NO_MEMORY, 'vkt2: could not allocate its work area');

// Copies the bytes that count into the work area; returns how many.
function load(src) {
  const n = Math.min(src.length, MAX_FILE_SIZE);
  core.HEAPU8.set(src.subarray(0, n), IN);
  return n;
}

function call(code) {
  if (code !== 0) throw new Vkt2Error(code);
}

// The library's verdict on the file whose first bytes are loaded and whose length is `size`,
// and its words for it, as `vkt2 t` prints them.
function verdictOf(size) {
  const words = core.HEAPU32.subarray(MISC >> 2, (MISC >> 2) + verdictFields.length);
  words.fill(0);
  words[0] = 4 * verdictFields.length;
  core._vkt2_test(IN, size, MISC);
  const field = (name) => core.HEAPU32[(MISC >> 2) + verdictFields.indexOf(name)];
  core._vkt2_verdict_text(MISC, TEXT, TEXT_SIZE);
  const text = core.UTF8ToString(TEXT);
  const code = field('error');
  return {
    verdict: ['pass', 'warn', 'fail'][field('verdict')],
    code,
    codeName: codeNames[code],
    fileSize: size,
    decodedSize: field('decoded_size'),
    streamUsed: field('stream_used'),
    bytesMissing: field('bytes_missing'),
    bytesUnused: field('bytes_unused'),
    bytesIgnored: field('bytes_ignored'),
    failure: code !== 0 ? text : null,
    warnings: code === 0 && text ? text.split('\n') : [],
  };
}

/** Tests a file the way `vkt2 t` does; never throws for bad data. */
export function test(data) {
  const src = bytesOf(data);
  load(src);
  // The library reads only the bytes loaded; the length tells it what lies past them.
  return verdictOf(src.length);
}

/** The decoded size the header states; throws Vkt2Error(NOT_VKT2) for other data. */
export function decodedSize(data) {
  call(core._vkt2_decoded_size(IN, load(bytesOf(data)), MISC));
  return core.HEAPU32[MISC >> 2];
}

/**
 * Decodes a VKT2 file. By default a file whose test fails (cut short, not VKT2, ...) is refused
 * with that failure's code and words; with `zeroFill: true` a file cut short decodes as the
 * loader and `vkt2x` read it, with zeros past its end.
 */
export function decompress(data, options) {
  const src = bytesOf(data);
  const flags = options?.zeroFill ? ZERO_FILL : 0;
  const code = core._vkt2_decompress_ex(IN, load(src), OUT, MAX_ORIGINAL_SIZE, MISC, flags);
  if (code !== 0) {
    // Only a refusal pays for the test, whose words say how much is missing.
    const v = verdictOf(src.length);
    throw new Vkt2Error(code, v.code === code ? v.failure : undefined);
  }
  return core.HEAPU8.slice(OUT, OUT + core.HEAPU32[MISC >> 2]);
}

/** Compresses up to 65,535 bytes into a whole VKT2 file, byte for byte as `vkt2c` writes it. */
export function compress(data) {
  const src = bytesOf(data);
  if (src.length > MAX_ORIGINAL_SIZE) throw new Vkt2Error(codes.TOO_LARGE);
  call(core._vkt2_compress(IN, load(src), OUT, MAX_FILE_SIZE, MISC));
  // Compressing allocates, which may grow the memory: read it afresh.
  return core.HEAPU8.slice(OUT, OUT + core.HEAPU32[MISC >> 2]);
}

// The varied set of files both suites use, and the native tools' answers for them when they
// are built; without them the set is made with the package's own compressor.
import { spawnSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const web = resolve(dirname(fileURLToPath(import.meta.url)), '..');
export const nativeDir = resolve(web, process.env.VKT2_NATIVE_DIR ?? '../build');
const tool = (name) => join(nativeDir, name);
export const native = ['vkt2', 'vkt2x', 'vkt2c'].every((name) => existsSync(tool(name)));
/** Why the comparison with the native tools is skipped, or false when it runs. */
export const nativeMissing =
  !native &&
  `no native tools in ${nativeDir}: build them with ` +
    '`cmake -S . -B build -DVKT2_BUILD_TESTS=OFF && cmake --build build -j2` ' +
    'in the repository (or set VKT2_NATIVE_DIR) to compare with them';

function random(seed) {
  return () => ((seed = (Math.imul(seed, 1103515245) + 12345) >>> 0) >>> 16) & 0xff;
}
const fill = (n, f) => Uint8Array.from({ length: n }, (_, i) => f(i));
const cat = (...parts) => Buffer.concat(parts.map((p) => Buffer.from(p, 'latin1')));
// "日本語のテキストです。" in Shift-JIS, a line of what these files often hold.
export const sjisLine = Buffer.from('93fa967b8cea82cc8365834c8358836782c582b781420d0a', 'hex');

/** Runs a native tool on a scratch copy of bytes; returns its status and the copy's bytes. */
export function inPlace(name, bytes) {
  const file = join(mkdtempSync(join(tmpdir(), 'vkt2-')), 'f');
  writeFileSync(file, bytes);
  const r = spawnSync(tool(name), [file]);
  return { ok: r.status === 0, bytes: readFileSync(file) };
}

/** What `vkt2 t` says of one file: its lines for that file, without the prefix and summary. */
export function testWords(file) {
  const r = spawnSync(tool('vkt2'), ['t', file], { encoding: 'utf8' });
  const prefix = `vkt2: ${file}: `;
  return r.stderr
    .split('\n')
    .filter((l) => l.startsWith(prefix))
    .map((l) => l.slice(prefix.length));
}

/** `vkt2 l`'s row for one file: compressed size, original size and ratio, as text. */
export function listed(file) {
  const r = spawnSync(tool('vkt2'), ['l', file], { encoding: 'utf8' });
  return r.stdout.split('\n')[1].trim().split(/ +/).slice(0, 3);
}

// vkt2c's output, or the package's where the tools are not built; null for data it refuses.
function pack(bytes, compress) {
  if (native) {
    const r = inPlace('vkt2c', bytes);
    return r.ok ? r.bytes : null;
  }
  try {
    return Buffer.from(compress(bytes));
  } catch {
    return null;
  }
}

/** Writes the set under a fresh folder (in subfolders) and returns [relative path, bytes]. */
export function makeCorpus(compress, root = mkdtempSync(join(tmpdir(), 'vkt2-corpus-'))) {
  const rnd = random(19);
  const plain = {
    'text/english.txt': Buffer.from('The quick brown fox jumps over the lazy dog.\n'.repeat(120)),
    'text/japanese.txt': Buffer.concat(Array(300).fill(sjisLine)),
    'bin/program.bin': fill(20000, (i) => (i % 7 === 0 ? (i * i) & 0xff : i >> 5)),
    'bin/random.bin': fill(4096, rnd),
    'bin/random-max.bin': fill(65535, rnd),
    'bin/runs.bin': fill(60000, (i) => (i >> 9) & 3),
    'bin/max.bin': fill(65535, (i) => i % 251),
    'bin/65536.bin': fill(65536, (i) => i % 13),
    'empty.bin': new Uint8Array(0),
  };
  const files = Object.entries(plain);
  for (const [name, bytes] of Object.entries(plain)) {
    const v = pack(bytes, compress);
    if (!v) continue;
    files.push([`vkt2/${name}`, v]);
    if (v.length > 16) files.push([`cut/${name}`, v.subarray(0, v.length >> 1)]);
  }
  const packed = Object.fromEntries(files.filter(([n]) => n.startsWith('vkt2/')));
  const text = packed['vkt2/text/english.txt'];
  const runs = packed['vkt2/bin/runs.bin'];
  // Literal-only data whose stream runs past the 65,536 bytes the loader reads.
  const flags = fill(70000, (i) => (i % 9 === 8 ? 0xff : rnd()));
  files.push(
    ['cut/header.vkt2', Buffer.from('VKT2\x10')],
    ['cut/header-only.vkt2', text.subarray(0, 8)],
    ['odd/trailing.vkt2', cat(text, 'garbage')],
    ['odd/exactly-65536.vkt2', cat(runs, new Uint8Array(65536 - runs.length))],
    ['odd/longer.vkt2', cat(runs, new Uint8Array(70000 - runs.length))],
    ['odd/past-limit.vkt2', cat('VKT2\xff\xff\0\0\xff', flags)],
  );
  for (const [name, bytes] of files) {
    mkdirSync(dirname(join(root, name)), { recursive: true });
    writeFileSync(join(root, name), bytes);
  }
  return { root, files };
}

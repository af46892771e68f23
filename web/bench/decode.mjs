// WebAssembly decode in Node against the native library on the same inputs of several sizes,
// as speed ratios (native time / wasm time, so 1 is native speed): decompress with zeroFill
// against vkt2_decompress, and the default decompress, which tests first, against vkt2_test
// then vkt2_decompress. "module" is vkt2_decompress called straight on the module's memory, so
// the gap between it and "wasm" is the wrapper's copies and checks. Times are CPU time, the
// median of 41 rounds of about 3 MB decoded each, then the median of three passes that each
// run native then wasm, so that other work on a shared machine moves them little. Needs cc and the native build
// (VKT2_NATIVE_DIR, default ../build).
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import createCore from '../dist/vkt2-core.js';
import * as vkt2 from '../dist/vkt2.js';

const web = resolve(import.meta.dirname, '..');
const native = resolve(web, process.env.VKT2_NATIVE_DIR ?? '../build');
const dir = mkdtempSync(join(tmpdir(), 'vkt2-bench-'));
const sizes = [1024, 16384, 65535];
const most = sizes.at(-1);
let seed = 7;
const sources = [
  'core/window_decoder.cpp',
  'core/window_encoder.cpp',
  'cli/vkt2/engine.cpp',
  'README.md',
].map((f) => readFileSync(join(web, '..', f)));
const kinds = {
  'project sources': Buffer.concat(Array(20).fill(Buffer.concat(sources))).subarray(0, most),
  'random bytes': Uint8Array.from(
    { length: most },
    () => ((seed = (seed * 1103515245 + 12345) >>> 0) >>> 16) & 0xff,
  ),
  'runs of one byte': Uint8Array.from({ length: most }, (_, i) => (i >> 8) & 0xff),
  '/usr/bin/bash': readFileSync('/usr/bin/bash').subarray(0, most),
};
const files = sizes.flatMap((size) =>
  Object.entries(kinds).map(([kind, bytes], i) => {
    const path = join(dir, `${size}-${i}.vkt2`);
    writeFileSync(path, vkt2.compress(bytes.subarray(0, size)));
    return { name: `${kind} ${size}`, size, path, file: readFileSync(path) };
  }),
);

execFileSync(
  'cc',
  [
    '-O2',
    '-std=c99',
    `-I${join(web, '..', 'core', 'include')}`,
    join(web, 'bench', 'native_decode.c'),
    join(native, 'core', 'libvkt2.a'),
    '-lstdc++',
    '-o',
    join(dir, 'native_decode'),
  ],
  { stdio: 'inherit' },
);
const median = (xs) => [...xs].sort((a, b) => a - b)[xs.length >> 1];
const cpu = () => {
  const { user, system } = process.cpuUsage();
  return (user + system) * 1000;
};
function timed(fn, fileSize) {
  const reps = Math.trunc((50 * 65536) / Math.max(fileSize, 64));
  const each = [];
  for (let round = 0; round < 41; round++) {
    const start = cpu();
    for (let r = 0; r < reps; r++) fn();
    each.push((cpu() - start) / reps);
  }
  return median(each);
}

const runNative = () =>
  Object.fromEntries(
    execFileSync(
      join(dir, 'native_decode'),
      files.map((f) => f.path),
      { encoding: 'utf8' },
    )
      .trim()
      .split('\n')
      .map((l) => l.split(' '))
      .map(([p, ...ns]) => [p, ns.map(Number)]),
  );

// The module alone: the file placed in its memory once, then decoded there again and again.
const core = await createCore();
const [IN, OUT, SIZE] = [core._malloc(65536), core._malloc(65536), core._malloc(8)];
function moduleDecode(file) {
  core.HEAPU8.set(file, IN);
  return () => {
    if (core._vkt2_decompress(IN, file.length, OUT, 65535, SIZE) !== 0) throw new Error('decode');
  };
}

const passes = files.map(() => [[], [], [], [], []]);
for (let pass = 0; pass < 3; pass++) {
  const nat = runNative();
  files.forEach(({ path, file }, i) => {
    const t = [
      nat[path][0],
      timed(() => vkt2.decompress(file, { zeroFill: true }), file.length),
      timed(moduleDecode(file), file.length),
      nat[path][1],
      timed(() => vkt2.decompress(file), file.length),
    ];
    t.forEach((x, k) => passes[i][k].push(x));
  });
}
rmSync(dir, { recursive: true, force: true });

const us = (ns, w = 7) => (ns / 1000).toFixed(1).padStart(w);
const r = (a, b) => (a / b).toFixed(2).padStart(5);
console.log(
  'µs per file             native  wasm  module  ratio   native+test  wasm default  ratio',
);
const ratios = new Map(sizes.map((s) => [s, [[], []]]));
files.forEach(({ name, size }, i) => {
  const [plain, zeroFill, mod, strict, tested] = passes[i].map(median);
  ratios.get(size)[0].push(plain / zeroFill);
  ratios.get(size)[1].push(strict / tested);
  console.log(
    `${name.padEnd(22)} ${us(plain)} ${us(zeroFill, 5)} ${us(mod)}  ${r(plain, zeroFill)}` +
      `   ${us(strict, 11)}  ${us(tested, 12)}  ${r(strict, tested)}`,
  );
});
const mean = (xs) => Math.exp(xs.reduce((a, x) => a + Math.log(x), 0) / xs.length).toFixed(2);
for (const [size, [plain, tested]] of ratios)
  console.log(
    `geometric mean of the ratios at ${size} bytes: decode ${mean(plain)}, test and decode ${mean(tested)}`,
  );

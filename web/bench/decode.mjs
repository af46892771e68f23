// WebAssembly decode in Node against the native library on the same 65,535-byte inputs, as
// speed ratios (wasm / native): decompress with zeroFill against vkt2_decompress, and the
// default decompress, which tests first, against vkt2_test then vkt2_decompress. Times are the
// best of 60 rounds of 50 in each of three passes. Needs cc and the native build
// (VKT2_NATIVE_DIR, default ../build).
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import * as vkt2 from '../dist/vkt2.js';

const web = resolve(import.meta.dirname, '..');
const native = resolve(web, process.env.VKT2_NATIVE_DIR ?? '../build');
const dir = mkdtempSync(join(tmpdir(), 'vkt2-bench-'));
const size = 65535;
let seed = 7;
const sources = [
  'core/window_decoder.cpp',
  'core/window_encoder.cpp',
  'cli/batch/engine.cpp',
  'README.md',
].map((f) => readFileSync(join(web, '..', f)));
const inputs = {
  'project sources': Buffer.concat(Array(20).fill(Buffer.concat(sources))).subarray(0, size),
  'random bytes': Uint8Array.from(
    { length: size },
    () => ((seed = (seed * 1103515245 + 12345) >>> 0) >>> 16) & 0xff,
  ),
  'runs of one byte': Uint8Array.from({ length: size }, (_, i) => (i >> 8) & 0xff),
  '/usr/bin/bash': readFileSync('/usr/bin/bash').subarray(0, size),
};
const files = Object.entries(inputs).map(([name, bytes], i) => {
  const path = join(dir, `${i}.vkt2`);
  writeFileSync(path, vkt2.compress(bytes));
  return { name, path };
});

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
function best(fn) {
  let least = Infinity;
  for (let round = 0; round < 60; round++) {
    const start = process.hrtime.bigint();
    for (let r = 0; r < 50; r++) fn();
    least = Math.min(least, Number(process.hrtime.bigint() - start) / 50);
  }
  return least;
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

// Three passes, native then WebAssembly, keeping each one's best: on a shared machine a busy
// spell then slows one pass of both rather than one side alone.
const times = files.map(() => [Infinity, Infinity, Infinity, Infinity]);
for (let pass = 0; pass < 3; pass++) {
  const native = runNative();
  files.forEach(({ path }, i) => {
    const file = readFileSync(path);
    const t = [
      native[path][0],
      best(() => vkt2.decompress(file, { zeroFill: true })),
      native[path][1],
      best(() => vkt2.decompress(file)),
    ];
    times[i] = times[i].map((x, k) => Math.min(x, t[k]));
  });
}

const us = (ns) => (ns / 1000).toFixed(1).padStart(7);
console.log('µs per file         native   wasm  ratio   native+test  wasm default  ratio');
const ratios = [[], []];
files.forEach(({ name }, i) => {
  const [plain, zeroFill, strict, tested] = times[i];
  ratios[0].push(plain / zeroFill);
  ratios[1].push(strict / tested);
  const [a, b] = [(plain / zeroFill).toFixed(2), (strict / tested).toFixed(2)];
  console.log(
    `${name.padEnd(18)} ${us(plain)} ${us(zeroFill)}  ${a}   ${us(strict)}      ${us(tested)}    ${b}`,
  );
});
const mean = (r) => Math.exp(r.reduce((a, x) => a + Math.log(x), 0) / r.length).toFixed(2);
console.log(
  `geometric mean of the ratios: decode ${mean(ratios[0])}, test and decode ${mean(ratios[1])}`,
);

// The npm package against the native tools, file by file, and its error contract.
import assert from 'node:assert/strict';
import { join } from 'node:path';
import { test } from 'node:test';
import { Worker } from 'node:worker_threads';
import * as vkt2 from '../dist/vkt2.js';
import { inPlace, makeCorpus, nativeMissing, testWords } from './native.mjs';

const { root, files } = makeCorpus(vkt2.compress);

function outcome(fn) {
  try {
    const r = fn();
    return { bytes: typeof r === 'number' ? r : Buffer.from(r) };
  } catch (e) {
    assert.ok(e instanceof vkt2.Vkt2Error, `${e}`);
    return { code: e.code, message: e.message };
  }
}

const nativeTest =
  'every file: verdict words, decoded and compressed bytes as the native tools give them';
test(nativeTest, { skip: nativeMissing }, () => {
  for (const [name, bytes] of files) {
    const v = vkt2.test(bytes);
    const words = v.failure ? [v.failure] : v.warnings;
    assert.deepEqual(words, testWords(join(root, name)), name);
    assert.equal(v.verdict, v.failure ? 'fail' : v.warnings.length ? 'warn' : 'pass', name);
    const counted = Math.min(bytes.length, 65536);
    assert.deepEqual(
      [v.fileSize, v.bytesIgnored],
      [bytes.length, v.failure ? 0 : bytes.length - counted],
      name,
    );
    if (v.code === 0) assert.equal(8 + v.streamUsed + v.bytesUnused, counted, name);
    if (v.code === vkt2.codes.CUT_SHORT) {
      assert.ok(8 + v.streamUsed > counted && v.bytesMissing > 0, name);
      assert.ok(v.bytesMissing <= v.decodedSize, name);
    }

    const x = inPlace('vkt2x', bytes);
    const zeroFilled = outcome(() => vkt2.decompress(bytes, { zeroFill: true }));
    assert.deepEqual(zeroFilled.bytes, x.ok ? x.bytes : undefined, `${name} zeroFill`);
    const strict = outcome(() => vkt2.decompress(bytes));
    if (v.failure) assert.deepEqual([strict.code, strict.message], [v.code, v.failure], name);
    else assert.deepEqual(strict.bytes, x.bytes, name);

    const size = outcome(() => vkt2.decodedSize(bytes));
    if (v.code === vkt2.codes.NOT_VKT2) {
      assert.equal(size.code, vkt2.codes.NOT_VKT2, name);
      const c = inPlace('vkt2c', bytes);
      const packed = outcome(() => vkt2.compress(bytes));
      assert.deepEqual(packed.bytes, c.ok ? c.bytes : undefined, `${name} compress`);
      if (!c.ok) assert.equal(packed.code, vkt2.codes.TOO_LARGE, name);
    } else if (v.code !== vkt2.codes.HEADER_CUT_SHORT) {
      assert.deepEqual([size.bytes, v.decodedSize], [bytes.readUInt16LE(4), size.bytes], name);
    }
  }
});

test('inputs: views of any kind and offset, by their real byte length; nothing else', () => {
  const plain = new TextEncoder().encode('ab'.repeat(500));
  const packed = vkt2.compress(plain);
  const shifted = new Uint8Array(packed.length + 4);
  shifted.set(packed, 4);
  assert.deepEqual(vkt2.decompress(shifted.subarray(4)), plain);
  assert.deepEqual(vkt2.decompress(new DataView(shifted.buffer, 4)), plain);
  assert.deepEqual(vkt2.decompress(new Uint16Array(shifted.buffer, 4)), plain);
  assert.deepEqual(vkt2.decompress(packed.slice().buffer), plain);
  assert.deepEqual(vkt2.decompress(packed, null), plain);
  assert.equal(vkt2.test(new Uint8Array(0)).code, vkt2.codes.NOT_VKT2);
  // A view that claims more or fewer bytes than it has is read by what it has.
  const liar = (n) => Object.defineProperties(Buffer.from(packed), { length: { value: n } });
  assert.equal(vkt2.test(liar(1 << 20)).fileSize, packed.length);
  assert.deepEqual(vkt2.decompress(liar(3)), plain);
  const big = new Uint8Array(200000).fill(7);
  assert.equal(vkt2.test(Object.defineProperty(big, 'length', { value: 9 })).fileSize, 200000);
  for (const bad of ['VKT2', null, [1, 2], 7, new Proxy(packed, {})]) {
    assert.throws(() => vkt2.test(bad), { name: 'Vkt2Error', codeName: 'INVALID_ARGUMENT' });
  }
  assert.equal(vkt2.version, '1.0.0');
});

test('errors: one class with the code, its name and a sentence', () => {
  const e = outcome(() => vkt2.compress(new Uint8Array(65536)));
  assert.deepEqual([e.code, e.message], [vkt2.codes.TOO_LARGE, 'too large for a VKT2 file']);
  const cut = vkt2.compress(new Uint8Array(3000).fill(65)).subarray(0, 9);
  assert.throws(
    () => vkt2.decompress(cut),
    (x) =>
      x instanceof vkt2.Vkt2Error &&
      x instanceof Error &&
      x.name === 'Vkt2Error' &&
      x.codeName === 'CUT_SHORT' &&
      /^cut short: .*; the last \d+ of its 3000 decoded bytes are missing$/.test(x.message),
  );
  assert.equal(vkt2.decompress(cut, { zeroFill: true }).length, 3000);
  assert.throws(() => vkt2.decompress(cut, null), { name: 'Vkt2Error', codeName: 'CUT_SHORT' });
  assert.doesNotMatch(new vkt2.Vkt2Error(0).message, /success/);
  assert.equal(new vkt2.Vkt2Error(42).message, 'unknown error code 42');
});

test('a shared buffer rewritten by another thread: either state or an error', async () => {
  const plain = Uint8Array.from({ length: 60000 }, (_, i) => (i * 7919) >> 3);
  const packed = vkt2.compress(plain);
  const file = new Uint8Array(new SharedArrayBuffer(packed.length));
  file.set(packed);
  const rewrites = new Int32Array(new SharedArrayBuffer(4));
  // The other state claims one more 256-byte block than the stream holds: cut short.
  const writer = new Worker(
    'const [v, n] = require("node:worker_threads").workerData;' +
      `for (;;) { Atomics.store(v, 5, ${packed[5] ^ 1}); Atomics.store(v, 5, ${packed[5]});` +
      ' Atomics.add(n, 0, 1); }',
    { eval: true, workerData: [file, rewrites] },
  );
  try {
    // Until enough calls have straddled a rewrite for one to have been tested and decoded apart.
    for (let straddled = 0, i = 0; straddled < 1000 && i < 100000; i++) {
      const before = Atomics.load(rewrites, 0);
      const r = outcome(() => vkt2.decompress(file));
      if (Atomics.load(rewrites, 0) !== before) straddled++;
      if (r.code) assert.equal(r.code, vkt2.codes.CUT_SHORT);
      else assert.deepEqual(new Uint8Array(r.bytes), plain, `call ${i}`);
    }
  } finally {
    await writer.terminate();
  }
});

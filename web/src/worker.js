// The page's work, off the main thread: testing, decoding, compressing and zipping. It keeps
// the bytes it has read up to a budget, and reads the rest again when asked for output.
import * as vkt2 from './vkt2.js';
import { zipSync } from './fflate.js';

const budget = 256 * 1024 * 1024;
let files = [];
let kept = 0;

async function read(i) {
  const f = files[i];
  if (f.bytes) return f.bytes;
  const bytes = new Uint8Array(await f.file.arrayBuffer());
  if (kept + bytes.length <= budget) {
    kept += bytes.length;
    f.bytes = bytes;
  }
  return bytes;
}

// Reads run a few at a time: each is a round trip to the browser's file machinery.
async function* readAll(ids) {
  const ahead = 16;
  const pending = ids.slice(0, ahead).map(read);
  for (let n = 0; n < ids.length; n++) {
    if (n + ahead < ids.length) pending.push(read(ids[n + ahead]));
    yield [n, ids[n], await pending[n]];
    pending[n] = null;
  }
}

function row(id, path, bytes) {
  const v = vkt2.test(bytes);
  const plain = v.code === vkt2.codes.NOT_VKT2;
  return {
    id,
    path,
    plain,
    verdict: v.verdict,
    words: v.failure ? [v.failure] : v.warnings,
    compressed: plain ? null : bytes.length,
    original: plain ? bytes.length : v.decodedSize,
  };
}

// The output of one file for a mode, or why there is none; as the folder tool words it.
function convert(mode, bytes) {
  if (mode === 'decode') return vkt2.decompress(bytes);
  if (vkt2.test(bytes).code !== vkt2.codes.NOT_VKT2) throw new Error('already in VKT2 form');
  if (bytes.length > vkt2.MAX_ORIGINAL_SIZE) {
    throw new Error('too large: VKT2 holds at most 65,535 bytes');
  }
  try {
    return vkt2.compress(bytes);
  } catch {
    throw new Error('does not fit in 65,536 bytes once compressed');
  }
}

async function outputs(ids, mode, progress) {
  const entries = [];
  const skipped = [];
  for await (const [n, i, bytes] of readAll(ids)) {
    try {
      entries.push({ path: files[i].path, bytes: convert(mode, bytes) });
    } catch (e) {
      skipped.push({ path: files[i].path, why: e.message });
    }
    if (n % 64 === 63) progress(n + 1, ids.length);
  }
  return { entries, skipped };
}

const handlers = {
  async open({ list, base, total }, progress) {
    if (base === 0) {
      files = [];
      kept = 0;
    }
    files.push(...list);
    const rows = [];
    for await (const [n, i, bytes] of readAll(list.map((_, k) => base + k))) {
      rows.push(row(i, files[i].path, bytes));
      if (n % 64 === 63) progress(base + n + 1, total);
    }
    return { rows };
  },
  async one({ id, mode }) {
    const bytes = convert(mode, await read(id));
    return { result: { bytes }, transfer: [bytes.buffer] };
  },
  async preview({ id }) {
    const bytes = await read(id);
    let shown = null;
    try {
      if (vkt2.test(bytes).code !== vkt2.codes.NOT_VKT2)
        shown = vkt2.decompress(bytes, { zeroFill: true });
    } catch {
      // A stream that cannot be decoded at all: show the file as it is.
    }
    const decoded = shown !== null;
    shown ??= bytes.slice(); // the read bytes may be kept, so they are not handed over
    return { result: { bytes: shown, decoded }, transfer: [shown.buffer] };
  },
  async files({ ids, mode }, progress) {
    const out = await outputs(ids, mode, progress);
    return { result: out, transfer: out.entries.map((e) => e.bytes.buffer) };
  },
  async zip({ ids, mode }, progress) {
    const { entries, skipped } = await outputs(ids, mode, progress);
    const tree = Object.fromEntries(entries.map((e) => [e.path, e.bytes]));
    const bytes = zipSync(tree, { level: 0 });
    return { result: { bytes, count: entries.length, skipped }, transfer: [bytes.buffer] };
  },
};

onmessage = async ({ data: { call, type, ...args } }) => {
  const progress = (done, total) => postMessage({ call, progress: [done, total] });
  try {
    const out = await handlers[type](args, progress);
    postMessage({ call, result: out.result ?? out }, out.transfer ?? []);
  } catch (e) {
    postMessage({ call, error: e.message });
  }
};
postMessage({ ready: true });

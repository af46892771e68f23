// The page's work, off the main thread: testing, decoding, compressing, zipping and preparing
// previews. It keeps the bytes it has read up to a budget, and reads the rest again when asked
// for output. The page ends it to cancel, so nothing here needs to watch for that.
import * as vkt2 from './vkt2.js';
import { Unzip, UnzipInflate, Zip, ZipPassThrough, deflateSync, strFromU8 } from './fflate.js';

const budget = 256 * 1024 * 1024;
// A preview shows at most this much of a file: laying out text holds the page, for half a
// second at a megabyte of text and three at a megabyte as hex.
const previewCap = { text: 256 * 1024, hex: 64 * 1024 };
// The dates a zip entry can hold, in local time as the format keeps them.
const zipEpoch = new Date(1980, 0, 1, 0, 0, 2).getTime();
const zipEnd = new Date(2099, 11, 31, 23, 59, 58).getTime();
let files = [];
let kept = 0;

// Only the first 65,536 bytes of a file count, and one more tells that there are more; a file
// of gigabytes is read no further. A smaller one is read whole: a slice of a file that has
// gone since the pick reads as empty, where the whole file fails as it should.
async function read(i) {
  const f = files[i];
  if (f.bytes) return f.bytes;
  if (f.error) throw new Error(f.error);
  const counted = vkt2.MAX_FILE_SIZE + 1;
  const part = f.file.size > counted ? f.file.slice(0, counted) : f.file;
  const bytes = new Uint8Array(await part.arrayBuffer());
  if (kept + bytes.length <= budget) {
    kept += bytes.length;
    f.bytes = bytes;
  }
  return bytes;
}

// Why a file could not be read, as the browser words it.
const unreadable = (e) => `cannot be read: ${e.message || e.name}`;

// `work` over `items`, a few under way at once, each a round trip to the browser's machinery
// (reading a file, deflating through a stream); yields [n, item, result] in order.
async function* ahead(items, work) {
  const depth = 16;
  const pending = items.slice(0, depth).map(work);
  for (let n = 0; n < items.length; n++) {
    if (n + depth < items.length) pending.push(work(items[n + depth]));
    yield [n, items[n], await pending[n]];
    pending[n] = null;
  }
}

// Each file's bytes, or the reason they could not be read.
const readAll = (ids) =>
  ahead(ids, (i) =>
    read(i).then(
      (bytes) => ({ bytes }),
      (e) => ({ why: unreadable(e) }),
    ),
  );

// A zip member held in part has its own size; a plain one held in part cannot be compressed.
function row(id, { path, file, size = file?.size, partial }, { bytes, why }) {
  if (why) return { id, path, unreadable: true, verdict: 'fail', words: [why], original: null };
  const v = vkt2.test(bytes);
  const plain = v.code === vkt2.codes.NOT_VKT2;
  return {
    id,
    path,
    plain,
    partial: plain && partial,
    code: v.code,
    verdict: v.verdict,
    words: v.failure ? [v.failure] : v.warnings,
    compressed: plain ? null : size,
    original: plain ? size : v.decodedSize,
  };
}

const isZip = (b) => b[0] === 0x50 && b[1] === 0x4b && (b[2] === 3 || b[2] === 5);
const startsVkt2 = (b) => b[0] === 0x56 && b[1] === 0x4b && b[2] === 0x54 && b[3] === 0x32;

// What the streaming unzip does not give: each member's date and whether it is encrypted, from
// the zip's central directory, by name in the order the members come. A zip whose directory
// cannot be found gives nothing here, and its members take the zip's own date.
async function directory(file) {
  const byName = new Map();
  try {
    const tailAt = Math.max(0, file.size - 65557);
    const tail = new Uint8Array(await file.slice(tailAt).arrayBuffer());
    const t = new DataView(tail.buffer);
    let end = tail.length - 22;
    while (end >= 0 && t.getUint32(end, true) !== 0x06054b50) end--;
    if (end < 0) return byName;
    const [size, at] = [t.getUint32(end + 12, true), t.getUint32(end + 16, true)];
    if (size > 64 << 20 || at + size > file.size) return byName;
    const cd = new Uint8Array(await file.slice(at, at + size).arrayBuffer());
    const v = new DataView(cd.buffer);
    for (let i = 0; i + 46 <= cd.length && v.getUint32(i, true) === 0x02014b50;) {
      const flags = v.getUint16(i + 8, true);
      const [time, date] = [v.getUint16(i + 12, true), v.getUint16(i + 14, true)];
      const n = v.getUint16(i + 28, true);
      const name = strFromU8(cd.subarray(i + 46, i + 46 + n), !(flags & 2048));
      const when = new Date(1980 + (date >> 9), ((date >> 5) & 15) - 1, date & 31);
      when.setHours(time >> 11, (time >> 5) & 63, (time & 31) * 2);
      if (!byName.has(name)) byName.set(name, []);
      byName.get(name).push({ encrypted: !!(flags & 1), mtime: when.getTime() });
      i += 46 + n + v.getUint16(i + 30, true) + v.getUint16(i + 32, true);
    }
  } catch {
    // A directory that cannot be read leaves the members as the stream gives them.
  }
  return byName;
}

// A zip's members through a streaming unzip that keeps no more of a member than counts: the
// whole of one that starts with VKT2 and fits in a VKT2 file, the first bytes a file is read
// to otherwise (4 to tell a plain one), so no size a member claims can exhaust memory.
async function members(file, path) {
  const counted = vkt2.MAX_FILE_SIZE + 1;
  const entries = [];
  let held = 0;
  const known = await directory(file);
  const unzip = new Unzip();
  unzip.register(UnzipInflate);
  unzip.onfile = (m) => {
    if (m.name.endsWith('/')) return;
    const name = m.name.replace(/^\/+/, '');
    const entry = { path: `${path}/${name}` };
    entries.push(entry);
    const { encrypted, mtime = file.lastModified } = known.get(m.name)?.shift() ?? {};
    if (encrypted) return void (entry.error = 'encrypted');
    const chunks = [];
    let got = 0;
    const first = (n) => {
      const bytes = new Uint8Array(Math.min(got, n));
      for (let i = 0, at = 0; at < bytes.length; at += chunks[i++].length)
        bytes.set(chunks[i].subarray(0, bytes.length - at), at);
      return bytes;
    };
    const settle = (final) => {
      const bytes = first(counted);
      const vkt = startsVkt2(bytes);
      if (vkt && (held += bytes.length) > budget) {
        entry.error = "not read: the zip's members fill the memory the page gives them";
        return;
      }
      const whole = vkt && final && got < counted;
      const kept = vkt ? bytes : bytes.subarray(0, 4);
      entry.file = new File([kept], name, { lastModified: mtime });
      if (!whole) Object.assign(entry, { partial: true, size: m.originalSize ?? got });
    };
    m.ondata = (err, chunk, final) => {
      if (entry.file || entry.error) return;
      if (err) return void (entry.error = err.message);
      chunks.push(chunk);
      got += chunk.length;
      if (final || got >= counted || (got >= 4 && !startsVkt2(first(4)))) settle(final);
    };
    try {
      m.start();
    } catch (e) {
      entry.error ??= e.message;
    }
  };
  const reader = file.stream().getReader();
  try {
    // A deflated piece grows a thousandfold at most: pieces stay small so that one does too.
    for (;;) {
      const { done, value } = await reader.read();
      for (let at = 0; value && at < value.length; at += 16384)
        unzip.push(value.subarray(at, at + 16384), false);
      if (done) break;
    }
    unzip.push(new Uint8Array(0), true);
  } catch (e) {
    return [{ path, error: `not a zip that can be read: ${e.message}` }];
  }
  for (const e of entries) if (!e.file) e.error ??= 'the zip ends inside it';
  return entries.length ? entries : [{ path, error: 'a zip that holds no file' }];
}

// The output of one file for a mode, or why there is none; as the folder tool words it.
function convert(mode, bytes) {
  if (mode === 'decode' || mode === 'zero-fill') {
    return vkt2.decompress(bytes, { zeroFill: mode === 'zero-fill' });
  }
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

// Each output goes under the name the page chose for it, unique and safe to extract.
async function outputs(ids, mode, progress) {
  const entries = [];
  const skipped = [];
  for await (const [n, i, { bytes, why }] of readAll(ids)) {
    const { path, out } = files[i];
    try {
      if (why) throw new Error(why);
      entries.push({ path, out, bytes: convert(mode, bytes), mtime: files[i].file.lastModified });
    } catch (e) {
      skipped.push({ path, why: e.message });
    }
    if (n % 64 === 63) progress(n + 1, ids.length);
  }
  return { entries, skipped };
}

function hex(bytes) {
  const lines = [];
  for (let at = 0; at < bytes.length; at += 16) {
    const row = bytes.subarray(at, at + 16);
    const codes = [...row].map((b) => b.toString(16).padStart(2, '0')).join(' ');
    const text = [...row].map((b) => (b >= 32 && b < 127 ? String.fromCharCode(b) : '.')).join('');
    lines.push(`${at.toString(16).padStart(8, '0')}  ${codes.padEnd(48)}  ${text}`);
  }
  return lines.join('\n');
}

// Deflated by the browser's own zlib where it has one: fflate's deflate takes 30 s over 2,000
// files of text that the browser's deflates in a second or two.
async function deflated(bytes) {
  if (typeof CompressionStream !== 'function') return deflateSync(bytes, { level: 6 });
  const stream = new Blob([bytes]).stream().pipeThrough(new CompressionStream('deflate-raw'));
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

// An entry whose data comes deflated: the zip takes its CRC and size from the original pushed.
class Deflated extends ZipPassThrough {
  constructor(name, data, mtime) {
    super(name);
    Object.assign(this, { compression: 8, data, mtime });
  }
  process(chunk, final) {
    this.ondata(null, final ? this.data : new Uint8Array(0), final);
  }
}

// Each entry deflated and dated as its input, as the tools date their outputs; a zip holds no
// date before 1980 or after 2099 (as fflate writes them), so one outside takes the nearest.
async function zipOf(entries) {
  const parts = [];
  let failed = null;
  const zip = new Zip((e, chunk) => (e ? (failed = e) : parts.push(chunk)));
  for await (const [, e, data] of ahead(entries, (e) => deflated(e.bytes))) {
    const mtime = Math.min(Math.max(e.mtime, zipEpoch), zipEnd);
    const entry = new Deflated(e.out, data, mtime);
    zip.add(entry);
    entry.push(e.bytes, true);
  }
  zip.end();
  if (failed) throw failed;
  const bytes = new Uint8Array(parts.reduce((n, p) => n + p.length, 0));
  parts.reduce((at, p) => (bytes.set(p, at), at + p.length), 0);
  return bytes;
}

const handlers = {
  async open({ list, base, total }, progress) {
    if (base === 0) {
      files = [];
      kept = 0;
    }
    files.push(...list);
    const rows = [];
    for await (const [n, i, got] of readAll(list.map((_, k) => base + k))) {
      rows.push(row(i, files[i], got));
      if (n % 64 === 63) progress(base + n + 1, total);
    }
    return { rows };
  },
  // Each zip given becomes its members, archive.zip/member/path; any other file stays itself.
  async expand({ list }) {
    const out = [];
    for (const f of list) {
      const zip = f.file && /\.zip$/i.test(f.path);
      if (
        zip &&
        isZip(
          new Uint8Array(
            await f.file
              .slice(0, 4)
              .arrayBuffer()
              .catch(() => []),
          ),
        )
      ) {
        out.push(...(await members(f.file, f.path)));
      } else {
        out.push(f);
      }
    }
    return { list: out };
  },
  // The set the page lists, handed to a fresh worker after one was ended, without reading it.
  async adopt({ list }) {
    files = list;
    kept = 0;
    return {};
  },
  async one({ id, mode }) {
    const bytes = convert(mode, await read(id));
    return { result: { bytes }, transfer: [bytes.buffer] };
  },
  // The first bytes of a file as text to show: decoded when it is VKT2, as it is otherwise.
  async preview({ id, as }) {
    const f = files[id];
    if (f.error) throw new Error(f.error);
    const size = f.file.size;
    const head = new Uint8Array(await f.file.slice(0, previewCap.text).arrayBuffer());
    let bytes = null;
    try {
      bytes = convert('zero-fill', head);
    } catch {
      // A plain file, or a stream that cannot be decoded at all: show the file as it is.
    }
    const decoded = bytes !== null;
    const shown = (bytes ?? head).subarray(0, previewCap[as === 'hex' ? 'hex' : 'text']);
    const text = as === 'hex' ? hex(shown) : new TextDecoder(as).decode(shown);
    return { decoded, shown: shown.length, size: decoded ? bytes.length : size, text };
  },
  async files({ ids, mode }, progress) {
    const out = await outputs(ids, mode, progress);
    return { result: out, transfer: out.entries.map((e) => e.bytes.buffer) };
  },
  async zip({ ids, mode }, progress) {
    const { entries, skipped } = await outputs(ids, mode, progress);
    const bytes = await zipOf(entries);
    const saved = entries.map(({ path, out }) => ({ path, out }));
    return { result: { bytes, saved, skipped }, transfer: [bytes.buffer] };
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

// The page: gathers dropped or picked files, hands them to the worker, shows its table and
// saves what it makes. Only Blob URLs are created; nothing is sent anywhere.
const $ = (id) => document.getElementById(id);
$('serve').hidden = true;

const worker = new Worker(new URL('worker.js', import.meta.url), { type: 'module' });
worker.onerror = () =>
  status('The page could not start its worker; this browser may not support module workers.');
const calls = new Map();
let nextCall = 0;
worker.onmessage = ({ data }) => {
  const pending = calls.get(data.call);
  if (!pending) return;
  if (data.progress) return showProgress(...data.progress);
  calls.delete(data.call);
  if (data.error !== undefined) pending.reject(new Error(data.error));
  else pending.resolve(data.result);
};

// One request to the worker, with the progress bar up while it runs.
async function ask(type, args, label, done = [0, 1]) {
  const call = nextCall++;
  $('busy').hidden = false;
  $('progress-text').textContent = label;
  showProgress(...done);
  try {
    return await new Promise((resolve, reject) => {
      calls.set(call, { resolve, reject });
      worker.postMessage({ call, type, ...args });
    });
  } finally {
    $('busy').hidden = true;
  }
}

function showProgress(done, total) {
  $('progress').max = total;
  $('progress').value = done;
  if (total > 1) $('progress-text').textContent = `${done} / ${total} files`;
}

const status = (text) => ($('status').textContent = text);
const since = (start) => ((performance.now() - start) / 1000).toFixed(2);
let rows = [];
// Rows drawn at a time: a table of thousands would take seconds to lay out at every sort.
const page = 500;
let limit = page;
let sortKey = 'path';
let sortUp = true;

// As `vkt2 l` words it: the share of the original that compression saved.
function ratio(r) {
  if (r.compressed === null) return null;
  return r.original === 0 ? 0 : 100 * (1 - r.compressed / r.original);
}

const severity = { fail: 0, warn: 1, pass: 2 };
const sortValue = {
  path: (r) => r.path,
  verdict: (r) => (r.plain ? 3 : severity[r.verdict]),
  compressed: (r) => r.compressed ?? -1,
  original: (r) => r.original,
  ratio: (r) => ratio(r) ?? -Infinity,
};

function cell(tr, text, cls, label) {
  const td = tr.insertCell();
  td.textContent = text;
  td.className = cls;
  if (label) td.dataset.label = label; // shown beside the number on narrow screens
  return td;
}

function button(td, text, action, id, label) {
  const b = document.createElement('button');
  b.type = 'button';
  b.textContent = text;
  b.dataset.action = action;
  b.dataset.id = id;
  b.setAttribute('aria-label', `${label} ${rows[id].path}`);
  td.append(b);
}

function render() {
  const get = sortValue[sortKey];
  const shown = [...rows]
    .sort((a, b) => {
      const [x, y] = [get(a), get(b)];
      return (x < y ? -1 : x > y ? 1 : a.id - b.id) * (sortUp ? 1 : -1);
    })
    .filter((r) => !$('failures-only').checked || (!r.plain && r.verdict === 'fail'));
  const body = document.createElement('tbody');
  body.id = 'rows';
  for (const r of shown.slice(0, limit)) {
    const tr = body.insertRow();
    tr.className = r.plain ? 'plain' : r.verdict;
    cell(tr, r.path, 'path');
    const mark = r.plain
      ? 'plain'
      : { pass: '✓ pass', warn: '! warning', fail: '✗ fail' }[r.verdict];
    const td = cell(tr, '', 'verdict');
    td.append(
      Object.assign(document.createElement('span'), { className: 'mark', textContent: mark }),
    );
    for (const w of r.words)
      td.append(
        Object.assign(document.createElement('span'), { className: 'words', textContent: w }),
      );
    cell(tr, r.compressed ?? '—', 'num', 'compressed');
    cell(tr, r.original, 'num', 'original');
    const saved = ratio(r);
    cell(tr, saved === null ? '—' : `${saved.toFixed(1)}%`, 'num', 'ratio');
    const actions = cell(tr, '', 'row-actions');
    if (r.plain) button(actions, 'Compress', 'compress', r.id, 'Save compressed');
    else if (r.verdict !== 'fail') button(actions, 'Save', 'decode', r.id, 'Save decoded');
    button(actions, 'Preview', 'preview', r.id, 'Preview');
  }
  $('rows').replaceWith(body);
  $('more').hidden = shown.length <= limit;
  $('more').textContent =
    `Show ${Math.min(page, shown.length - limit)} more (${limit} of ${shown.length} shown)`;
  for (const th of document.querySelectorAll('th[data-key]')) {
    th.setAttribute(
      'aria-sort',
      th.dataset.key === sortKey ? (sortUp ? 'ascending' : 'descending') : 'none',
    );
  }
}

function summarize() {
  const count = (f) => rows.filter(f).length;
  const vkt2 = rows.filter((r) => !r.plain);
  $('summary').textContent =
    `${rows.length} files: ${count((r) => r.plain)} plain, ` +
    `${vkt2.length} VKT2 (${count((r) => !r.plain && r.verdict === 'pass')} passed, ` +
    `${count((r) => !r.plain && r.verdict === 'warn')} with warnings, ` +
    `${count((r) => !r.plain && r.verdict === 'fail')} failed)`;
}

async function open(list) {
  if (!list.length) return;
  $('results').hidden = true;
  $('preview').hidden = true;
  list.sort((a, b) => (a.path < b.path ? -1 : 1));
  limit = page;
  const started = performance.now();
  // Handing the worker thousands of files at once would hold the page for seconds.
  rows = [];
  for (let base = 0; base < list.length; base += 100) {
    const args = { list: list.slice(base, base + 100), base, total: list.length };
    rows.push(...(await ask('open', args, 'Testing…', [base, list.length])).rows);
  }
  summarize();
  render();
  $('results').hidden = false;
  status(`Tested ${rows.length} files in ${since(started)} s.`);
}

function save(bytes, name, type = 'application/octet-stream') {
  const url = URL.createObjectURL(new Blob([bytes], { type }));
  const a = Object.assign(document.createElement('a'), { href: url, download: name });
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

const baseName = (path) => path.slice(path.lastIndexOf('/') + 1);
const wanted = (mode) =>
  rows
    .filter((r) => (mode === 'decode' ? !r.plain && r.verdict !== 'fail' : r.plain))
    .map((r) => r.id);

function report(done, skipped, verb, started) {
  const lines = skipped.map((s) => `${s.path}: ${s.why}`);
  const tail = skipped.length ? `; ${skipped.length} skipped:` : '.';
  status([`${verb} ${done} files in ${since(started)} s${tail}`, ...lines].join('\n'));
}

async function saveZip(mode) {
  const ids = wanted(mode);
  if (!ids.length)
    return status(mode === 'decode' ? 'No file passed the test.' : 'No plain file to compress.');
  const started = performance.now();
  const { bytes, count, skipped } = await ask('zip', { ids, mode }, 'Zipping…');
  save(bytes, mode === 'decode' ? 'decoded.zip' : 'compressed.zip', 'application/zip');
  report(count, skipped, mode === 'decode' ? 'Decoded' : 'Compressed', started);
}

// The File System Access API: writes the tree under a folder the user picks, in batches.
async function saveTree(mode) {
  const ids = wanted(mode);
  const root = await window.showDirectoryPicker({ mode: 'readwrite' });
  const started = performance.now();
  let done = 0;
  const skipped = [];
  for (let i = 0; i < ids.length; i += 200) {
    const out = await ask('files', { ids: ids.slice(i, i + 200), mode }, 'Writing…');
    skipped.push(...out.skipped);
    for (const { path, bytes } of out.entries) {
      const parts = path.split('/');
      let dir = root;
      for (const part of parts.slice(0, -1))
        dir = await dir.getDirectoryHandle(part, { create: true });
      const writable = await (
        await dir.getFileHandle(parts.at(-1), { create: true })
      ).createWritable();
      await writable.write(bytes);
      await writable.close();
      done++;
    }
  }
  report(done, skipped, 'Wrote', started);
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

let previewed = null;
function showPreview() {
  const as = $('preview-as').value;
  const { bytes } = previewed;
  $('preview-text').textContent = as === 'hex' ? hex(bytes) : new TextDecoder(as).decode(bytes);
}

async function act(action, id) {
  const r = rows[id];
  if (action === 'preview') {
    previewed = await ask('preview', { id }, 'Decoding…');
    const what = previewed.decoded ? 'decoded' : 'as it is';
    $('preview-title').textContent =
      `Preview: ${r.path} (${what}, ${previewed.bytes.length} bytes)`;
    showPreview();
    $('preview').hidden = false;
    $('preview-text').focus();
    return;
  }
  const { bytes } = await ask('one', { id, mode: action }, 'Working…');
  save(bytes, baseName(r.path));
}

// Errors end up in the status line rather than the console.
const guard =
  (fn) =>
  (...args) =>
    fn(...args).catch((e) => e.name !== 'AbortError' && status(`Error: ${e.message}`));

$('rows')
  .closest('table')
  .addEventListener(
    'click',
    guard(async (e) => {
      const b = e.target.closest('button');
      if (!b) return;
      const th = b.closest('th[data-key]');
      if (th) {
        sortUp = th.dataset.key === sortKey ? !sortUp : true;
        sortKey = th.dataset.key;
        return render();
      }
      await act(b.dataset.action, Number(b.dataset.id));
    }),
  );
$('failures-only').addEventListener('change', render);
$('more').addEventListener('click', () => {
  limit += page;
  render();
});
$('preview-as').addEventListener('change', showPreview);
$('preview-close').addEventListener('click', () => ($('preview').hidden = true));
// Every save runs through guard, so a failure shows instead of vanishing.
const onClick = (id, action) => $(id).addEventListener('click', guard(action));
onClick('zip-decoded', () => saveZip('decode'));
onClick('zip-compressed', () => saveZip('compress'));
if ('showDirectoryPicker' in window) {
  $('dir-decoded').hidden = $('dir-compressed').hidden = false;
  onClick('dir-decoded', () => saveTree('decode'));
  onClick('dir-compressed', () => saveTree('compress'));
}

const picked = (input) =>
  [...input.files].map((file) => ({ path: file.webkitRelativePath || file.name, file }));
for (const id of ['pick-files', 'pick-folder']) {
  $(id).addEventListener(
    'change',
    guard(async (e) => open(picked(e.target))),
  );
}

// A dropped folder arrives as an entry tree; walk it for its files and their paths.
async function walk(entry, out) {
  if (entry.isFile) {
    const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
    out.push({ path: entry.fullPath.replace(/^\//, ''), file });
    return;
  }
  const reader = entry.createReader();
  for (;;) {
    const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
    if (!batch.length) return;
    for (const child of batch) await walk(child, out);
  }
}

const drop = $('drop');
drop.addEventListener('dragover', (e) => {
  e.preventDefault();
  drop.classList.add('over');
});
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener(
  'drop',
  guard(async (e) => {
    e.preventDefault();
    drop.classList.remove('over');
    const entries = [...e.dataTransfer.items].map((i) => i.webkitGetAsEntry()).filter(Boolean);
    const list = [];
    for (const entry of entries) await walk(entry, list);
    await open(list);
  }),
);

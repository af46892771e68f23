// The page: gathers dropped or picked files, hands them to the worker, shows its table and
// saves what it makes. Only Blob URLs are created; nothing is sent anywhere.
const $ = (id) => document.getElementById(id);
$('serve').hidden = true;

// The worker starts from a blob: URL so that it runs under this page's content security policy,
// which forbids it any connection; one started from its own URL would have no policy at all.
// The page as one file carries the worker's source, a classic script: opened from the disk, it
// may load no module from its folder.
const embedded = document.getElementById('worker-source')?.textContent;
const workerUrl = URL.createObjectURL(
  new Blob([embedded ?? `import ${JSON.stringify(new URL('worker.js', import.meta.url).href)};`], {
    type: 'text/javascript',
  }),
);
const calls = new Map();
let nextCall = 0;
let worker;
let send;
// The set the worker holds: what a fresh worker is handed after a cancel.
let listed = [];

// A message that reaches a module worker before its modules have run is lost: each is held
// until the worker says it is ready.
function startWorker() {
  const w = new Worker(workerUrl, { type: embedded ? 'classic' : 'module' });
  let held = [];
  send = (message) => (held ? held.push(message) : w.postMessage(message));
  w.onerror = () =>
    status('The page could not start its worker; this browser may not support module workers.');
  w.onmessage = ({ data }) => {
    if (data.ready) {
      for (const message of held) w.postMessage(message);
      held = null;
      return;
    }
    const pending = calls.get(data.call);
    if (!pending) return;
    if (data.progress) return showProgress(...data.progress);
    calls.delete(data.call);
    if (data.error !== undefined) pending.reject(new Error(data.error));
    else pending.resolve(data.result);
  };
  worker = w;
}
startWorker();

// Ends the work under way, whatever it is: the worker is ended and a fresh one takes its place.
// Each pending request fails with an AbortError, which no one reports.
function cancel() {
  if (!calls.size) return false;
  worker.terminate();
  for (const { reject } of calls.values()) reject(new DOMException('Cancelled', 'AbortError'));
  calls.clear();
  startWorker();
  if (listed.length) send({ call: -1, type: 'adopt', list: listed });
  return true;
}

// One request to the worker, with the progress bar up while it runs.
// The bar stays up while any request runs: a cancelled one may end after its successor began.
let running = 0;
async function ask(type, args, label, done = [0, 1]) {
  const call = nextCall++;
  running++;
  $('busy').hidden = false;
  $('progress-text').textContent = label;
  showProgress(...done);
  try {
    return await new Promise((resolve, reject) => {
      calls.set(call, { resolve, reject });
      send({ call, type, ...args });
    });
  } finally {
    $('busy').hidden = --running === 0;
  }
}

function showProgress(done, total) {
  $('progress').max = total;
  $('progress').value = done;
  if (total > 1) $('progress-text').textContent = `${done} / ${total} files`;
}

const status = (text) => ($('status').textContent = text);
// A name as the tools show it: control characters as \xHH and the backslash doubled, so no
// name can forge a line or hide what it is.
const escaped = (name) =>
  name.replace(/[\x00-\x1f\x7f\\]/g, (c) =>
    c === '\\' ? '\\\\' : `\\x${c.charCodeAt(0).toString(16).padStart(2, '0')}`,
  );
const since = (start) => ((performance.now() - start) / 1000).toFixed(2);
const count = (n, what) => `${n.toLocaleString('en')} ${what}${n === 1 ? '' : 's'}`;
let rows = [];
// Bumped by every new set of files, so that the listing of an older set stops where it is.
let generation = 0;
// Rows drawn at a time: a table of thousands would take seconds to lay out at every sort.
const page = 500;
let limit = page;
let sortKey = 'path';
let sortUp = true;

// As `vkt2 l` words it: the share of the original that compression saved.
function ratio(r) {
  if (r.unreadable || r.compressed === null) return null;
  return r.original === 0 ? 0 : 100 * (1 - r.compressed / r.original);
}

const severity = { fail: 0, warn: 1, pass: 2 };
const sortValue = {
  path: (r) => r.path,
  verdict: (r) => (r.plain ? 3 : severity[r.verdict]),
  compressed: (r) => r.compressed ?? -1,
  original: (r) => r.original ?? -1,
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
  b.setAttribute('aria-label', `${label} ${escaped(rows[id].path)}`);
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
    cell(tr, escaped(r.path), 'path');
    const mark = r.unreadable
      ? '✗ unreadable'
      : r.plain
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
    cell(tr, r.original ?? '—', 'num', 'original');
    const saved = ratio(r);
    cell(tr, saved === null ? '—' : `${saved.toFixed(1)}%`, 'num', 'ratio');
    const actions = cell(tr, '', 'row-actions');
    if (r.unreadable || r.partial) continue;
    if (r.plain) button(actions, 'Compress', 'compress', r.id, 'Save compressed');
    else if (decodable(r)) button(actions, 'Save', decodeMode(), r.id, 'Save decoded');
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
  const number = (f) => rows.filter(f).length;
  const vkt2 = rows.filter((r) => !r.plain && !r.unreadable);
  const unreadable = number((r) => r.unreadable);
  $('summary').textContent =
    `${rows.length} files: ${number((r) => r.plain)} plain, ` +
    `${vkt2.length} VKT2 (${number((r) => !r.plain && r.verdict === 'pass')} passed, ` +
    `${number((r) => !r.plain && r.verdict === 'warn')} with warnings, ` +
    `${number((r) => !r.plain && !r.unreadable && r.verdict === 'fail')} failed)` +
    (unreadable ? `, ${unreadable} unreadable` : '');
  const none = (mode) => !wanted(mode).length;
  $('zip-decoded').disabled = $('dir-decoded').disabled = none('decode');
  $('zip-compressed').disabled = $('dir-compressed').disabled = none('compress');
}

// A new set of files: whatever runs is cancelled and the old table goes, before anything else.
function clear() {
  cancel();
  generation++;
  rows = [];
  listed = [];
  $('rows').replaceChildren();
  status('');
  $('results').hidden = true;
  $('preview').hidden = true;
  return generation;
}

// Names an extractor or a folder can take: each part of a path, split at "/" and "\", is
// kept unless it is empty, "." or ".." (which becomes "_.."); a colon (a drive, or a stream on
// Windows) becomes "_", and a Windows device name ("CON", "nul.txt") gets "_" after it. Names
// equal but for case, Unicode normalization or trailing dots and spaces are one name on many
// systems, and a file cannot share its name with a folder: each later one gets " (2)", " (3)",
// ... before its extension.
function outputNames(paths) {
  const clean = paths.map(
    (p) =>
      p
        .split(/[/\\]+/)
        .filter((part) => part && part !== '.')
        .map((part) =>
          part === '..'
            ? '_..'
            : part.replaceAll(':', '_').replace(/^(con|prn|aux|nul|com\d|lpt\d)(?=\.|$)/i, '$1_'),
        )
        .join('/') || '_',
  );
  const key = (name) =>
    name
      .normalize('NFC')
      .toLowerCase()
      .replace(/[. ]+(?=\/|$)/g, '');
  const taken = new Set();
  for (const name of clean)
    for (let at = name.indexOf('/'); at > 0; at = name.indexOf('/', at + 1))
      taken.add(key(name.slice(0, at)));
  const wanted = new Set(clean.map(key));
  return clean.map((name) => {
    let out = name;
    const dot = name.lastIndexOf('.');
    const cut = dot > name.lastIndexOf('/') + 1 ? dot : name.length;
    for (let n = 2; taken.has(key(out)) || (out !== name && wanted.has(key(out))); n++)
      out = `${name.slice(0, cut)} (${n})${name.slice(cut)}`;
    taken.add(key(out));
    return out;
  });
}

async function open(given, mine) {
  const { list } = await ask('expand', { list: given }, 'Reading…');
  if (mine !== generation) return;
  if (!list.length) return status('Nothing to test: no file was given.');
  list.sort((a, b) => (a.path < b.path ? -1 : a.path > b.path ? 1 : 0));
  const names = outputNames(list.map((f) => f.path));
  list.forEach((f, i) => (f.out = names[i]));
  limit = page;
  const started = performance.now();
  // Handing the worker thousands of files at once would hold the page for seconds.
  const got = [];
  for (let base = 0; base < list.length; base += 100) {
    const args = { list: list.slice(base, base + 100), base, total: list.length };
    const { rows } = await ask('open', args, 'Testing…', [base, list.length]);
    if (mine !== generation) return;
    got.push(...rows);
  }
  rows = got;
  listed = list;
  summarize();
  render();
  $('results').hidden = false;
  status(`Tested ${count(rows.length, 'file')} in ${since(started)} s.`);
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
// Files cut short decode too with the zero-fill choice, as `vkt2 x --zero-fill` decodes them.
const cutShort = (r) => r.code === 7 || r.code === 8;
const decodeMode = () => ($('zero-fill').checked ? 'zero-fill' : 'decode');
const decodable = (r) =>
  !r.plain && !r.unreadable && (r.verdict !== 'fail' || ($('zero-fill').checked && cutShort(r)));
const wanted = (mode) =>
  rows.filter((r) => (mode === 'compress' ? r.plain && !r.partial : decodable(r))).map((r) => r.id);

// Every file asked for is accounted for: written, written under another name, or not written.
function report(done, renamed, skipped, verb, started) {
  const lines = [
    ...renamed.map((s) => `${escaped(s.path)}: saved as ${escaped(s.out)}`),
    ...skipped.map((s) => `${escaped(s.path)}: ${s.why}`),
  ];
  const tail = [
    renamed.length && `${renamed.length} under another name`,
    skipped.length && `${count(skipped.length, 'file')} not saved`,
  ].filter(Boolean);
  const head = `${verb} ${count(done, 'file')} in ${since(started)} s`;
  status([`${head}${tail.length ? `; ${tail.join('; ')}:` : '.'}`, ...lines].join('\n'));
}
const verbs = { decode: 'Decoded', 'zero-fill': 'Decoded', compress: 'Compressed' };

async function saveZip(mode) {
  const ids = wanted(mode);
  if (!ids.length) return status('Nothing to save.');
  const started = performance.now();
  const { bytes, saved, skipped } = await ask('zip', { ids, mode }, 'Zipping…');
  save(bytes, mode === 'compress' ? 'compressed.zip' : 'decoded.zip', 'application/zip');
  const renamed = saved.filter((s) => s.out !== s.path);
  report(saved.length, renamed, skipped, verbs[mode], started);
}

// One file written under the folder; an existing file is left as it is.
async function writeFile(root, name, bytes) {
  const parts = name.split('/');
  let dir = root;
  for (const part of parts.slice(0, -1)) dir = await dir.getDirectoryHandle(part, { create: true });
  const last = parts.at(-1);
  const exists = await dir.getFileHandle(last).then(
    () => true,
    (e) => e.name !== 'NotFoundError',
  );
  if (exists) throw new Error('a file or folder of that name is already there; left as it is');
  const writable = await (await dir.getFileHandle(last, { create: true })).createWritable();
  await writable.write(bytes);
  await writable.close();
}

// The File System Access API: writes the tree under a folder the user picks, in batches, and
// goes on past a file it cannot write.
async function saveTree(mode) {
  const ids = wanted(mode);
  if (!ids.length) return status('Nothing to save.');
  const root = await window.showDirectoryPicker({ mode: 'readwrite' });
  const started = performance.now();
  let done = 0;
  const renamed = [];
  const skipped = [];
  for (let i = 0; i < ids.length; i += 200) {
    const out = await ask('files', { ids: ids.slice(i, i + 200), mode }, 'Writing…');
    skipped.push(...out.skipped);
    for (const { path, out: name, bytes } of out.entries) {
      try {
        await writeFile(root, name, bytes);
        done++;
        if (name !== path) renamed.push({ path, out: name });
      } catch (e) {
        skipped.push({ path, why: e.message || e.name });
      }
    }
  }
  report(done, renamed, skipped, mode === 'compress' ? 'Wrote compressed' : 'Wrote', started);
}

// The file previewed; a newer choice of file or of view makes an older answer moot.
let previewed = null;
async function showPreview() {
  const asked = (previewed = { ...previewed });
  const { id, path } = asked;
  const p = await ask('preview', { id, as: $('preview-as').value }, 'Preparing the preview…');
  if (asked !== previewed) return;
  const what = p.decoded ? 'decoded' : 'as it is';
  const part =
    p.shown < p.size
      ? `the first ${count(p.shown, 'byte')} of ${p.size.toLocaleString('en')}`
      : count(p.size, 'byte');
  $('preview-title').textContent = `Preview: ${escaped(path)} (${what}, ${part})`;
  $('preview-text').textContent = p.text;
  $('preview').hidden = false;
}

async function act(action, id) {
  const r = rows[id];
  if (action === 'preview') {
    previewed = { id, path: r.path };
    await showPreview();
    $('preview-text').focus();
    return;
  }
  const { bytes } = await ask('one', { id, mode: action }, 'Working…');
  save(bytes, baseName(listed[id].out));
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
$('zero-fill').addEventListener('change', () => {
  summarize();
  render();
});
$('cancel').addEventListener('click', () => {
  if (!cancel()) return;
  if (!listed.length) clear();
  status('Cancelled.');
});
$('more').addEventListener('click', () => {
  limit += page;
  render();
});
$('preview-as').addEventListener('change', guard(showPreview));
$('preview-close').addEventListener('click', () => ($('preview').hidden = true));
// Every save runs through guard, so a failure shows instead of vanishing.
const onClick = (id, action) => $(id).addEventListener('click', guard(action));
onClick('zip-decoded', () => saveZip(decodeMode()));
onClick('zip-compressed', () => saveZip('compress'));
if ('showDirectoryPicker' in window) {
  $('dir-decoded').hidden = $('dir-compressed').hidden = false;
  onClick('dir-decoded', () => saveTree(decodeMode()));
  onClick('dir-compressed', () => saveTree('compress'));
}

const picked = (input) =>
  [...input.files].map((file) => ({ path: file.webkitRelativePath || file.name, file }));
for (const id of ['pick-files', 'pick-folder']) {
  $(id).addEventListener(
    'change',
    guard(async (e) => {
      const mine = clear();
      await open(picked(e.target), mine);
    }),
  );
}

// A dropped folder arrives as an entry tree; walk it for its files and their paths. An entry
// that cannot be opened or listed becomes a row of its own with the reason.
async function walk(entry, out) {
  const path = entry.fullPath.replace(/^\//, '');
  try {
    if (entry.isFile) {
      const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
      out.push({ path, file });
      return;
    }
    const reader = entry.createReader();
    for (;;) {
      const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
      if (!batch.length) return;
      for (const child of batch) await walk(child, out);
    }
  } catch (e) {
    out.push({ path: path || entry.name, error: e.message || e.name });
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
    const mine = clear();
    const entries = [...e.dataTransfer.items].map((i) => i.webkitGetAsEntry()).filter(Boolean);
    const list = [];
    for (const entry of entries) await walk(entry, list);
    if (mine === generation) await open(list, mine);
  }),
);

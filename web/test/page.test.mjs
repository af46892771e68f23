// The page in headless Chromium, one session: a folder of the varied set picked (after picks
// cancelled), its table, the zips and a saved file compared with the package, a Shift-JIS
// preview; no request leaving, its worker's included; names that would escape a zip or
// collide, a file gone before it is read, a drop of no file, and a large preview.
import assert from 'node:assert/strict';
import {
  mkdirSync,
  mkdtempSync,
  readFileSync,
  rmSync,
  truncateSync,
  utimesSync,
  writeFileSync,
} from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { after, before, test } from 'node:test';
import { unzipSync, zipSync } from 'fflate';
import * as vkt2 from '../dist/vkt2.js';
import { browserMissing, dist, openPage } from './browser.mjs';
import { listed, makeCorpus, native } from './native.mjs';

const skip = browserMissing;
const { root, files } = makeCorpus(vkt2.compress);
const top = basename(root);
const bytesOf = Object.fromEntries(files);
const scratch = mkdtempSync(join(tmpdir(), 'vkt2-hostile-'));
function folder(name, files) {
  for (const [path, text] of Object.entries(files)) {
    mkdirSync(join(scratch, name, path, '..'), { recursive: true });
    writeFileSync(join(scratch, name, path), text);
  }
  return join(scratch, name);
}
const many = (prefix, n) =>
  Object.fromEntries(Array.from({ length: n }, (_, i) => [`${prefix}${i}.txt`, `${i}`]));

// Requests for worker.js wait while a gate is queued for them; the test opens each gate.
const gates = [];
const gate = () => {
  let open;
  gates.push(new Promise((resolve) => (open = resolve)));
  return open;
};
let b;
let firstWorker;
before(async () => {
  if (skip) return;
  firstWorker = gate();
  b = await openPage({
    hold: (path) => (path === '/worker.js' ? gates.shift() : null),
    // The folder a "Write into a folder" gets: this origin's private file system.
    init: () => (window.showDirectoryPicker = () => navigator.storage.getDirectory()),
  });
});
after(() => {
  b?.close();
  rmSync(scratch, { recursive: true, force: true });
  rmSync(root, { recursive: true, force: true });
});

const status = () => b.page.textContent('#status');
const paths = () => b.page.$$eval('#rows .path', (tds) => tds.map((td) => td.textContent));
const row = (path) =>
  b.page.locator('#rows tr', { has: b.page.getByText(`${top}/${path}`, { exact: true }) });
async function download(click) {
  const [file] = await Promise.all([b.page.waitForEvent('download'), click()]);
  return readFileSync(await file.path());
}
// A zip's entries under the picked folder, by path inside it.
const unzipped = (zip) =>
  Object.fromEntries(
    Object.entries(unzipSync(zip)).map(([k, v]) => [k.slice(top.length + 1), Buffer.from(v)]),
  );

test('a pick or Cancel ends the work under way: one set listed', { skip }, async () => {
  const first = folder('first', many('f', 150));
  await b.page.setInputFiles('#pick-folder', first);
  await b.page.locator('#busy').waitFor();
  const secondWorker = gate();
  await b.page.click('#cancel');
  assert.equal(await status(), 'Cancelled.');
  assert.ok((await b.page.isHidden('#busy')) && (await b.page.isHidden('#results')));
  await b.page.setInputFiles('#pick-folder', first);
  await b.page.locator('#busy').waitFor();
  await b.page.setInputFiles('#pick-folder', root);
  firstWorker();
  secondWorker();
  await b.page.locator('#results').waitFor();
  assert.match(await status(), new RegExp(`^Tested ${files.length} files in`));
  assert.deepEqual((await paths()).sort(), files.map(([n]) => `${top}/${n}`).sort());
});

test('the table: every file with the verdict worded as vkt2 t words it', { skip }, async () => {
  const shown = await b.page.$$eval('#rows tr', (trs) =>
    trs.map((tr) => [
      tr.querySelector('.path').textContent,
      [...tr.querySelectorAll('.words')].map((s) => s.textContent),
      tr.className,
      ...[2, 3, 4].map((i) => tr.cells[i].textContent),
    ]),
  );
  assert.equal(shown.length, files.length);
  for (const [path, words, cls, ...sizes] of shown) {
    const name = path.slice(top.length + 1);
    const v = vkt2.test(bytesOf[name]);
    assert.deepEqual(words, v.failure ? [v.failure] : v.warnings, name);
    assert.equal(cls, v.codeName === 'NOT_VKT2' ? 'plain' : v.verdict, name);
    const n = bytesOf[name].length;
    const listing = () =>
      native ? listed(join(root, name)) : [`${n}`, `${v.decodedSize}`, sizes[2]];
    assert.deepEqual(sizes, cls === 'plain' ? ['—', `${n}`, '—'] : listing(), name);
  }
  const column = (i) =>
    b.page.$$eval('#rows tr', (trs, k) => trs.map((tr) => tr.cells[k].textContent), i);
  await b.page.getByRole('button', { name: 'Verdict' }).press('Enter');
  assert.match(await b.page.locator('#rows tr').first().getAttribute('class'), /^fail$/);
  await b.page.screenshot({ path: join(dist, 'screenshot.png') });
  await b.page.getByRole('button', { name: 'Original' }).click();
  await b.page.getByRole('button', { name: 'Original' }).click();
  const originals = (await column(3)).map(Number);
  assert.deepEqual(
    originals,
    [...originals].sort((x, y) => y - x),
  );
  await b.page.check('#failures-only');
  const failed = files.filter(
    ([, bytes]) => vkt2.test(bytes).verdict === 'fail' && vkt2.test(bytes).code !== 1,
  );
  assert.deepEqual((await column(0)).sort(), failed.map(([n]) => `${top}/${n}`).sort());
  await b.page.uncheck('#failures-only');
});

test('the zips hold exactly what the package makes of the files it accepts', { skip }, async () => {
  // With zero-fill, files cut short are decoded too, as vkt2x decodes them.
  const cut = (v) => ['CUT_SHORT', 'HEADER_CUT_SHORT'].includes(v.codeName);
  for (const [button, mode, zeroFill] of [
    ['#zip-decoded', 'decompress', false],
    ['#zip-compressed', 'compress', false],
    ['#zip-decoded', 'decompress', true],
  ]) {
    await b.page.setChecked('#zero-fill', zeroFill);
    const zip = unzipped(await download(() => b.page.click(button)));
    const expected = {};
    for (const [name, bytes] of files) {
      const v = vkt2.test(bytes);
      const decoded = v.code === 0 || (zeroFill && cut(v));
      if (mode === 'compress' ? v.codeName !== 'NOT_VKT2' : !decoded) continue;
      try {
        expected[name] = Buffer.from(vkt2[mode](bytes, { zeroFill }));
      } catch {
        // Too large to compress: skipped, and said so.
      }
    }
    assert.deepEqual(Object.keys(zip).sort(), Object.keys(expected).sort(), button);
    for (const name of Object.keys(expected)) assert.ok(zip[name].equals(expected[name]), name);
    if (mode === 'compress') {
      const said = await b.page.textContent('#status');
      assert.match(said, /random-max.bin: does not fit in 65,536 bytes once compressed/);
    }
  }
  await b.page.uncheck('#zero-fill');
});

test('a plain file previewed as Shift-JIS, compressed, and decoded back', { skip }, async () => {
  const preview = async (path, as) => {
    await row(path)
      .getByRole('button', { name: /^Preview/ })
      .click();
    await b.page.locator('#preview').waitFor();
    await b.page.selectOption('#preview-as', as);
    await b.page.locator('#busy').waitFor({ state: 'hidden' });
    return [await b.page.textContent('#preview-title'), await b.page.textContent('#preview-text')];
  };
  const [title, text] = await preview('text/japanese.txt', 'shift_jis');
  assert.match(title, /japanese.txt \(as it is, 7,200 bytes\)$/);
  assert.match(text, /^(日本語のテキストです。\r\n){300}$/);
  const packed = await download(() =>
    row('text/japanese.txt')
      .getByRole('button', { name: /compressed/ })
      .click(),
  );
  assert.ok(packed.equals(vkt2.compress(bytesOf['text/japanese.txt'])));
  await b.page.setInputFiles('#pick-files', {
    name: 'back.vkt2',
    mimeType: 'application/octet-stream',
    buffer: packed,
  });
  const decoded = await download(() =>
    b.page.getByRole('button', { name: 'Save decoded back.vkt2' }).click(),
  );
  assert.ok(decoded.equals(bytesOf['text/japanese.txt']));
  await b.page.getByRole('button', { name: 'Preview back.vkt2' }).click();
  await b.page.selectOption('#preview-as', 'hex');
  await b.page.locator('#busy').waitFor({ state: 'hidden' });
  assert.match(await b.page.textContent('#preview-text'), /^00000000  93 fa 96 7b 8c ea/);
  assert.match(await b.page.textContent('#preview-title'), /back.vkt2 \(decoded, 7,200 bytes\)$/);
});

test('no request left the page', { skip }, () => {
  const foreign = b.requests.filter((u) => !u.startsWith(`${b.origin}/`) && !u.startsWith('blob:'));
  assert.deepEqual(foreign, []);
  assert.ok(b.requests.some((u) => u.endsWith('/worker.js')));
});

test("the worker is under the page's policy: a fetch from it never leaves", { skip }, async () => {
  let arrived = 0;
  const other = createServer((req, res) => res.end(`${++arrived}`));
  await new Promise((ok) => other.listen(0, '127.0.0.1', ok));
  const url = `http://127.0.0.1:${other.address().port}/`;
  const worker = b.page.workers().at(-1);
  const got = await worker.evaluate((u) => fetch(u).catch((e) => e.name), url);
  other.close();
  assert.deepEqual([got, arrived], ['TypeError', 0]);
});

test('names that would leave the folder or collide: safe and distinct', { skip }, async () => {
  const files = {
    '..\\..\\..\\evil-dotdot.txt': 'evil',
    'a\\b': 'backslash',
    'a/b': 'nested',
    'x\\y': 'file under a file',
    x: 'x itself',
    'C:\\drive.txt': 'drive',
    'Same.txt': 'upper',
    'same.txt': 'lower',
    'caf\u00e9.txt': 'composed',
    'cafe\u0301.txt': 'decomposed',
    dot: 'no dot',
    'dot.': 'trailing dot',
    'con.txt': 'a device on Windows',
    'notes:old': 'a stream on Windows',
    'line\nbreak\x1b[31m.txt': 'controls',
  };
  await b.page.setInputFiles('#pick-folder', folder('names', files));
  await b.page.locator('#results').waitFor();
  const zip = unzipSync(await download(() => b.page.click('#zip-compressed')));
  const names = Object.keys(zip);
  for (const name of names) {
    assert.doesNotMatch(
      name,
      /(^|\/)(\.\.?|con|prn|aux|nul|com\d|lpt\d)(\.[^/]*)?(\/|$)|^\/|\\|:|\/\//i,
      name,
    );
    assert.ok(!names.some((n) => n.toLowerCase().startsWith(`${name.toLowerCase()}/`)), name);
  }
  const key = (n) => n.normalize('NFC').toLowerCase().replace(/\.$/, '');
  assert.equal(new Set(names.map(key)).size, 15);
  // Shown as the tools show names: controls escaped.
  const table = await paths();
  assert.ok(table.includes('names/line\\x0abreak\\x1b[31m.txt'), table.join(' | '));
  const texts = Object.values(zip).map((v) => new TextDecoder().decode(vkt2.decompress(v)));
  assert.deepEqual(texts.sort(), Object.values(files).sort());
  assert.match(await status(), /^Compressed 15 files in .*; 9 under another name:/);

  // Into a folder: one output is already there as a folder, and the rest are still written.
  const taken = names.find((n) => n.endsWith('/Same.txt') || n.endsWith('/same.txt'));
  await b.page.evaluate(async (path) => {
    let dir = await navigator.storage.getDirectory();
    for (const part of path.split('/')) dir = await dir.getDirectoryHandle(part, { create: true });
  }, taken);
  await b.page.click('#dir-compressed');
  await b.page.waitForFunction(() => /^Wrote/.test(document.querySelector('#status').textContent));
  const said = /^Wrote compressed 14 files .*; 1 file not saved:\n[^]*ame\.txt: a file or folder/;
  assert.match(await status(), said);
  const evil = names.find((n) => n.includes('evil'));
  const size = await b.page.evaluate(async (path) => {
    let dir = await navigator.storage.getDirectory();
    for (const part of path.split('/').slice(0, -1)) dir = await dir.getDirectoryHandle(part);
    return (await (await dir.getFileHandle(path.split('/').at(-1))).getFile()).size;
  }, evil);
  assert.equal(size, zip[evil].length);
});

test('a vanished file, a large preview, an empty drop', { skip }, async () => {
  const dir = folder('mixed', { 'gone.txt': 'soon gone', 'kept.txt': 'kept', 'huge.bin': '' });
  writeFileSync(join(dir, 'big.txt'), 'large file line\n'.repeat(3 << 16));
  truncateSync(join(dir, 'huge.bin'), 3 * 2 ** 30); // read no further than it counts
  // The files are picked, then one is removed before the page reads it.
  const stash = '<input type="file" multiple id="stash">';
  await b.page.evaluate((html) => document.body.insertAdjacentHTML('beforeend', html), stash);
  await b.page.setInputFiles(
    '#stash',
    ['gone.txt', 'kept.txt', 'big.txt', 'huge.bin'].map((f) => join(dir, f)),
  );
  rmSync(join(dir, 'gone.txt'));
  await b.page.evaluate(() => {
    const pick = document.getElementById('pick-files');
    pick.files = document.getElementById('stash').files;
    pick.dispatchEvent(new Event('change'));
  });
  await b.page.locator('#results').waitFor();
  assert.deepEqual((await paths()).sort(), ['big.txt', 'gone.txt', 'huge.bin', 'kept.txt']);
  assert.match(
    await b.page.textContent('#rows tr.fail'),
    /gone.txt✗ unreadablecannot be read: .*———$/,
  );
  assert.match(await b.page.textContent('#summary'), /4 files: 3 plain, .*, 1 unreadable$/);
  assert.match(await b.page.textContent('#rows'), /huge.binplainnot a VKT2 file—3221225472—/);
  const disabled = (id) => b.page.isDisabled(id);
  assert.ok((await disabled('#zip-decoded')) && !(await disabled('#zip-compressed')));

  await b.page.getByRole('button', { name: 'Preview big.txt' }).click();
  await b.page.locator('#preview').waitFor();
  const cut = async (as, shown, length) => {
    await b.page.selectOption('#preview-as', as);
    await b.page.locator('#busy').waitFor({ state: 'hidden' });
    const title = await b.page.textContent('#preview-title');
    assert.match(title, new RegExp(`as it is, the first ${shown} bytes of 3,145,728\\)$`));
    assert.equal((await b.page.textContent('#preview-text')).length, length);
  };
  await cut('hex', '65,536', 4096 * 77 - 1);
  await cut('utf-8', '262,144', 1 << 18);

  const text = await b.page.evaluateHandle(() => {
    const dt = new DataTransfer();
    dt.setData('text/plain', 'not a file');
    return dt;
  });
  await b.page.dispatchEvent('#drop', 'drop', { dataTransfer: text });
  await b.page.waitForFunction(() => document.querySelector('#results').hidden);
  assert.deepEqual(await paths(), []);
  assert.match(await status(), /^Nothing to test/);
});

test(
  'a zip picked: its members as rows, a huge one read no further than counts',
  { skip },
  async () => {
    const text = Buffer.from('a member of a zip, '.repeat(300));
    const packed = vkt2.compress(text);
    const huge = Buffer.concat([packed, Buffer.alloc(64 << 20)]);
    const when = new Date(2003, 4, 5, 6, 7, 8);
    const zip = Buffer.from(
      zipSync({
        'bad.vkt2': packed,
        'in/good.vkt2': [packed, { mtime: when }],
        'huge.vkt2': [huge, { mtime: when }],
        'plain.txt': Buffer.from('plain'),
        'locked.vkt2': [packed, { level: 0 }],
      }),
    );
    zip[30 + zip.readUInt16LE(26) + zip.readUInt16LE(28)] = 0xff; // bad.vkt2: no deflate block
    // locked.vkt2 marked encrypted, in its own header and in the directory.
    for (const [sig, at] of [
      [0x04034b50, 6],
      [0x02014b50, 8],
    ])
      for (let i = zip.indexOf(Buffer.from([0x50, 0x4b])); i >= 0; i = zip.indexOf('PK', i + 1))
        if (
          zip.readUInt32LE(i) === sig &&
          zip.includes('locked.vkt2', i + 30) &&
          zip.indexOf('locked.vkt2', i + 30) - i === (sig === 0x04034b50 ? 30 : 46)
        )
          zip[i + at] |= 1;
    const dir = folder('zip', { 'a.zip': zip });
    await b.page.setInputFiles('#pick-files', join(dir, 'a.zip'));
    await b.page.locator('#results').waitFor();
    const shown = await b.page.$$eval('#rows tr', (trs) =>
      trs.map((tr) =>
        [...tr.cells]
          .slice(0, 3)
          .map((td) => td.textContent)
          .concat(tr.cells[5].childElementCount),
      ),
    );
    const words = vkt2.test(huge.subarray(0, 65537)).warnings.join('');
    assert.deepEqual(shown.sort(), [
      ['a.zip/bad.vkt2', '✗ unreadablecannot be read: invalid block type', '—', 0],
      ['a.zip/huge.vkt2', `! warning${words}`, `${huge.length}`, 2],
      ['a.zip/in/good.vkt2', '✓ pass', `${packed.length}`, 2],
      ['a.zip/locked.vkt2', '✗ unreadablecannot be read: encrypted', '—', 0],
      ['a.zip/plain.txt', 'plainnot a VKT2 file', '—', 0],
    ]);
    const saved = await download(() => b.page.click('#zip-decoded'));
    const decoded = unzipSync(saved);
    assert.deepEqual(Object.keys(decoded).sort(), ['a.zip/huge.vkt2', 'a.zip/in/good.vkt2']);
    assert.ok(Object.values(decoded).every((v) => text.equals(v)));
    assert.deepEqual(zipHeaders(saved), [
      [8, when.getTime()],
      [8, when.getTime()],
    ]);
    assert.ok(await b.page.isDisabled('#zip-compressed'));
  },
);

// Each entry's compression method and date, from the zip's central directory.
function zipHeaders(zip) {
  const v = new DataView(zip.buffer, zip.byteOffset, zip.length);
  const out = [];
  for (let at = v.getUint32(zip.length - 6, true); v.getUint32(at, true) === 0x02014b50;) {
    const [time, date] = [v.getUint16(at + 12, true), v.getUint16(at + 14, true)];
    const when = new Date(1980 + (date >> 9), ((date >> 5) & 15) - 1, date & 31, time >> 11);
    when.setMinutes((time >> 5) & 63, (time & 31) * 2);
    out.push([v.getUint16(at + 10, true), when.getTime()]);
    at += 46 + v.getUint16(at + 28, true) + v.getUint16(at + 30, true) + v.getUint16(at + 32, true);
  }
  return out;
}

test('the page as one file, opened from the disk: a zip deflated and dated', { skip }, async () => {
  const text = 'a line of text that repeats, '.repeat(500);
  const dir = folder('disk', { 'a.txt': vkt2.compress(Buffer.from(text)), 'b.txt': 'plain' });
  const dates = [new Date(2001, 1, 3, 4, 5, 6), new Date(1999, 11, 31, 23, 59, 58)];
  utimesSync(join(dir, 'a.txt'), dates[0], dates[0]);
  utimesSync(join(dir, 'b.txt'), dates[1], dates[1]);
  const p = await b.page.context().newPage();
  const errors = [];
  p.on('pageerror', (e) => errors.push(e.message));
  await p.goto(pathToFileURL(join(dist, 'vkt2.html')).href);
  await p.setInputFiles('#pick-folder', dir);
  await p.locator('#results').waitFor();
  assert.deepEqual(await p.$$eval('#rows tr', (trs) => trs.map((tr) => tr.className)), [
    'pass',
    'plain',
  ]);
  const saved = async (button) => {
    const [file] = await Promise.all([p.waitForEvent('download'), p.click(button)]);
    return readFileSync(await file.path());
  };
  const decoded = await saved('#zip-decoded');
  assert.equal(Buffer.from(unzipSync(decoded)['disk/a.txt']).toString(), text);
  assert.deepEqual(zipHeaders(decoded), [[8, dates[0].getTime()]]);
  const packed = await saved('#zip-compressed');
  assert.deepEqual(zipHeaders(packed), [[8, dates[1].getTime()]]);
  assert.ok(await p.isHidden('#serve'));
  // Its worker is under the policy the file carries: it may connect nowhere.
  const got = await p
    .workers()[0]
    .evaluate(() => fetch('http://127.0.0.1:9/').catch((e) => e.name));
  assert.deepEqual([got, errors], ['TypeError', []]);
  await p.close();
});

// The page against hostile names, races and large or vanishing files, in one Chromium session:
// its worker's requests, picks that overlap, names that would escape a zip or collide, a file
// gone before it is read, a drop of no file, and a large preview.
import assert from 'node:assert/strict';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { unzipSync } from 'fflate';
import * as vkt2 from '../dist/vkt2.js';
import { browserMissing, openPage } from './browser.mjs';

const skip = browserMissing;
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
});

const status = () => b.page.textContent('#status');
const paths = () => b.page.$$eval('#rows .path', (tds) => tds.map((td) => td.textContent));
async function download(click) {
  const [file] = await Promise.all([b.page.waitForEvent('download'), click()]);
  return unzipSync(readFileSync(await file.path()));
}

test('a pick or Cancel ends the work under way: one set listed', { skip }, async () => {
  const first = folder('first', many('f', 150));
  const second = folder('second', many('s', 120));
  await b.page.setInputFiles('#pick-folder', first);
  await b.page.locator('#busy').waitFor();
  const secondWorker = gate();
  await b.page.click('#cancel');
  assert.equal(await status(), 'Cancelled.');
  assert.ok(await b.page.isHidden('#busy'));
  assert.ok(await b.page.isHidden('#results'));
  await b.page.setInputFiles('#pick-folder', first);
  await b.page.locator('#busy').waitFor();
  await b.page.setInputFiles('#pick-folder', second);
  firstWorker();
  secondWorker();
  await b.page.locator('#results').waitFor();
  assert.match(await status(), /^Tested 120 files in/);
  const shown = await paths();
  assert.deepEqual(shown.sort(), Object.keys(many('second/s', 120)).sort());
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
  };
  await b.page.setInputFiles('#pick-folder', folder('names', files));
  await b.page.locator('#results').waitFor();
  const zip = await download(() => b.page.click('#zip-compressed'));
  const names = Object.keys(zip);
  for (const name of names) {
    assert.doesNotMatch(name, /(^|\/)\.\.?(\/|$)|^\/|\\|^[a-z]:|\/\/|(^|\/)[a-z]:/i, name);
    assert.ok(!names.some((n) => n.toLowerCase().startsWith(`${name.toLowerCase()}/`)), name);
  }
  assert.equal(new Set(names.map((n) => n.toLowerCase())).size, 8);
  const texts = Object.values(zip).map((v) => new TextDecoder().decode(vkt2.decompress(v)));
  assert.deepEqual(texts.sort(), Object.values(files).sort());
  assert.match(await status(), /^Compressed 8 files in .*; 5 under another name:/);

  // Into a folder: one output is already there as a folder, and the rest are still written.
  const taken = names.find((n) => n.endsWith('/Same.txt') || n.endsWith('/same.txt'));
  await b.page.evaluate(async (path) => {
    let dir = await navigator.storage.getDirectory();
    for (const part of path.split('/')) dir = await dir.getDirectoryHandle(part, { create: true });
  }, taken);
  await b.page.click('#dir-compressed');
  await b.page.waitForFunction(() => /^Wrote/.test(document.querySelector('#status').textContent));
  assert.match(await status(), /; 1 file not saved:\n[^]*ame\.txt: a file or folder of that name/);
  const written = await b.page.evaluate(async () => {
    const out = [];
    const walk = async (dir, at) => {
      for await (const [name, h] of dir.entries())
        if (h.kind === 'file') out.push(at + name);
        else await walk(h, `${at}${name}/`);
    };
    await walk(await navigator.storage.getDirectory(), '');
    return out;
  });
  assert.deepEqual(written.sort(), names.filter((n) => n !== taken).sort());
});

test('a vanished file, a large preview, an empty drop', { skip }, async () => {
  const dir = folder('mixed', { 'gone.txt': 'soon gone', 'kept.txt': 'kept' });
  const big = join(dir, 'big.txt');
  writeFileSync(big, 'large file line\n'.repeat(3 << 16));
  // The files are picked, then one is removed before the page reads it.
  const stash = '<input type="file" multiple id="stash">';
  await b.page.evaluate((html) => document.body.insertAdjacentHTML('beforeend', html), stash);
  await b.page.setInputFiles(
    '#stash',
    ['gone.txt', 'kept.txt', 'big.txt'].map((f) => join(dir, f)),
  );
  rmSync(join(dir, 'gone.txt'));
  await b.page.evaluate(() => {
    const pick = document.getElementById('pick-files');
    pick.files = document.getElementById('stash').files;
    pick.dispatchEvent(new Event('change'));
  });
  await b.page.locator('#results').waitFor();
  assert.deepEqual(await paths(), ['big.txt', 'gone.txt', 'kept.txt']);
  assert.match(await b.page.textContent('#rows tr.fail'), /gone.txt✗ unreadablecannot be read: /);
  assert.match(await b.page.textContent('#summary'), /3 files: 2 plain, .*, 1 unreadable$/);
  assert.deepEqual(
    [await b.page.isDisabled('#zip-decoded'), await b.page.isDisabled('#zip-compressed')],
    [true, false],
  );

  await b.page.getByRole('button', { name: 'Preview big.txt' }).click();
  await b.page.locator('#preview').waitFor();
  const title = await b.page.textContent('#preview-title');
  assert.match(title, /as it is, the first 262,144 bytes of 3,145,728\)$/);
  assert.equal((await b.page.textContent('#preview-text')).length, 1 << 18);

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

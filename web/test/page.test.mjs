// The page in headless Chromium: a folder of the varied set picked, its table, the zips and a
// saved file compared with the package, a Shift-JIS preview, and no request leaving.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { basename, join } from 'node:path';
import { after, before, test } from 'node:test';
import { unzipSync } from 'fflate';
import * as vkt2 from '../dist/vkt2.js';
import { dist, openPage } from './browser.mjs';
import { listed, makeCorpus, native } from './native.mjs';

const { root, files } = makeCorpus(vkt2.compress);
const top = basename(root);
const bytesOf = Object.fromEntries(files);
let b;

before(async () => {
  b = await openPage();
  await b.page.setInputFiles('#pick-folder', root);
  await b.page.locator('#results').waitFor();
});
after(() => b?.close());

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

test('the table: every file with the verdict worded as vkt2 t words it', async () => {
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
    const listing = native ? listed(join(root, name)) : [`${n}`, `${v.decodedSize}`, sizes[2]];
    assert.deepEqual(sizes, cls === 'plain' ? ['—', `${n}`, '—'] : listing, name);
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

test('the zips hold exactly what the package makes of the files it accepts', async () => {
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

test('a plain file previewed as Shift-JIS, compressed, and decoded back', async () => {
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

test('no request left the page', () => {
  const foreign = b.requests.filter((u) => !u.startsWith(`${b.origin}/`) && !u.startsWith('blob:'));
  assert.deepEqual(foreign, []);
  assert.ok(b.requests.some((u) => u.endsWith('/worker.js')));
});

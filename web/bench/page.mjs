// The page in headless Chromium on 2,000 VKT2 files of 1 to 64 KiB: the seconds it takes to
// test and list them, then to decode them all into a zip, as the page itself reports them.
import { mkdirSync, mkdtempSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import * as vkt2 from '../dist/vkt2.js';
import { openPage } from '../test/browser.mjs';

const root = mkdtempSync(join(tmpdir(), 'vkt2-page-bench-'));
const words = 'the of and to a in that is was he for it with as his on be at by had'.split(' ');
let seed = 3;
const next = () => (seed = (Math.imul(seed, 1103515245) + 12345) >>> 0) >>> 8;
for (let i = 0; i < 2000; i++) {
  const size = 1024 + (next() % (65535 - 1024));
  const text = [];
  for (let n = 0; n < size; n += text.at(-1).length)
    text.push(`${words[next() % words.length]}${next() % 9 ? ' ' : '\n'}`);
  const bytes = Buffer.from(text.join('')).subarray(0, size);
  mkdirSync(join(root, `d${i % 20}`), { recursive: true });
  writeFileSync(join(root, `d${i % 20}`, `f${i}.txt`), vkt2.compress(bytes));
}

const b = await openPage();
try {
  await b.page.setInputFiles('#pick-folder', root);
  await b.page.locator('#results').waitFor({ timeout: 120000 });
  console.log(await b.page.textContent('#status'));
  const [download] = await Promise.all([
    b.page.waitForEvent('download', { timeout: 300000 }),
    b.page.click('#zip-decoded'),
  ]);
  await download.path();
  console.log(await b.page.textContent('#status'));
} finally {
  await b.close();
}

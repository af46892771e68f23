// Serves dist/ on a local port and opens it in headless Chromium; shared by tests and bench.
// `hold(path)` may return a promise the server waits for before it answers that path, and
// `init` is a script run in the page before its own.
import { existsSync, mkdtempSync, readFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { extname, join, normalize, resolve } from 'node:path';
import { chromium } from 'playwright-core';

export const dist = resolve(import.meta.dirname, '..', 'dist');
const types = {
  '.html': 'text/html',
  '.js': 'text/javascript',
  '.css': 'text/css',
  '.png': 'image/png',
};

const executablePath = process.env.CHROMIUM ?? '/usr/bin/chromium';
/** Why the page's tests are skipped, or false when they run. */
export const browserMissing = !existsSync(executablePath) && `no Chromium at ${executablePath}`;

export async function openPage({ hold = () => null, init } = {}) {
  const server = createServer(async (req, res) => {
    const path = normalize(decodeURIComponent(new URL(req.url, 'http://x').pathname));
    await hold(path);
    try {
      const body = readFileSync(join(dist, path.endsWith('/') ? `${path}index.html` : path));
      res.writeHead(200, {
        'content-type': types[extname(path) || '.html'] ?? 'application/octet-stream',
      });
      res.end(body);
    } catch {
      res.writeHead(404).end();
    }
  });
  await new Promise((ok) => server.listen(0, '127.0.0.1', ok));
  const origin = `http://127.0.0.1:${server.address().port}`;
  const context = await chromium.launchPersistentContext(
    mkdtempSync(join(tmpdir(), 'vkt2-chromium-')),
    {
      executablePath,
      headless: true,
      acceptDownloads: true,
      args: [
        '--headless',
        '--no-sandbox',
        '--disable-gpu',
        '--disable-quic',
        '--no-first-run',
        '--disable-background-networking',
        '--disable-component-update',
        '--disable-sync',
      ],
    },
  );
  const requests = [];
  context.on('request', (r) => requests.push(r.url()));
  if (init) await context.addInitScript(init);
  const page = context.pages()[0] ?? (await context.newPage());
  page.on('pageerror', (e) => requests.push(`page error: ${e.message}`));
  await page.goto(`${origin}/`);
  const close = async () => {
    await context.close();
    server.close();
  };
  return { page, origin, requests, close };
}

// Serves dist/ on a local port and opens it in headless Chromium; shared by tests and bench.
import { mkdtempSync, readFileSync } from 'node:fs';
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

export async function openPage() {
  const server = createServer((req, res) => {
    const path = normalize(decodeURIComponent(new URL(req.url, 'http://x').pathname));
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
      executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
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
  const page = context.pages()[0] ?? (await context.newPage());
  page.on('pageerror', (e) => requests.push(`page error: ${e.message}`));
  await page.goto(`${origin}/`);
  const close = async () => {
    await context.close();
    server.close();
  };
  return { page, origin, requests, close };
}

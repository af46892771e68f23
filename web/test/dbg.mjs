import { openPage } from './browser.mjs';
const b = await openPage();
b.page.on('console', (m) => console.log('console:', m.type(), m.text()));
b.page.context().on('weberror', (e) => console.log('weberror', e.error()));
const r = await b.page.evaluate(async (o) => {
  const out = [];
  for (const src of [
    `import(${JSON.stringify(o + '/fflate.js')}).then(()=>postMessage('fflate ok'), e=>postMessage(String(e)))`,
    `import ${JSON.stringify(o + '/vkt2.js')}; postMessage('static vkt2 ok')`,
  ]) {
    const u = URL.createObjectURL(new Blob([src], { type: 'text/javascript' }));
    out.push(
      await new Promise((res) => {
        const w = new Worker(u, { type: 'module' });
        w.onmessage = (e) => res(e.data);
        w.onerror = (e) => res('error ' + e.message);
        setTimeout(() => res('timeout'), 2000);
      }),
    );
  }
  return out;
}, b.origin);
console.log(r);
await b.close();

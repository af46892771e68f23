// Builds the WebAssembly core from the native library's own sources, takes the library's codes,
// limits and verdict layout from its C header, then lays out the npm package and the page in
// dist/, and the page again as one file, vkt2.html, that runs opened from the disk. fflate is
// copied in so the page fetches nothing foreign. The WebAssembly is compiled again only when a
// source of the library is newer than it.
import { execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import {
  copyFileSync,
  existsSync,
  mkdirSync,
  readFileSync,
  readdirSync,
  statSync,
  writeFileSync,
} from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const web = dirname(fileURLToPath(import.meta.url));
const core = join(web, '..', 'core');
const dist = join(web, 'dist');
mkdirSync(dist, { recursive: true });

// What JavaScript needs of vkt2.h, read from it so that no copy can drift. Every number is
// checked for, so a header this cannot read stops the build.
const header = readFileSync(join(core, 'include', 'vkt2', 'vkt2.h'), 'utf8');
function define(name) {
  const m = header.match(new RegExp(`^#define VKT2_${name} (\\d+)u?$`, 'm'));
  if (!m) throw new Error(`build.mjs: vkt2.h defines no VKT2_${name}`);
  return Number(m[1]);
}
const codes = Object.fromEntries(
  [...header.matchAll(/^\s*VKT2_(OK|ERROR_\w+) = (\d+),?/gm)].map(([, name, value]) => [
    name.replace(/^ERROR_/, ''),
    Number(value),
  ]),
);
const struct = header.match(/struct vkt2_verdict \{([^}]*)\}/);
// Fields of the verdict in order; in wasm32 each size_t and int is one 32-bit word.
const fields = [...(struct?.[1] ?? '').matchAll(/^\s*(?:size_t|int) (\w+);/gm)].map((m) => m[1]);
if (codes.OK !== 0 || !codes.CUT_SHORT || fields[0] !== 'struct_size' || fields.length < 9)
  throw new Error('build.mjs: cannot read the codes or struct vkt2_verdict from vkt2.h');
const generated = {
  codes,
  MAX_ORIGINAL_SIZE: define('MAX_ORIGINAL_SIZE'),
  MAX_FILE_SIZE: define('MAX_FILE_SIZE'),
  ZERO_FILL: define('ZERO_FILL'),
  verdictFields: fields,
};
const exported = [
  'decompress',
  'decompress_ex',
  'compress',
  'compress_bound',
  'decoded_size',
  'test',
  'verdict_text',
  'error_name',
  'version_string',
]
  .map((f) => `_vkt2_${f}`)
  .concat(['_malloc', '_free']);
const sources = readdirSync(core)
  .filter((f) => f.endsWith('.cpp'))
  .map((f) => join(core, f));
const built = join(dist, 'vkt2-core.js');
const changed = (f) => statSync(f).mtimeMs > statSync(built).mtimeMs;
const headers = readdirSync(join(core, 'include', 'vkt2')).map((f) =>
  join(core, 'include', 'vkt2', f),
);
if (!existsSync(built) || [...sources, ...headers, import.meta.filename].some(changed)) {
  try {
    compile();
  } catch (e) {
    if (e.code !== 'ENOENT') throw e;
    console.error(
      'build.mjs: emcc not found: install Emscripten (Debian: apt-get install emscripten)',
    );
    process.exit(1);
  }
}

function compile() {
  execFileSync(
    'emcc',
    [
      ...sources,
      `-I${join(core, 'include')}`,
      '-std=c++20',
      // -O2, -flto, -msimd128 and -mbulk-memory each measured no faster on the decoder than -O3
      // alone (web/bench's module column), so the module asks nothing of an engine beyond MVP.
      '-O3',
      '-DNDEBUG',
      // A web-environment single file is the one output that loads in both Node and browsers.
      '-sENVIRONMENT=web,worker',
      '-sSINGLE_FILE=1',
      '-sMODULARIZE=1',
      '-sEXPORT_ES6=1',
      '-sEXPORT_NAME=createCore',
      '-sALLOW_MEMORY_GROWTH=1',
      '-sFILESYSTEM=0',
      `-sEXPORTED_FUNCTIONS=${exported.join(',')}`,
      '-sEXPORTED_RUNTIME_METHODS=UTF8ToString',
      '-o',
      built,
    ],
    { stdio: 'inherit', env: { ...process.env, NODE_PATH: '/usr/share/nodejs' } },
  );
}

for (const f of readdirSync(join(web, 'src'))) copyFileSync(join(web, 'src', f), join(dist, f));
const made = '// Made by build.mjs from core/include/vkt2/vkt2.h.\n';
writeFileSync(
  join(dist, 'vkt2-header.js'),
  made +
    Object.entries(generated)
      .map(([k, v]) => `export const ${k} = Object.freeze(${JSON.stringify(v)});\n`)
      .join(''),
);
// Its types: each number as its literal type.
const literal = (v) =>
  typeof v === 'number'
    ? `${v}`
    : Array.isArray(v)
      ? `readonly [${v.map((x) => JSON.stringify(x)).join(', ')}]`
      : `Readonly<{ ${Object.entries(v)
          .map(([k, x]) => `${k}: ${x}`)
          .join('; ')} }>`;
writeFileSync(
  join(dist, 'vkt2-header.d.ts'),
  made +
    Object.entries(generated)
      .map(([k, v]) => `export declare const ${k}: ${literal(v)};\n`)
      .join(''),
);
copyFileSync(join(web, 'node_modules', 'fflate', 'esm', 'browser.js'), join(dist, 'fflate.js'));
copyFileSync(join(web, '..', 'LICENSE'), join(dist, 'LICENSE'));

// A module as a classic script: its body runs in an async function whose result is its exports,
// and an import awaits the module it names. Only the forms the page's own modules use are known;
// any other stops the build rather than make a page that fails when opened.
function classic(name, text) {
  const names = [];
  const from = (m) => `await modules[${JSON.stringify(m)}]`;
  const body = text
    .replace(
      /^import \* as (\w+) from '\.\/([\w.-]+)';$/gm,
      (_, v, m) => `const ${v} = ${from(m)};`,
    )
    .replace(
      /^import (\w+) from '\.\/([\w.-]+)';$/gm,
      (_, v, m) => `const ${v} = (${from(m)}).default;`,
    )
    .replace(
      /^import \{([^}]*)\} from '\.\/([\w.-]+)';$/gm,
      (_, v, m) => `const {${v.replaceAll(' as ', ': ')}} = ${from(m)};`,
    )
    .replace(/^export ((?:async )?(?:function\*? |const |let |class ))(\w+)/gm, (_, kind, n) => {
      names.push(n);
      return `${kind}${n}`;
    })
    .replace(/^export default (\w+);$/m, (_, n) => (names.push(`default: ${n}`), ''))
    .replace(/^export \{([^}]*)\};$/gm, (_, list) => {
      for (const n of list
        .split(',')
        .map((x) => x.trim())
        .filter(Boolean)) {
        const [local, as = local] = n.split(/\s+as\s+/);
        names.push(as === local ? local : `${as}: ${local}`);
      }
      return '';
    })
    .replaceAll('import.meta.url', 'self.location.href');
  if (/^\s*(import|export)\b/m.test(body))
    throw new Error(`build.mjs: ${name}: unknown import or export`);
  return `modules[${JSON.stringify(name)}] = (async () => {\n${body}\nreturn { ${names.join(', ')} };\n})();\n`;
}

const read = (f) => readFileSync(join(dist, f), 'utf8');
const sha = (text) => `'sha256-${createHash('sha256').update(text).digest('base64')}'`;
// Text that would end the element it sits in, or open a comment there, cannot be inlined.
function inline(name, text) {
  if (/<\/(script|style)|<!--/i.test(text)) throw new Error(`build.mjs: ${name} cannot be inlined`);
  return text;
}

// One file that opens from the disk: a page at file:// may load no script, style or module of
// its own folder. Its style and script are inline and named in its policy by their hashes; the
// worker's modules are one classic script inside it, run from a blob: URL made of that text,
// so the worker too runs under the page's policy; the WebAssembly is already in vkt2-core.js.
function onePage() {
  const fflate = readFileSync(join(web, 'node_modules', 'fflate', 'umd', 'index.js'), 'utf8');
  const worker = inline(
    'worker',
    [
      'const modules = {};\n',
      classic('vkt2-core.js', read('vkt2-core.js')),
      classic('vkt2-header.js', read('vkt2-header.js')),
      classic('vkt2.js', read('vkt2.js')),
      `modules['fflate.js'] = (async () => {\nconst module = { exports: {} };\nconst exports = module.exports;\n${fflate}\nreturn module.exports;\n})();\n`,
      classic('worker.js', read('worker.js')),
    ].join(''),
  );
  const style = inline('style.css', read('style.css'));
  const app = inline('app.js', read('app.js'));
  let html = read('index.html');
  const swap = (from, to) => {
    if (!html.includes(from)) throw new Error(`build.mjs: index.html lacks ${from}`);
    html = html.replace(from, () => to);
  };
  swap(/script-src 'self'/.exec(html)?.[0] ?? 'script-src', `script-src ${sha(app)}`);
  swap("worker-src 'self' blob:", 'worker-src blob:');
  swap("style-src 'self'", `style-src ${sha(style)}`);
  swap('<link rel="stylesheet" href="style.css" />', `<style>${style}</style>`);
  swap('<script type="module" src="app.js"></script>', '');
  swap(
    /<p id="serve" class="note">[^]*?<\/p>/.exec(html)?.[0] ?? '<p id="serve"',
    '<p id="serve" class="note">If this note stays, your browser does not run this page\'s scripts.</p>',
  );
  swap(
    '</body>',
    `<script type="text/plain" id="worker-source">${worker}</script>\n` +
      `<script type="module">${app}</script>\n</body>`,
  );
  return html;
}
writeFileSync(join(dist, 'vkt2.html'), onePage());

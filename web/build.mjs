// Builds the WebAssembly core from the native library's own sources, then lays out the npm
// package and the page in dist/. fflate is copied in so the page fetches nothing foreign. The
// WebAssembly is compiled again only when a source of the library is newer than it.
import { execFileSync } from 'node:child_process';
import { copyFileSync, existsSync, mkdirSync, readdirSync, statSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const web = dirname(fileURLToPath(import.meta.url));
const core = join(web, '..', 'core');
const dist = join(web, 'dist');
mkdirSync(dist, { recursive: true });

const exported = [
  'decompress',
  'compress',
  'compress_bound',
  'decoded_size',
  'test',
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
copyFileSync(join(web, 'node_modules', 'fflate', 'esm', 'browser.js'), join(dist, 'fflate.js'));
copyFileSync(join(web, '..', 'LICENSE'), join(dist, 'LICENSE'));

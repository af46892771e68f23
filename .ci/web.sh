#!/usr/bin/env bash
# CI for web/: the WebAssembly build, the npm package's tests in Node and the page's in headless
# Chromium against the native tools in build/, then the packed tarball installed offline into a
# scratch project, used there from JavaScript and type-checked from TypeScript.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

if [ "$(id -u)" = 0 ]; then
  apt-get install -y -qq emscripten chromium >/dev/null
  command -v npm >/dev/null || apt-get install -y -qq nodejs npm >/dev/null
fi
export VKT2_NATIVE_DIR="$repo/build"
echo "== WebAssembly, the npm package and the page"

npm --prefix web ci --no-audit --no-fund
npm --prefix web run build
npm --prefix web test

scratch=$(mktemp -d)
cd "$scratch"
npm pack "$repo/web" --silent >/dev/null
npm init -y >/dev/null
npm install --offline --no-audit --no-fund ./vkt2-*.tgz >/dev/null
cat >use.mjs <<'JS'
import { compress, decompress, decodedSize, test, Vkt2Error } from 'vkt2';
const text = new TextEncoder().encode('packed and unpacked, '.repeat(200));
const file = compress(text);
if (decodedSize(file) !== text.length || test(file).verdict !== 'pass') throw new Error('verdict');
if (decompress(file).join() !== text.join()) throw new Error('round trip');
try {
  decompress(file.subarray(0, 20));
  throw new Error('a file cut short was decoded');
} catch (e) {
  if (!(e instanceof Vkt2Error) || e.codeName !== 'CUT_SHORT') throw e;
}
console.log('the packed vkt2 works in a scratch project');
JS
node use.mjs
cat >use.ts <<'TS'
import { compress, decompress, test, Vkt2Error, codes, type Verdict } from 'vkt2';
const v: Verdict = test(compress(new Uint8Array([1, 2, 3])));
const bytes: Uint8Array = decompress(new Uint8Array(8), { zeroFill: true });
const code: number = new Vkt2Error(codes.CUT_SHORT).code;
console.log(v.verdict, v.failure?.length, bytes.length, code);
TS
"$repo/web/node_modules/.bin/tsc" --noEmit --strict --module nodenext --target es2022 use.ts
cd "$repo"
rm -rf "$scratch"

// Makes the package's dist/ from src/ and the compiled module
// (build/encrypt.wasm, from wasm/build.sh): an ES module and a CommonJS
// module, each with the module's bytes inlined, their types, the raw .wasm,
// and the page's copy of the ES module (web/lib/).
import { copyFileSync, mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = join(dirname(fileURLToPath(import.meta.url)), '..');
const wasm = readFileSync(join(here, 'build/encrypt.wasm'));
const imports = WebAssembly.Module.imports(new WebAssembly.Module(wasm));
if (imports.length !== 0) {
  throw new Error(`build/encrypt.wasm imports ${imports.map((i) => `${i.module}.${i.name}`).join(', ')}`);
}

const source = readFileSync(join(here, 'src/encrypt.js'), 'utf8');
const exportLine = /^export \{ ([\w, ]+) \};\n$/m;
const names = source.match(exportLine);
if (names === null) {
  throw new Error('src/encrypt.js ends without its one export line');
}
const { version } = JSON.parse(readFileSync(join(here, 'package.json'), 'utf8'));
const banner = `// encrypt-wasm ${version}, built from src/encrypt.js and encrypt.wasm (MIT).\n`;
const bytes = `const wasmBase64 = '${wasm.toString('base64')}';\n\n`;
const esm = banner + bytes + source;
const cjs = `${banner}'use strict';\n${bytes}${source.replace(exportLine, `module.exports = { ${names[1]} };\n`)}`;

const dist = join(here, 'dist');
mkdirSync(dist, { recursive: true });
writeFileSync(join(dist, 'index.mjs'), esm);
writeFileSync(join(dist, 'index.cjs'), cjs);
writeFileSync(join(dist, 'encrypt.wasm'), wasm);
const types = readFileSync(join(here, 'src/index.d.ts'), 'utf8');
writeFileSync(join(dist, 'index.d.ts'), types);
writeFileSync(join(dist, 'index.d.cts'), types);
copyFileSync(join(here, '../LICENSE'), join(here, 'LICENSE'));

const page = join(here, '../web/lib');
mkdirSync(page, { recursive: true });
copyFileSync(join(dist, 'index.mjs'), join(page, 'encrypt-wasm.mjs'));
console.log(`dist/: index.mjs ${esm.length} bytes, index.cjs, index.d.ts, encrypt.wasm ${wasm.length} bytes; web/lib/encrypt-wasm.mjs`);

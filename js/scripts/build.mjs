// Makes the package's dist/ from src/ and the compiled module
// (build/encrypt.wasm, from wasm/build.sh): an ES module and a CommonJS
// module, each with the module's bytes inlined; the slim entry's two,
// without them; their types, the raw .wasm, and the page's copy of the ES
// module (web/lib/).
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
const exportLine = /^export \{([\w,\s]+)\};\n$/m;
const found = source.match(exportLine);
if (found === null) {
  throw new Error('src/encrypt.js ends without its one export statement');
}
const names = found[1].split(',').map((name) => name.trim()).filter(Boolean).join(', ');
const { version } = JSON.parse(readFileSync(join(here, 'package.json'), 'utf8'));
const banner = `// encrypt-wasm ${version}, built from src/encrypt.js and encrypt.wasm (MIT).\n`;
const slimBanner = `// encrypt-wasm/slim ${version}, built from src/encrypt.js (MIT); the module is encrypt.wasm, passed to init().\n`;
const inlined = `const wasmBase64 = '${wasm.toString('base64')}';\n\n`;
const none = 'const wasmBase64 = null;\n\n';
const esm = (head, bytes) => head + bytes + source;
const cjs = (head, bytes) => `${head}'use strict';\n${bytes}${source.replace(exportLine, `module.exports = { ${names} };\n`)}`;

const dist = join(here, 'dist');
mkdirSync(dist, { recursive: true });
const files = {
  'index.mjs': esm(banner, inlined),
  'index.cjs': cjs(banner, inlined),
  'slim.mjs': esm(slimBanner, none),
  'slim.cjs': cjs(slimBanner, none),
};
for (const [name, text] of Object.entries(files)) {
  writeFileSync(join(dist, name), text);
}
writeFileSync(join(dist, 'encrypt.wasm'), wasm);
const types = readFileSync(join(here, 'src/index.d.ts'), 'utf8');
writeFileSync(join(dist, 'index.d.ts'), types);
writeFileSync(join(dist, 'index.d.cts'), types);
// The slim types take the rest from the full entry's of the same kind.
const slimTypes = readFileSync(join(here, 'src/slim.d.ts'), 'utf8');
writeFileSync(join(dist, 'slim.d.ts'), slimTypes);
writeFileSync(join(dist, 'slim.d.cts'), slimTypes.replaceAll("'./index.js'", "'./index.cjs'"));
copyFileSync(join(here, '../LICENSE'), join(here, 'LICENSE'));

const page = join(here, '../web/lib');
mkdirSync(page, { recursive: true });
copyFileSync(join(dist, 'index.mjs'), join(page, 'encrypt-wasm.mjs'));
const sizes = Object.entries(files).map(([name, text]) => `${name} ${text.length}`).join(', ');
console.log(`dist/: ${sizes}, encrypt.wasm ${wasm.length} bytes, and their types; web/lib/encrypt-wasm.mjs`);

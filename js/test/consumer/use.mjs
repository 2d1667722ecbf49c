// The installed package by import, its raw .wasm through the exports map,
// and the slim entry started from that file's URL.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';

import { CAPTION, decrypt, decryptLines, encryptLines, hex, init, initSync, resultLine, words } from 'encrypt-wasm';
import * as slim from 'encrypt-wasm/slim';

assert.throws(() => hex('abc'), /not initialised/);
const wasm = readFileSync(createRequire(import.meta.url).resolve('encrypt-wasm/encrypt.wasm'));
assert.equal(initSync(new WebAssembly.Module(wasm)), await init());
assert.equal(resultLine('abc'), `${CAPTION}25da76d832c8`);
assert.deepEqual(words(new Uint8Array([0x61, 0x62, 0x63])), Uint32Array.of(0x25da76d8, 0x32c8));
assert.equal(new TextDecoder().decode(decrypt(`${CAPTION}25da76d832c8\n`)), 'abc');
assert.equal(new TextDecoder().decode(decryptLines(encryptLines('abc\nc'))), 'abc\nc\n');
// Node's fetch() reads no file: URL; a server's would be fetched the same way.
const wasmUrl = `data:application/wasm;base64,${wasm.toString('base64')}`;
await slim.init(new URL(wasmUrl));
assert.equal(slim.resultLine('abc'), resultLine('abc'));
console.log('import: encrypt-wasm', hex('abc'), 'and encrypt-wasm/slim', slim.hex('abc'));

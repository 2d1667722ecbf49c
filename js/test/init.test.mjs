// Before and at initialisation: every call says to initialise first, and
// each way of initialising works once and then stays as it is; the slim
// entry from every source it takes.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { test } from 'node:test';

import {
  DecryptLinesStream, EncryptLinesStream, LineDecoder, LineEncoder, decrypt, decryptLines, encryptLines, encryption,
  hex, init, initSync, resultLine, words,
} from '../dist/index.mjs';

const wasm = readFileSync(new URL('../dist/encrypt.wasm', import.meta.url));

test('every call before initialisation throws an Error that says to initialise first', () => {
  const calls = [() => hex('abc'), () => hex(Uint8Array.of(1)), () => resultLine(''), () => words('a'),
    () => encryption(new Uint32Array(1)), () => decrypt('32c8'), () => encryptLines('a'), () => decryptLines('32c8'),
    () => new LineEncoder(), () => new LineDecoder(), () => new EncryptLinesStream(), () => new DecryptLinesStream()];
  for (const call of calls) {
    assert.throws(call, { name: 'Error', message: /not initialised: call `await init\(\)` \(or `initSync\(\)`\) first/ });
  }
});

test('a source of the wrong kind is refused, and the package stays uninitialised', async () => {
  await assert.rejects(init({}), { name: 'TypeError', message: /^init\(\) takes a WebAssembly.Module/ });
  assert.throws(() => initSync(42), TypeError);
  await assert.rejects(init(new Uint8Array([0, 97, 115, 109, 9, 9, 9, 9])), WebAssembly.CompileError);
  assert.throws(() => hex('abc'), /not initialised/);
});

test('the raw .wasm imports nothing and its memory cannot grow', () => {
  const module = new WebAssembly.Module(wasm);
  assert.deepEqual(WebAssembly.Module.imports(module), []);
  const memory = new WebAssembly.Instance(module, {}).exports.memory;
  assert.throws(() => memory.grow(1), RangeError);
});

test('an already compiled module initialises it at once; later calls keep that instance', async () => {
  const instance = initSync(new WebAssembly.Module(wasm));
  assert.ok(instance instanceof WebAssembly.Instance);
  assert.equal(hex('abc'), '25da76d832c8');
  assert.equal(initSync(wasm), instance);
  assert.equal(await init(), instance);
  assert.deepEqual(Object.keys(instance.exports).filter((name) => !/^(_|stack)/.test(name)).sort(), [
    'decrypt_piece', 'decrypt_take', 'hex_piece', 'line_decoder_failed_line', 'line_decoder_failure',
    'line_decoder_free', 'line_decoder_new', 'line_decoder_run', 'line_encoder_free', 'line_encoder_new',
    'line_encoder_run', 'lines_capacity', 'lines_input', 'lines_input_left', 'lines_output', 'memory',
    'piece_area', 'piece_size', 'reason', 'result_area', 'result_size', 'transform_words', 'unit_digits',
    'words_piece',
  ]);
});

// Each import of the slim entry under a new query is a package of its own,
// not yet initialised.
let imported = 0;
const freshSlim = () => import(`../dist/slim.mjs?${++imported}`);
const dataUrl = `data:application/wasm;base64,${wasm.toString('base64')}`;

test('the slim entry starts from a URL, a Response, bytes or a compiled module', async () => {
  const sources = {
    'a URL': () => new URL(dataUrl),
    'a URL as a string': () => dataUrl,
    'a Response served as application/wasm': () => new Response(wasm, { headers: { 'Content-Type': 'application/wasm' } }),
    'a Response of no such type': () => new Response(wasm),
    "fetch()'s promise": () => fetch(dataUrl),
    'bytes': () => new Uint8Array(wasm),
    'a compiled module': () => new WebAssembly.Module(wasm),
  };
  for (const [name, source] of Object.entries(sources)) {
    const slim = await freshSlim();
    assert.ok((await slim.init(source())) instanceof WebAssembly.Instance, name);
    assert.equal(slim.resultLine('abc'), 'Encrypted data in hexadecimal format: 25da76d832c8', name);
  }
});

test('the slim entry holds no module, says what it needs, and is the same package under require()', async () => {
  const slim = await freshSlim();
  assert.doesNotMatch(readFileSync(new URL('../dist/slim.mjs', import.meta.url), 'latin1'), /AGFzbQ/, 'base64 of \\0asm');
  await assert.rejects(slim.init(), { name: 'TypeError', message: /^encrypt-wasm\/slim holds no module: pass init\(\) encrypt.wasm's URL/ });
  assert.throws(() => slim.initSync(), { name: 'TypeError', message: /^encrypt-wasm\/slim holds no module: pass initSync\(\) encrypt.wasm's bytes/ });
  await assert.rejects(slim.init(new Response('missing', { status: 404, statusText: 'Not Found' })), {
    name: 'Error',
    message: /^init\(\) could not fetch encrypt.wasm: 404 Not Found/,
  });
  assert.throws(() => slim.hex('abc'), /not initialised/);
  assert.ok((await slim.init(wasm)) instanceof WebAssembly.Instance, 'a good source after the failures');

  const cjs = createRequire(import.meta.url)('../dist/slim.cjs');
  assert.deepEqual(Object.keys(cjs).sort(), Object.keys(slim).sort());
  cjs.initSync(wasm);
  assert.equal(cjs.hex('abc'), '25da76d832c8');
});

// Before and at initialisation: every call says to initialise first, and
// each way of initialising works once and then stays as it is.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { test } from 'node:test';

import { decrypt, encryption, hex, init, initSync, resultLine, words } from '../dist/index.mjs';

const wasm = readFileSync(new URL('../dist/encrypt.wasm', import.meta.url));

test('every call before initialisation throws an Error that says to initialise first', () => {
  const calls = [() => hex('abc'), () => hex(Uint8Array.of(1)), () => resultLine(''), () => words('a'),
    () => encryption(new Uint32Array(1)), () => decrypt('32c8')];
  for (const call of calls) {
    assert.throws(call, { name: 'Error', message: /not initialised: call `await init\(\)` \(or `initSync\(\)`\) first/ });
  }
});

test('a source of the wrong kind is refused, and the package stays uninitialised', async () => {
  await assert.rejects(init('encrypt.wasm'), TypeError);
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
    'decrypt_begin', 'decrypt_feed', 'decrypt_finish', 'decrypt_take', 'decrypt_texts', 'hex_piece', 'memory',
    'piece_area', 'piece_size', 'result_area', 'result_size', 'transform_words', 'unit_digits', 'words_piece',
  ]);
});

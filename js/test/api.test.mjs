// The package's own behaviour: exact results, inputs of every kind, the way
// back's cases and every error it throws.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { test } from 'node:test';

import * as esm from '../dist/index.mjs';

const { CAPTION, decrypt, encryption, hex, init, resultLine, words } = esm;
await init();
const encoder = new TextEncoder();
const bytes = (text) => encoder.encode(text);

test('known texts give their exact lines, as strings and as bytes', () => {
  const cases = [
    ['abc', '25da76d832c8'],
    ['Hello, world!', '281e00642df842de7bbbdaf377d061f3334db20277090568c2'],
    ['é', '70a7e90f'], // its UTF-8 bytes C3 A9
    ['c', '32c8'],
    ['\0', '82'], // the word 130 has two digits: no padding
    ['', ''],
  ];
  for (const [text, digits] of cases) {
    for (const input of [text, bytes(text)]) {
      assert.equal(hex(input), digits);
      assert.equal(resultLine(input), CAPTION + digits);
    }
  }
  assert.equal(CAPTION, 'Encrypted data in hexadecimal format: ');
  assert.deepEqual(words('abc'), Uint32Array.of(0x25da76d8, 0x32c8));
  assert.deepEqual(words(''), new Uint32Array(0));
});

test('a view reads its own bytes only, wherever it starts in its buffer', () => {
  const text = bytes('Hello, world! and more, to pass the short texts: 0123456789');
  const buffer = new Uint8Array(text.length + 11).fill(0xff);
  for (const [offset, length] of [[0, 3], [1, 3], [3, 13], [5, text.length], [7, 0]]) {
    const view = new Uint8Array(buffer.buffer, offset, length);
    view.set(text.subarray(0, length));
    const copy = text.slice(0, length);
    assert.equal(hex(view), hex(copy), `view at ${offset} of ${length} bytes`);
    assert.equal(resultLine(view), resultLine(copy));
    assert.deepEqual(words(view), words(copy));
    buffer.fill(0xff);
  }
  // A Node Buffer from the pool is a view too.
  assert.equal(hex(Buffer.from('abc')), '25da76d832c8');
});

test('strings are their UTF-8 bytes, whatever their length and wherever a piece ends', () => {
  // Lone surrogates are U+FFFD, as TextEncoder makes them.
  const short = ['€', 'aé', '😀', 'a😀b', '\ud800', 'x\udc00', 'ÿ'.repeat(20)];
  // A million three-byte characters less one byte fill the module's first
  // piece to an odd size; a character of four bytes lies across its end.
  const long = ['€'.repeat(349525) + 'a€', 'a'.repeat((1 << 20) - 2) + '😀'.repeat(3), 'é'.repeat(1 << 20)];
  for (const text of [...short, ...long]) {
    const label = `${text.slice(0, 8)}... (${text.length})`;
    assert.equal(hex(text), hex(bytes(text)), label);
    assert.equal(resultLine(text), resultLine(bytes(text)), label);
    assert.deepEqual(words(text), words(bytes(text)), label);
  }
});

test("encryption transforms any Uint32Array in place, across the module's pieces", () => {
  // Units, whose words words() gives from their bytes (the first two of
  // each word's four on a little-endian machine); more of them than the
  // module takes at once, in a view that starts one word in.
  const all = new Uint32Array((1 << 20) + 40);
  all.forEach((_, i) => (all[i] = (i * 40503) & 0xffff));
  const view = all.subarray(1);
  const text = new Uint8Array(view.buffer, view.byteOffset, view.byteLength).filter((_, i) => i % 4 < 2);
  const expected = words(text);
  assert.equal(encryption(view), view);
  assert.deepEqual(view, expected);
  assert.equal(all[0], 0, 'the word before the view is untouched');
  assert.deepEqual(encryption(Uint32Array.of(0x6261, 0x63)), Uint32Array.of(0x25da76d8, 0x32c8));
  assert.deepEqual(encryption(new Uint32Array(0)), new Uint32Array(0));
});

test('decrypt reads lines in every form and says why a line has no one text', () => {
  const line = `${CAPTION}25da76d832c8`;
  const cases = [
    [line, 'abc'],
    ['25da76d832c8', 'abc'],
    [`${CAPTION}25DA76d832C8`, 'abc'],
    [`${line}\n`, 'abc'],
    ['25da76d832c8\r\n', 'abc'],
    [CAPTION, ''],
    [CAPTION.trimEnd(), ''],
    ['', ''],
    ['\n', ''],
    ['32c8', 'c'],
    ['82', '\0'],
    ['82a5ea91', '\xd2\xb6'], // of two texts, the one without a zero byte
    ['c4a18a2', 'r\x03\x01'],
    ['121a394b27334', '2 texts give this line'],
    ['121a394b27334'.repeat(2), '4 texts give this line'],
    ['121a394b27334'.repeat(10), 'more than 999 texts give this line'],
    ['25da76d832c', 'not a result line'],
    ['25da76d9', 'not a result line'],
    ['025da76d8', 'not a result line'],
    ['25da76d8 32c8', 'not a result line'],
    ['0x25da76d8', 'not a result line'],
    ['25da76d832c8\r', 'not a result line'],
    ['25da76d832c8\n\n', 'not a result line'],
    [`${CAPTION.trimEnd()}25da76d832c8`, 'not a result line'],
    [CAPTION.slice(0, 10), 'not a result line'],
    ['E', 'not a result line'],
    ['25da76d832c8é', 'not a result line'],
  ];
  // The caption's beginnings, which the native library mishandles from 17
  // bytes on; its end, trimmed or not, stands for the empty text.
  for (let length = 1; length <= CAPTION.length; length++) {
    cases.push([CAPTION.slice(0, length), length + 1 < CAPTION.length ? 'not a result line' : '']);
  }
  for (const [input, expected] of cases) {
    for (const form of [input, Buffer.from(input, 'latin1')]) {
      if (/texts give|not a result/.test(expected)) {
        assert.throws(() => decrypt(form), new RangeError(expected), JSON.stringify(input));
      } else {
        assert.deepEqual(decrypt(form), new Uint8Array(Buffer.from(expected, 'latin1')), JSON.stringify(input));
      }
    }
  }
});

test('decrypt reads a line of many pieces back to its text', () => {
  const text = new Uint8Array((3 << 20) + 1);
  text.forEach((_, i) => (text[i] = 1 + ((i * 2654435761) >>> 25)));
  assert.deepEqual(decrypt(resultLine(text)), text);
  assert.deepEqual(decrypt(bytes(`${hex(text)}\r\n`)), text);
});

test('a wrong type is a TypeError that names what was given', () => {
  const wrong = [42, null, undefined, true, 1n, Symbol('s'), [1, 2], {}, Object.create(null), () => 'abc',
    new ArrayBuffer(4), new Uint16Array(2), new DataView(new ArrayBuffer(2))];
  for (const value of wrong) {
    // The package's own message, never the engine's about a property it read.
    for (const [name, call] of Object.entries({ hex, resultLine, words, decrypt })) {
      assert.throws(() => call(value), { name: 'TypeError', message: new RegExp(`^${name}\\(\\) takes `) }, `${name}(${typeof value})`);
    }
    assert.throws(() => encryption(value), /encryption\(\) takes a Uint32Array/);
  }
  assert.throws(() => hex(7), { name: 'TypeError', message: 'hex() takes a Uint8Array or a string, not number' });
  assert.throws(() => encryption(Uint8Array.of(1)), { message: 'encryption() takes a Uint32Array, not Uint8Array' });
});

test('a result longer than the engine\'s longest string is a RangeError that says so', () => {
  // 2^26 words of eight digits each ('aa' gives 25165714): 24 more
  // characters than V8's strings hold.
  const text = new Uint8Array(1 << 27).fill(0x61);
  assert.throws(() => hex(text), { name: 'RangeError', message: /longer than the longest string this JavaScript engine makes/ });
});

test('the CommonJS build is the same package under require()', () => {
  const require = createRequire(import.meta.url);
  const cjs = require('../dist/index.cjs');
  assert.deepEqual(Object.keys(cjs).sort(), Object.keys(esm).sort());
  assert.throws(() => cjs.hex('abc'), { name: 'Error', message: /not initialised: call `await init\(\)`/ });
  cjs.initSync();
  assert.equal(cjs.resultLine('abc'), `${CAPTION}25da76d832c8`);
});

test("the README's examples give what their comments say", () => {
  // Lines `CALL; // VALUE` or `CALL; // VALUE: why`, in its js blocks.
  const readme = readFileSync(new URL('../README.md', import.meta.url), 'utf8');
  const blocks = [...readme.matchAll(/```js\n([^]*?)```/g)].map((block) => block[1]);
  const examples = blocks.flatMap((block) => [...block.matchAll(/^(.+?);\s+\/\/ ('[^']*'|Uint32Array\.of\([^)]*\))/gm)]);
  assert.ok(examples.length >= 6, `${examples.length} examples`);
  for (const [, call, value] of examples) {
    const run = new Function(...Object.keys(esm), `return [${call}, ${value}];`);
    const [got, expected] = run(...Object.values(esm));
    assert.deepEqual(got, expected, call);
  }
});

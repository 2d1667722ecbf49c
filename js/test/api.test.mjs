// The package's own behaviour: the known answers of tests/vectors, inputs of
// every kind, decrypting's cases and every error it throws.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { test } from 'node:test';

import * as esm from '../dist/index.mjs';
import { lineAnswers, textAnswers } from './support/vectors.mjs';

const { CAPTION, decrypt, encryption, hex, init, resultLine, words } = esm;
await init();
const encoder = new TextEncoder();
const bytes = (text) => encoder.encode(text);

test('the known texts give their lines, as bytes and, where they are UTF-8, as strings', () => {
  const utf8 = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true });
  for (const [text, line] of textAnswers) {
    const expected = Buffer.from(line.subarray(0, -1)).toString('latin1');
    const forms = [text];
    try {
      forms.push(utf8.decode(text));
    } catch {
      // not UTF-8: no string stands for these bytes
    }
    for (const input of forms) {
      assert.equal(resultLine(input), expected);
      assert.equal(hex(input), expected.slice(CAPTION.length));
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
  // Three-byte characters fill the module's first piece to an odd size,
  // the four-byte one after them not fitting: the piece's last byte pairs
  // with the next piece's first. Then a piece that a character's two
  // UTF-16 units would cross.
  const long = ['€'.repeat(349525) + '😀a', 'a'.repeat((1 << 20) - 2) + '😀'.repeat(3), 'é'.repeat(1 << 20)];
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

test('decrypt reads the known lines, with and without one line end, and says why a line has no one text', () => {
  const cases = lineAnswers.flatMap(([line, text, message]) => {
    const form = Buffer.from(line).toString('latin1');
    // A line feed after a carriage return makes a CR LF.
    const ends = form.endsWith('\r') ? ['', '\r\n'] : ['', '\n', '\r\n'];
    return ends.map((end) => [form + end, text === null ? message : text]);
  });
  // Besides: one line end only, the library's count of texts, and a
  // string's bytes past Latin-1.
  cases.push(
    ['25da76d832c8\n\n', 'not a result line'],
    ['25da76d832c8\n\r\n', 'not a result line'],
    ['121a394b27334'.repeat(2), '4 texts give this line'],
    ['121a394b27334'.repeat(10), 'more than 999 texts give this line'],
    ['25da76d832c8é', 'not a result line'],
  );
  for (const [input, expected] of cases) {
    for (const form of [input, Buffer.from(input, 'utf8')]) {
      if (typeof expected === 'string') {
        assert.throws(() => decrypt(form), new RangeError(expected), JSON.stringify(input));
      } else {
        assert.deepEqual(decrypt(form), expected, JSON.stringify(input));
      }
    }
  }
});

test('decrypt reads a line of many pieces back to its text, wherever its line end falls', () => {
  const text = new Uint8Array((3 << 20) + 1);
  text.forEach((_, i) => (text[i] = 1 + ((i * 2654435761) >>> 25)));
  assert.deepEqual(decrypt(resultLine(text)), text);
  assert.deepEqual(decrypt(bytes(`${hex(text)}\r\n`)), text);
  // Digits that fill the module's first piece but one byte, so that the
  // carriage return of CR LF ends that piece and the line feed is the next.
  const unitOf = (digits) => [...Array(65536).keys()].find((u) => hex(Uint8Array.of(u & 255, u >> 8)).length === digits);
  const eight = unitOf(8);
  const seven = unitOf(7);
  const filled = new Uint8Array(2 * 131072).map((_, i) => ((i >> 1) < 131071 ? eight : seven) >> (8 * (i & 1)));
  assert.equal(hex(filled).length, (1 << 20) - 1);
  for (const form of [`${hex(filled)}\r\n`, bytes(`${hex(filled)}\r\n`)]) {
    assert.deepEqual(decrypt(form), filled);
  }
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

// The streams of texts and lines: the known answers of tests/vectors both
// ways through encryptLines(), decryptLines(), LineEncoder, LineDecoder and
// the TransformStreams (fed through Readable.toWeb), in chunks from one
// byte up; output that outgrows the module's result area; the stream that
// stops where a failed line's text went out; memory running short; wrong
// arguments.
import assert from 'node:assert/strict';
import { Readable } from 'node:stream';
import { test } from 'node:test';

import {
  DecryptLinesStream, EncryptLinesStream, LineDecoder, LineEncoder, decryptLines, encryptLines, init, resultLine,
} from '../dist/index.mjs';
import { lineAnswers, textAnswers } from './support/vectors.mjs';

await init();

const SEPARATORS = ['\n', '\0'];
const CHUNKS = [1, 7, 64, 4096];

const concat = (parts) => new Uint8Array(Buffer.concat(parts));
const latin1 = (text) => new Uint8Array(Buffer.from(text, 'latin1'));

// The known texts that the separator does not cut, joined by it, and their
// lines.
function knownTexts(separator) {
  const code = separator.charCodeAt(0);
  const pairs = textAnswers.filter(([text]) => !text.includes(code));
  const texts = concat(pairs.flatMap(([text], i) => (i === 0 ? [text] : [Uint8Array.of(code), text])));
  return [texts, concat(pairs.map(([, line]) => line))];
}

// The known lines joined by line feeds (but those that end in a carriage
// return, which a line feed after it would end), the texts they give, each
// followed by the separator, and the failures.
function knownLines(separator) {
  const code = separator.charCodeAt(0);
  const lines = lineAnswers.filter(([line]) => line[line.length - 1] !== 0x0d);
  const texts = [];
  const failures = [];
  lines.forEach(([, text, message], i) => {
    if (text === null) {
      failures.push({ line: i + 1, reason: message });
    } else if (text.includes(code)) {
      const holds = code === 0x0a ? 'a line feed: separate texts by zero bytes' : 'a zero byte: separate texts by line feeds';
      failures.push({ line: i + 1, reason: `the text holds ${holds}` });
    } else {
      texts.push(text, Uint8Array.of(code));
    }
  });
  return [concat(lines.flatMap(([line]) => [line, Uint8Array.of(0x0a)])), concat(texts), failures];
}

function cut(data, size) {
  const chunks = [];
  for (let at = 0; at < data.length; at += size) {
    chunks.push(data.subarray(at, at + size));
  }
  return chunks;
}

const inChunks = (stream, data, size) => concat([...cut(data, size).map((chunk) => stream.update(chunk)), stream.finish()]);

// The data in chunks of `size` through `transform`, from a Node stream
// through Readable.toWeb, or, where the transform is to fail, a web stream
// of its own: Node 20's adapter throws an uncaught ERR_INVALID_STATE where
// the stream it feeds is cancelled while it still reads
// (nodejs/node#54205).
async function throughStream(transform, data, size, failing = false) {
  const chunks = cut(data, size);
  const source = failing
    ? new ReadableStream({ pull: (controller) => (chunks.length > 0 ? controller.enqueue(chunks.shift()) : controller.close()) })
    : Readable.toWeb(Readable.from(chunks));
  const parts = [];
  for await (const part of source.pipeThrough(transform)) {
    parts.push(part);
  }
  return concat(parts);
}

test('the known texts give their lines, whole, a chunk at a time and through EncryptLinesStream', async () => {
  for (const separator of SEPARATORS) {
    const [texts, lines] = knownTexts(separator);
    assert.deepEqual(encryptLines(texts, { separator }), lines);
    const encoder = new LineEncoder({ separator });
    for (const size of CHUNKS) {
      assert.deepEqual(inChunks(encoder, texts, size), lines, `chunks of ${size}`);
    }
    // The stream feeds its chunks to the same calls.
    assert.deepEqual(await throughStream(new EncryptLinesStream({ separator }), texts, 7), lines);
  }
  assert.deepEqual(encryptLines('abc\r\nc', { crlf: true }), encryptLines('abc\nc'));
  assert.deepEqual(encryptLines('é\n'), latin1(`${resultLine('é')}\n`), 'a string is its UTF-8 bytes');
});

test('the known lines give their texts or their failures, whole, a chunk at a time and through DecryptLinesStream', async () => {
  for (const separator of SEPARATORS) {
    const [lines, texts, failures] = knownLines(separator);
    const first = new RangeError(`line ${failures[0].line}: ${failures[0].reason}`);
    const listed = [];
    assert.deepEqual(decryptLines(lines, { separator, errors: 'skip', failures: listed }), texts);
    assert.deepEqual(listed, failures);
    assert.throws(() => decryptLines(lines, { separator }), first);
    for (const size of CHUNKS) {
      const decoder = new LineDecoder({ separator, errors: 'skip' });
      assert.deepEqual(inChunks(decoder, lines, size), texts, `chunks of ${size}`);
      assert.deepEqual(decoder.failures, failures);
      assert.throws(() => inChunks(new LineDecoder({ separator }), lines, size), first);
    }
    const stream = new DecryptLinesStream({ separator, errors: 'skip' });
    assert.deepEqual(await throughStream(stream, lines, 7), texts);
    assert.deepEqual(stream.failures, failures);
    await assert.rejects(throughStream(new DecryptLinesStream({ separator }), lines, 7, true), first);
  }
});

test("output many times the module's result area, from texts that cross its pieces, and back", () => {
  // Texts of one letter: 43 bytes of line each, from 1.25 MiB of texts
  // 27 MiB of lines; the last text, of two letters, has no line feed.
  const texts = new Uint8Array(5 << 18).map((_, i) => (i % 2 === 0 ? 0x61 + ((i >> 1) % 26) : 0x0a));
  texts[texts.length - 1] = 0x62;
  const lineOf = Array.from({ length: 26 }, (_, k) => latin1(`${resultLine(String.fromCharCode(0x61 + k))}\n`));
  const parts = Array.from({ length: texts.length / 2 - 1 }, (_, i) => lineOf[i % 26]);
  const expected = concat([...parts, latin1(`${resultLine(texts.subarray(-2))}\n`)]);
  const same = (got, label) => assert.ok(Buffer.from(got).equals(expected), label);
  same(encryptLines(texts), 'encryptLines()');
  const encoder = new LineEncoder();
  same(concat([encoder.update(texts), encoder.finish()]), 'LineEncoder');
  assert.ok(Buffer.from(decryptLines(expected)).equals(concat([texts, Uint8Array.of(0x0a)])), 'decryptLines()');
});

test('a line that fails after 16 MiB of its text went out stops the stream in either mode: nothing of the next line comes out', async () => {
  // Each unit 82 is two zero bytes: 17 MiB of text, past the 16 MiB held
  // back. The mode that goes on past other failures must stop here too.
  const long = latin1('82'.repeat(17 << 19));
  const input = concat([latin1('32c8\n'), long, latin1('zz\n32c8\nzz\n')]);
  const reason = 'not a result line; the output stops after part of its text';
  const stop = new RangeError(`line 2: ${reason}`);
  // 'c', its separator, then zero bytes only: the next line's 'c' never.
  const failures = [];
  const text = decryptLines(input, { errors: 'skip', failures });
  assert.deepEqual(failures, [{ line: 2, reason }]);
  assert.ok(text.length > 16 << 20, `${text.length} bytes went out`);
  assert.deepEqual(text.subarray(0, 2), latin1('c\n'));
  assert.equal(text.subarray(2).findIndex((byte) => byte !== 0), -1);
  // The same bytes in chunks, the call that met the line included; finish() ends the stop.
  const decoder = new LineDecoder({ errors: 'skip' });
  const out = concat(cut(input, 1 << 20).map((chunk) => decoder.update(chunk)));
  assert.ok(Buffer.from(out).equals(Buffer.from(text)));
  assert.deepEqual([decoder.failures, decoder.stopped], [[{ line: 2, reason }], true]);
  assert.equal(decoder.update(latin1('32c8\n')).length + decoder.finish().length, 0);
  assert.deepEqual([decoder.stopped, decoder.update(latin1('32c8\n'))], [false, latin1('c\n')]);
  assert.throws(() => decryptLines(input), stop);
  await assert.rejects(throughStream(new DecryptLinesStream({ errors: 'skip' }), input, 1 << 20, true), stop);
  // The same line, ended well, goes out whole (its last zero byte is one
  // unit), and the stream goes on.
  const whole = decryptLines(concat([long, latin1('\n32c8\n')]));
  assert.equal(whole.length, (17 << 20) + 2);
  assert.deepEqual(whole.subarray(-3), latin1('\nc\n'));
});

test('memory running short is an Error of its own, never a line without one text, even with errors: skip', () => {
  // Decoders that each held back a line's 14 MiB of text, and keep the
  // buffer for the next line, until the module's fixed memory has no more.
  const line = latin1(`${'82'.repeat(7 << 20)}\n`);
  const decoders = [];
  let error;
  try {
    for (let i = 0; i < 8 && error === undefined; i++) {
      const decoder = new LineDecoder({ errors: 'skip' });
      decoders.push(decoder);
      try {
        decoder.update(line);
      } catch (thrown) {
        error = thrown;
      }
    }
    assert.ok(error !== undefined, 'the memory never ran short');
    assert.equal(error.constructor, Error);
    assert.equal(error.code, 'ENCRYPT_NO_MEMORY');
    assert.match(error.message, /^line 1: memory exhausted/);
    assert.deepEqual(decoders.at(-1).failures, []);
  } finally {
    decoders.forEach((decoder) => decoder.finish());
  }
  // Released at their end: a new one has the memory again.
  assert.equal(new LineDecoder().update(line).length, 14 << 20);
});

test('wrong arguments are TypeErrors in the package\'s own words', async () => {
  const calls = [
    [() => encryptLines(42), /^encryptLines\(\) takes a Uint8Array or a string, not number$/],
    [() => decryptLines(null), /^decryptLines\(\) takes a Uint8Array or a string, not null$/],
    [() => encryptLines('', { separator: '\r' }), /^encryptLines\(\): separator must be '\\n' or '\\0', not "\\r"$/],
    [() => encryptLines('', { crlf: 1 }), /crlf must be true or false, not number/],
    [() => encryptLines('', 'skip'), /^encryptLines\(\) takes its options as an object, not string$/],
    [() => decryptLines('', { errors: 'ignore' }), /^decryptLines\(\): errors must be 'strict' or 'skip', not "ignore"$/],
    [() => decryptLines('', { failures: {} }), /failures must be an array, not Object/],
    [() => new LineEncoder().update([1]), /^LineEncoder.update\(\) takes a Uint8Array or a string, not Array$/],
    [() => new LineDecoder({ separator: 10 }), /^LineDecoder: separator must be '\\n' or '\\0', not number$/],
    [() => new DecryptLinesStream({ errors: true }), /^DecryptLinesStream: errors must be/],
  ];
  for (const [call, message] of calls) {
    assert.throws(call, { name: 'TypeError', message });
  }
  const wrong = new ReadableStream({ start: (controller) => controller.enqueue(new ArrayBuffer(2)) }).pipeThrough(new EncryptLinesStream());
  await assert.rejects(wrong.getReader().read(), { name: 'TypeError', message: /^EncryptLinesStream takes a Uint8Array or a string, not ArrayBuffer$/ });
});

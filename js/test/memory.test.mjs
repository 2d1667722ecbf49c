// Memory does not grow with calls: a 64 MiB text twenty times in a row
// leaves the module's memory as it was, and the process's resident memory,
// once the garbage collector has run, within 10% of where it started.
// Needs node --expose-gc.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { setImmediate as tick } from 'node:timers/promises';

import { decrypt, hex, init, resultLine } from '../dist/index.mjs';

const instance = await init();
const memory = instance.exports.memory;

// The garbage collector, each time after the current job, during which
// WeakRefs hold on to what they point at.
async function collect() {
  for (let i = 0; i < 3; i++) {
    await tick();
    globalThis.gc();
  }
}

test('a 64 MiB text twenty times: the module\'s memory unchanged, resident memory back where it was', { skip: typeof globalThis.gc !== 'function' && 'run with node --expose-gc' }, async () => {
  const text = new Uint8Array(64 << 20);
  for (let i = 0; i < text.length; i++) {
    text[i] = (i * 2654435761) >>> 24;
  }
  const size = memory.buffer.byteLength;
  const expected = hex(text.subarray(0, 1 << 20));
  await collect();
  const start = process.memoryUsage().rss;
  // In a function of its own, so that no suspended frame of this one keeps
  // the last result.
  (() => {
    for (let round = 0; round < 20; round++) {
      const line = round % 2 === 0 ? hex(text) : resultLine(text).slice(38);
      assert.equal(line.slice(0, expected.length), expected);
      assert.equal(memory.buffer.byteLength, size);
    }
    // And decrypting the last line, 256 MiB, in pieces.
    assert.equal(decrypt(hex(text)).length, text.length);
    assert.equal(memory.buffer.byteLength, size);
  })();
  await collect();
  const end = process.memoryUsage().rss;
  const change = (end - start) / start;
  assert.ok(Math.abs(change) <= 0.1, `resident memory went from ${start >> 20} MiB to ${end >> 20} MiB`);
});

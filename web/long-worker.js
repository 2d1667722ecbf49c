// What the page cannot work out between keystrokes: the digits of a long
// pasted text, once, and the text of a long line. The page sends a line's
// part kept apart from its box only when it changes. Results go back as
// bytes, handed over without a copy.
import { hex, init } from './lib/encrypt-wasm.mjs';
import { textOf } from './line-text.js';

const ready = init();
const encoder = new TextEncoder();
let heldLine = '';
const PIECE = 1 << 20; // bytes of a held text turned into digits at a time: an even count

// The digits of the text's bytes up to an even count, the odd byte left
// over (-1 for none), and the count of its bytes. The digits are made a
// piece at a time into one buffer of at most eight digits for two bytes:
// made whole, they would be one more string and buffer of their length,
// and fresh memory is slow to come by.
function heldDigits(text) {
  const bytes = encoder.encode(text);
  const even = bytes.length & ~1;
  const digits = new Uint8Array(4 * even);
  let used = 0;
  for (let at = 0; at < even; at += PIECE) {
    used += encoder.encodeInto(hex(bytes.subarray(at, Math.min(at + PIECE, even))), digits.subarray(used)).written;
  }
  return { count: bytes.length, odd: even < bytes.length ? bytes[even] : -1, digits: digits.subarray(0, used) };
}

addEventListener('message', async ({ data: { kind, version, held, box } }) => {
  await ready;
  if (kind === 'line') {
    const answer = heldDigits(held);
    postMessage({ kind, version, ...answer }, [answer.digits.buffer]);
    return;
  }
  if (held !== undefined) {
    heldLine = held;
  }
  const answer = textOf((heldLine + box).trim());
  postMessage({ kind, version, ...answer }, answer.text === undefined ? [] : [answer.text.buffer]);
});

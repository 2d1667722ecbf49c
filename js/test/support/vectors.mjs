// The known answers of tests/vectors/vectors.tsv, which every binding's
// tests read (its format: tests/vectors/make_vectors.py).
import { readFileSync } from 'node:fs';

const rows = readFileSync(new URL('../../../tests/vectors/vectors.tsv', import.meta.url), 'ascii')
  .split('\n')
  .filter(Boolean)
  .map((row) => row.split('\t'));
const bytes = (hex) => new Uint8Array(Buffer.from(hex, 'hex'));

/** [text, its line with the line feed] for every known text. */
export const textAnswers = rows.filter((f) => f[0] === 'encrypt').map((f) => [bytes(f[1]), bytes(f[2])]);

/** [line, its text or null, the message or null] for every known line. */
export const lineAnswers = rows
  .filter((f) => f[0] === 'decrypt')
  .map((f) => [bytes(f[1]), f[2] === 'text' ? bytes(f[3]) : null, f[2] === 'fail' ? f[4] : null]);

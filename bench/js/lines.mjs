// encrypt-wasm's streams in Node, on bench/lines.sh's short texts: 2,000,000
// random texts of 1 to 64 printable bytes (the release build's
// `encrypt_spawn_timer make-texts`), side by side in one run:
//
//   - encryptLines() of the whole file, bytes to bytes;
//   - the floor for any function that returns the lines as one array:
//     making a Uint8Array of their size and writing every byte of it;
//   - a LineEncoder fed 1 MiB chunks, its output joined by Buffer.concat;
//   - decryptLines() of those lines, beside the same floor for the texts;
//   - for scale, encrypt-lines into /dev/null, both ways.
//
// Medians of ROUNDS runs (default 7), the contenders taking turns. From the
// top of the repository, after the release build and the package's
// (cd js && npm ci && npm run build):
//
//     node bench/js/lines.mjs [ROUNDS]
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

import { LineEncoder, decryptLines, encryptLines, init } from '../../js/dist/index.mjs';

const rounds = Number(process.argv[2] ?? 7);
const root = fileURLToPath(new URL('../../', import.meta.url));
const program = join(root, 'build/release/encrypt-lines');
const cpu = execFileSync('lscpu', { encoding: 'utf8' }).match(/^Model name:\s*(.+)$/m)?.[1] ?? 'unknown CPU';
const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];

const scratch = mkdtempSync(join(tmpdir(), 'encrypt-js-lines-'));
const file = join(scratch, 'short');
execFileSync(join(root, 'build/release/bench/encrypt_spawn_timer'), ['make-texts', '2000000', file]);
const texts = readFileSync(file);
const linesFile = join(scratch, 'short.out');
execFileSync('sh', ['-c', `'${program}' < '${file}' > '${linesFile}'`]);
const native = readFileSync(linesFile);

await init();
if (Buffer.compare(encryptLines(texts), native) !== 0 || Buffer.compare(decryptLines(native), texts) !== 0) {
  throw new Error('encryptLines() or decryptLines() differs from encrypt-lines');
}

// The least a function returning `size` bytes costs: a fresh array of
// them, every byte written.
const floor = (size) => () => new Uint8Array(size).fill(0x61);

function chunked() {
  const encoder = new LineEncoder();
  const parts = [];
  for (let at = 0; at < texts.length; at += 1 << 20) {
    parts.push(encoder.update(texts.subarray(at, at + (1 << 20))));
  }
  parts.push(encoder.finish());
  return Buffer.concat(parts);
}

const command = (args, input) => () => {
  const run = spawnSync('sh', ['-c', `'${program}' ${args} < '${input}' > /dev/null`]);
  if (run.status !== 0) {
    throw new Error(`encrypt-lines ${args} failed`);
  }
};

const contenders = {
  'encryptLines()': () => encryptLines(texts),
  'floor: a Uint8Array of the lines\' size, written': floor(native.length),
  'LineEncoder, 1 MiB chunks, Buffer.concat': chunked,
  'encrypt-lines > /dev/null (a process)': command('', file),
  'decryptLines()': () => decryptLines(native),
  'floor: a Uint8Array of the texts\' size, written': floor(texts.length),
  'encrypt-lines -d > /dev/null (a process)': command('-d', linesFile),
};
const times = Object.fromEntries(Object.keys(contenders).map((name) => [name, []]));
for (let round = 0; round < rounds; round++) {
  for (const [name, run] of Object.entries(contenders)) {
    const start = performance.now();
    run();
    times[name].push(performance.now() - start);
  }
}
rmSync(scratch, { recursive: true, force: true });

console.log(`CPU: ${cpu}; Node ${process.version}; ${texts.length.toLocaleString('en-US')} bytes of texts, ` +
  `${native.length.toLocaleString('en-US')} bytes of lines; medians of ${rounds}`);
for (const [name, values] of Object.entries(times)) {
  const input = name.startsWith('decrypt') || name.includes('-d') ? native.length : texts.length;
  const rate = name.startsWith('floor') ? '' : `, ${(input / median(values) / 1e6).toFixed(3)} GB/s of input`;
  console.log(`  ${name.padEnd(48)} ${median(values).toFixed(0).padStart(6)} ms${rate}`);
}
const ratio = (ours, floorName) => median(times[floorName]) / median(times[ours]);
console.log(`encryptLines(): ${ratio('encryptLines()', "floor: a Uint8Array of the lines' size, written").toFixed(2)}x the floor's speed ` +
  '(goal: 0.25 GB/s of input, or 0.8x the floor)');
console.log(`decryptLines(): ${ratio('decryptLines()', "floor: a Uint8Array of the texts' size, written").toFixed(2)}x the floor's speed`);

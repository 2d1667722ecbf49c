// encrypt-wasm's speed, side by side in one run with the native library
// (native_hex.c on the C interface), the Python module and the obvious plain
// JavaScript:
//
//   - texts a second on 1,000,000 random Uint8Array texts of 1-64 bytes,
//     each result used (one of its characters read, which makes a lazily
//     joined string whole); beside them one call into the WebAssembly
//     module per text with the string made from its memory;
//   - on 1,000,000 texts of 1-4 bytes, as bytes and as ASCII strings, those
//     that take their digits from the package's table of 65,536 digit
//     strings: hex() and resultLine() beside one call into the module per
//     text, what they would be without it (the string made as Node and as
//     browsers make it); and the time making the table takes;
//   - one 64 MiB text, beside the least any function returning its digits
//     costs here: Node making a string of the result's length from a buffer
//     (toString('latin1')).
//
// Best of five, the contenders taking turns. From the top of the
// repository, after the release build (cmake --preset release &&
// cmake --build --preset release; the Python module's target is
// encrypt_python) and the package's (cd js && npm run build):
//
//     node bench/js/speed.mjs
import { execFileSync, spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

import { CAPTION, hex, init, resultLine } from '../../js/dist/index.mjs';

const root = fileURLToPath(new URL('../../', import.meta.url));
const build = join(root, 'build/release');
const rounds = 5;

function cpu() {
  try {
    const model = execFileSync('lscpu', { encoding: 'utf8' }).match(/^Model name:\s*(.+)$/m);
    return model ? model[1] : 'unknown CPU';
  } catch {
    return 'unknown CPU';
  }
}

// The obvious JavaScript: each unit's digits from a table of 65,536 strings,
// made here by the transform written out in JavaScript, joined with +=.
function mix(v) {
  const p = Math.imul(v + 26, v + 5) >>> 0;
  return (p ^ (p >>> 16)) >>> 0;
}
const plainTable = Array.from({ length: 65536 }, (_, unit) => mix(unit).toString(16));
function plainHex(bytes) {
  let digits = '';
  const length = bytes.length;
  let i = 0;
  for (; i + 1 < length; i += 2) {
    digits += plainTable[bytes[i] | (bytes[i + 1] << 8)];
  }
  if (i < length) {
    digits += plainTable[bytes[i]];
  }
  return digits;
}

// One call into the package's own module per text, the string made from
// its memory.
const raw = new WebAssembly.Instance(new WebAssembly.Module(readFileSync(join(root, 'js/dist/encrypt.wasm'))), {});
const exports = raw.exports;
const memory = new Uint8Array(exports.memory.buffer);
const memoryBuffer = Buffer.from(exports.memory.buffer);
const pieceArea = exports.piece_area();
const resultArea = exports.result_area();
const WHOLE = 3; // hex_piece()'s flags for an input in one piece: its first and its last
function oneCallHex(bytes) {
  memory.set(bytes, pieceArea);
  return memoryBuffer.latin1Slice(resultArea, resultArea + exports.hex_piece(bytes.length, 0, WHOLE));
}

// A seeded generator: the same texts every run.
let state = 20261209;
function random(below) {
  state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
  return Math.floor((state / 2 ** 32) * below);
}

await init();
console.log(`CPU: ${cpu()}; Node ${process.version}; ${rounds} rounds, best of each`);

const count = 1_000_000;
const lengths = Array.from({ length: count }, () => 1 + random(64));
const all = new Uint8Array(lengths.reduce((sum, n) => sum + n, 0));
for (let i = 0; i < all.length; i++) {
  all[i] = random(256);
}
const texts = [];
for (let at = 0, i = 0; i < count; at += lengths[i], i++) {
  texts.push(all.subarray(at, at + lengths[i]));
}
for (let i = 0; i < 1000; i++) {
  if (hex(texts[i]) !== plainHex(texts[i]) || oneCallHex(texts[i]) !== plainHex(texts[i])) {
    throw new Error(`text ${i}: the contenders disagree`);
  }
}

// The best rate of each contender over the texts, in texts a second, the
// contenders taking turns.
function bestRates(contenders, texts) {
  const best = {};
  for (let round = 0; round < rounds; round++) {
    for (const [name, f] of Object.entries(contenders)) {
      let sink = 0;
      const start = performance.now();
      for (const text of texts) {
        const digits = f(text);
        sink += digits.charCodeAt(digits.length >> 1);
      }
      const rate = texts.length / ((performance.now() - start) / 1000);
      best[name] = Math.max(best[name] ?? 0, rate);
      if (sink === 0.5) {
        console.log(sink); // never: keeps the results used
      }
    }
  }
  return best;
}

const best = bestRates({ 'encrypt-wasm hex()': hex, 'plain JavaScript, table and +=': plainHex, 'one WebAssembly call per text': oneCallHex }, texts);

// The texts the package's table of digit strings serves, of 1 to 4 bytes,
// as bytes and as ASCII strings: hex() and resultLine() beside what they
// would be without the table, one call into the module per text (in Node,
// the string made by latin1Slice; a browser's TextDecoder costs more).
const tiny = Array.from({ length: count }, () => Uint8Array.from({ length: 1 + random(4) }, () => random(256)));
const tinyStrings = Array.from({ length: count }, () => String.fromCharCode(...Array.from({ length: 1 + random(4) }, () => 32 + random(95))));
const captionBytes = new TextEncoder().encode(CAPTION);
function oneCallLine(bytes) {
  memory.set(captionBytes, resultArea);
  memory.set(bytes, pieceArea);
  return memoryBuffer.latin1Slice(resultArea, resultArea + captionBytes.length + exports.hex_piece(bytes.length, captionBytes.length, WHOLE));
}
// As browsers make the string, where Node's Buffer is not there.
const decoder = new TextDecoder();
function oneCallDecoded(bytes) {
  memory.set(bytes, pieceArea);
  return decoder.decode(memory.subarray(resultArea, resultArea + exports.hex_piece(bytes.length, 0, WHOLE)));
}
function oneCallLineDecoded(bytes) {
  memory.set(captionBytes, resultArea);
  memory.set(bytes, pieceArea);
  return decoder.decode(memory.subarray(resultArea, resultArea + captionBytes.length + exports.hex_piece(bytes.length, captionBytes.length, WHOLE)));
}
const stringBytes = (f) => (text) => f(memory.subarray(pieceArea, pieceArea + new TextEncoder().encodeInto(text, memory.subarray(pieceArea)).written));
// The table's way, written out: the digits of each unit joined, after the
// caption for a line; an ASCII string's characters are its bytes.
function plainHexAscii(text) {
  let digits = '';
  const length = text.length;
  let i = 0;
  for (; i + 1 < length; i += 2) {
    digits += plainTable[text.charCodeAt(i) | (text.charCodeAt(i + 1) << 8)];
  }
  return i < length ? digits + plainTable[text.charCodeAt(i)] : digits;
}
const plainLine = (bytes) => CAPTION + plainHex(bytes);
const plainLineAscii = (text) => CAPTION + plainHexAscii(text);
const served = [
  ['hex() of bytes', tiny, hex, plainHex, oneCallHex, oneCallDecoded],
  ['resultLine() of bytes', tiny, resultLine, plainLine, oneCallLine, oneCallLineDecoded],
  ['hex() of ASCII strings', tinyStrings, hex, plainHexAscii, stringBytes(oneCallHex), stringBytes(oneCallDecoded)],
  ['resultLine() of ASCII strings', tinyStrings, resultLine, plainLineAscii, stringBytes(oneCallLine), stringBytes(oneCallLineDecoded)],
].map(([name, texts, shipped, table, call, decoded]) =>
  [name, bestRates({ 'encrypt-wasm': shipped, table, 'one call': call, decoded }, texts)]);

// Making the table as the package does at initialisation, best of the rounds.
let tableMaking = Infinity;
for (let round = 0; round < rounds; round++) {
  const start = performance.now();
  exports.unit_digits();
  const all = memoryBuffer.latin1Slice(resultArea, resultArea + 8 * 65536);
  const units = [];
  for (let unit = 0; unit < 65536; unit++) {
    units.push(all.substring(8 * unit, 8 * unit + memory[resultArea + 8 * 65536 + unit]));
  }
  tableMaking = Math.min(tableMaking, performance.now() - start);
  if (units[0] !== plainTable[0]) {
    throw new Error('the table differs from the plain one');
  }
}

// The same texts for the native library and the Python module: a length
// byte before each.
const scratch = mkdtempSync(join(tmpdir(), 'encrypt-bench-'));
const file = join(scratch, 'texts');
const framed = new Uint8Array(all.length + count);
for (let at = 0, i = 0; i < count; i++) {
  framed[at++] = lengths[i];
  framed.set(texts[i], at);
  at += lengths[i];
}
writeFileSync(file, framed);

const others = {};
const library = join(build, 'libencrypt.a');
if (existsSync(library)) {
  const program = join(scratch, 'native_hex');
  execFileSync('cc', ['-O2', '-std=c99', join(root, 'bench/js/native_hex.c'), `-I${join(root, 'include')}`, library, '-o', program]);
  others.native = JSON.parse(execFileSync(program, [file], { encoding: 'utf8' }));
} else {
  console.log(`(no native library at ${library}: build the release preset)`);
}
const pythonPackage = join(build, 'python/package');
if (existsSync(join(pythonPackage, 'encrypt'))) {
  const script = `
import json, sys, time, encrypt
data = open(sys.argv[1], 'rb').read()
texts = []
at = 0
while at < len(data):
    texts.append(data[at + 1:at + 1 + data[at]])
    at += 1 + data[at]
hex_ = encrypt.hex
best = 1e9
for _ in range(${rounds}):
    start = time.perf_counter()
    for t in texts:
        hex_(t)[0]
    best = min(best, time.perf_counter() - start)
large = bytes((i * 2654435761 >> 24) & 255 for i in range(1 << 16)) * 1024
large_best = 1e9
for _ in range(3):
    start = time.perf_counter()
    hex_(large)[0]
    large_best = min(large_best, time.perf_counter() - start)
print(json.dumps({"texts_per_second": len(texts) / best, "large_seconds": large_best}))
`;
  const result = spawnSync('/usr/bin/python3', ['-c', script, file], {
    encoding: 'utf8',
    env: { ...process.env, PYTHONPATH: pythonPackage },
  });
  if (result.status === 0) {
    others.python = JSON.parse(result.stdout);
  } else {
    console.log(`(the Python module failed: ${result.stderr.trim().split('\n').pop()})`);
  }
} else {
  console.log(`(no Python module at ${pythonPackage}: build the release preset's encrypt_python)`);
}
rmSync(scratch, { recursive: true, force: true });

const millions = (rate) => `${(rate / 1e6).toFixed(2)} M texts/s`;
console.log('\n1,000,000 texts of 1-64 bytes (hex of each, one character of it read):');
for (const [name, rate] of Object.entries(best)) {
  console.log(`  ${name.padEnd(34)} ${millions(rate)}`);
}
if (others.native) console.log(`  ${'native library, encrypt_hex()'.padEnd(34)} ${millions(others.native.texts_per_second)}`);
if (others.python) console.log(`  ${'Python module, encrypt.hex()'.padEnd(34)} ${millions(others.python.texts_per_second)}`);
const ratio = best['encrypt-wasm hex()'] / best['plain JavaScript, table and +='];
console.log(`  encrypt-wasm / plain JavaScript: ${ratio.toFixed(2)}x (goal: at least 1)`);

console.log('\n1,000,000 texts of 1-4 bytes, those the table of digit strings serves:');
console.log('  (table: the digit strings joined; one call: the string made by latin1Slice, as in Node;');
console.log('  decoded: by TextDecoder, as in browsers; encrypt-wasm: the function as it is)');
for (const [name, rates] of served) {
  const ratio = (other) => `${(rates.table / rates[other]).toFixed(2)}x`;
  console.log(`  ${name.padEnd(30)} encrypt-wasm ${millions(rates['encrypt-wasm'])}, table ${millions(rates.table)}, ` +
    `one call ${millions(rates['one call'])} (table ${ratio('one call')}), decoded ${millions(rates.decoded)} (table ${ratio('decoded')})`);
}
console.log('  the table serves where it is 1.2x as fast or more');
console.log(`  making the table: ${tableMaking.toFixed(1)} ms`);

// One 64 MiB text; the floor is a string of its result's length made from a
// buffer. Its first call, with no buffer to gather in yet, is shown apart.
const large = new Uint8Array(64 << 20);
for (let i = 0; i < large.length; i++) {
  large[i] = (i * 2654435761) >>> 24;
}
let start = performance.now();
let digits = hex(large);
const first = performance.now() - start;
const resultLength = digits.length;
digits = null;
const floorBuffer = Buffer.alloc(resultLength, 0x61);
const times = { hex: Infinity, floor: Infinity };
for (let round = 0; round < rounds; round++) {
  start = performance.now();
  let made = hex(large);
  made.charCodeAt(made.length >> 1);
  times.hex = Math.min(times.hex, performance.now() - start);
  made = null;
  start = performance.now();
  made = floorBuffer.toString('latin1');
  made.charCodeAt(made.length >> 1);
  times.floor = Math.min(times.floor, performance.now() - start);
  made = null;
}
const rate = (ms) => `${((large.length / ms) * 1e3 / 1e9).toFixed(2)} GB/s of text (${ms.toFixed(0)} ms)`;
console.log(`\none 64 MiB text (${resultLength.toLocaleString()} digits):`);
console.log(`  ${'encrypt-wasm hex()'.padEnd(34)} ${rate(times.hex)}; its first call ${first.toFixed(0)} ms`);
console.log(`  ${'floor: toString(\'latin1\') of as many bytes'.padEnd(34)} ${rate(times.floor)}`);
if (others.native) console.log(`  ${'native library, encrypt_hex()'.padEnd(34)} ${rate(others.native.large_seconds * 1e3)}`);
if (others.python) console.log(`  ${'Python module, encrypt.hex()'.padEnd(34)} ${rate(others.python.large_seconds * 1e3)}`);
console.log(`  encrypt-wasm / floor: ${(times.floor / times.hex).toFixed(2)}x (goal: at least 0.8)`);

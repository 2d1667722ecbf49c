// Whole files for the page, off its main thread: every text's line, as
// encrypt-lines writes them, or every line's text, as encrypt-lines -d.
import { decrypt, init, resultLine } from './lib/encrypt-wasm.mjs';

const ready = init();
const CHUNK = 4 << 20; // bytes read at a time
const LINE_FEED = 0x0a;
const CARRIAGE_RETURN = 0x0d;
const SHOWN_FAILURES = 100;

// The pieces of a text or line that runs on into the next chunk.
function joined(pieces, last) {
  if (pieces.length === 0) {
    return last;
  }
  const all = new Uint8Array(pieces.reduce((sum, piece) => sum + piece.length, 0) + last.length);
  let at = 0;
  for (const piece of [...pieces, last]) {
    all.set(piece, at);
    at += piece.length;
  }
  pieces.length = 0;
  return all;
}

// Calls `take(bytes, ended)` for every text of the file, each ending at
// `separator` (the last one needs none: `ended` is false for it), and says
// how far it has read.
async function eachText(file, separator, take) {
  const pending = [];
  for (let at = 0; at < file.size; at += CHUNK) {
    const chunk = new Uint8Array(await file.slice(at, at + CHUNK).arrayBuffer());
    let start = 0;
    for (let end; (end = chunk.indexOf(separator, start)) !== -1; start = end + 1) {
      take(joined(pending, chunk.subarray(start, end)), true);
    }
    if (start < chunk.length) {
      pending.push(chunk.slice(start));
    }
    postMessage({ type: 'progress', done: Math.min(at + CHUNK, file.size), total: file.size });
  }
  if (pending.length > 0) {
    take(joined(pending, new Uint8Array(0)), false);
  }
}

// Byte pieces for a Blob, gathered into blocks so that it holds few of them.
class Output {
  constructor() {
    this.chunks = [];
    this.block = new Uint8Array(1 << 20);
    this.used = 0;
  }

  push(bytes) {
    if (this.used + bytes.length > this.block.length) {
      this.flush();
      if (bytes.length > this.block.length) {
        this.chunks.push(bytes.slice());
        return;
      }
    }
    this.block.set(bytes, this.used);
    this.used += bytes.length;
  }

  flush() {
    this.chunks.push(this.block.slice(0, this.used));
    this.used = 0;
  }

  blob() {
    this.flush();
    return new Blob(this.chunks, { type: 'application/octet-stream' });
  }
}

async function encryptFile(file, separator) {
  const chunks = [];
  let lines = '';
  let count = 0;
  await eachText(file, separator, (text) => {
    lines += `${resultLine(text)}\n`;
    count++;
    if (lines.length >= 1 << 22) {
      chunks.push(lines);
      lines = '';
    }
  });
  chunks.push(lines);
  return { count, failures: [], failedCount: 0, blob: new Blob(chunks, { type: 'text/plain' }) };
}

async function decryptFile(file, separator) {
  const output = new Output();
  const terminator = Uint8Array.of(separator);
  const failures = [];
  let failedCount = 0;
  let number = 0;
  let count = 0;
  const fail = (reason) => {
    if (failures.length < SHOWN_FAILURES) {
      failures.push({ line: number, reason });
    }
    failedCount++;
  };
  // Lines end at a line feed, a carriage return just before it dropped.
  await eachText(file, LINE_FEED, (line, ended) => {
    number++;
    const end = ended && line[line.length - 1] === CARRIAGE_RETURN ? line.length - 1 : line.length;
    let text;
    try {
      text = decrypt(line.subarray(0, end));
    } catch (error) {
      fail(error.message);
      return;
    }
    if (text.includes(separator)) {
      fail(separator === LINE_FEED ? 'the text holds a line feed; choose zero bytes'
        : 'the text holds a zero byte; choose line feeds');
      return;
    }
    output.push(text);
    output.push(terminator);
    count++;
  });
  return { count, failures, failedCount, blob: output.blob() };
}

addEventListener('message', async ({ data: { file, direction, separator } }) => {
  try {
    await ready;
    const made = direction === 'encrypt' ? await encryptFile(file, separator) : await decryptFile(file, separator);
    const download = `${file.name}.${direction === 'encrypt' ? 'lines' : 'texts'}`;
    postMessage({ type: 'done', direction, name: file.name, download, ...made });
  } catch (error) {
    postMessage({ type: 'error', message: error.message });
  }
});

// encrypt-wasm: the encrypt library's transform, digits and decrypting, and
// its streams of texts and lines, run by its own C++ compiled to
// WebAssembly (wasm/exports.cpp).
//
// The build (scripts/build.mjs) puts `const wasmBase64 = '...'` before this
// file and makes an ES module and a CommonJS module of it; for the slim
// entry, which leaves the module's bytes to a URL or to the caller,
// `const wasmBase64 = null`.
/* global wasmBase64 */

const CAPTION = 'Encrypted data in hexadecimal format: ';

// Texts of up to this many bytes, one or two units, take their digits from
// the table of every unit's: a string that exists already, or two joined
// into a short flat one. Longer ones cost less as one call into the module
// and one string made from its memory than as a string joined from many
// (measured with bench/js/speed.mjs: see docs/javascript.md). So does the
// line of a short Uint8Array where Node's latin1Slice makes it straight
// from the module's memory: there the caption joined to the table's digits
// gained 0.88 to 1.17 times, short of the 1.2 the table must gain to serve;
// where TextDecoder makes it, as in browsers, the table gained 1.3 to 1.7.
const SHORT_BYTES = 4;

const NOT_READY = 'encrypt-wasm is not initialised: call `await init()` (or `initSync()`) first';

// Set up by init() or initSync().
let core = null; // the module's exports
let current = null; // its WebAssembly.Instance
let heap = null; // a Uint8Array over its memory, which never grows
let words32 = null; // a Uint32Array over it
let pieceArea = 0;
let pieceSize = 0;
let pieceBuffer = null; // heap's piece area
let resultArea = 0;
let resultSize = 0;
let heapString = null; // (start, end) => the string of heap[start, end)
let latin1View = null; // in Node, a Buffer over the module's memory
let bytesToString = null; // (bytes, start, end) => the string of bytes[start, end)
let table = null; // the digits of each of the 65,536 units, made by the module
let pending = null; // init()'s promise while it runs

const encoder = new TextEncoder();
const captionBytes = encoder.encode(CAPTION);

// The inlined module's bytes, for init() or initSync() given no source.
function inlinedBytes(name) {
  if (wasmBase64 === null) {
    throw new TypeError(
      `encrypt-wasm/slim holds no module: pass ${name}() ` +
        (name === 'init' ? "encrypt.wasm's URL, a Response of it, its bytes " : "encrypt.wasm's bytes ") +
        'or a compiled WebAssembly.Module',
    );
  }
  if (typeof Buffer === 'function') {
    return Buffer.from(wasmBase64, 'base64');
  }
  const text = atob(wasmBase64);
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i++) {
    bytes[i] = text.charCodeAt(i);
  }
  return bytes;
}

function setUp(instance) {
  const exports = instance.exports;
  // A reactor module's constructors; ours has none, but the contract asks.
  if (typeof exports._initialize === 'function') {
    exports._initialize();
  }
  const buffer = exports.memory.buffer;
  heap = new Uint8Array(buffer);
  words32 = new Uint32Array(buffer);
  pieceArea = exports.piece_area();
  pieceSize = exports.piece_size();
  pieceBuffer = heap.subarray(pieceArea, pieceArea + pieceSize);
  resultArea = exports.result_area();
  resultSize = exports.result_size();
  if (typeof Buffer === 'function' && typeof Buffer.prototype.latin1Slice === 'function') {
    // Node: a Latin-1 slice copies the bytes straight into a new string.
    const latin1Slice = Buffer.prototype.latin1Slice;
    const view = Buffer.from(buffer);
    latin1View = view;
    heapString = (start, end) => view.latin1Slice(start, end);
    bytesToString = (bytes, start, end) => latin1Slice.call(bytes, start, end);
  } else {
    // Digits are ASCII, which UTF-8 decoders take at full speed.
    const decoder = new TextDecoder();
    bytesToString = (bytes, start, end) => decoder.decode(bytes.subarray(start, end));
    heapString = (start, end) => bytesToString(heap, start, end);
  }
  // Every unit's digits as the module writes them, eight bytes a unit, then
  // how many of those eight each unit has.
  exports.unit_digits();
  const all = heapString(resultArea, resultArea + 8 * 65536);
  const counts = resultArea + 8 * 65536;
  const units = [];
  for (let unit = 0; unit < 65536; unit++) {
    units.push(all.substring(8 * unit, 8 * unit + heap[counts + unit]));
  }
  table = units;
  core = exports;
  current = instance;
}

function instantiate(source) {
  if (source === undefined) {
    source = inlinedBytes('initSync');
  }
  if (source instanceof WebAssembly.Module) {
    return new WebAssembly.Instance(source, {});
  }
  if (source instanceof ArrayBuffer || ArrayBuffer.isView(source)) {
    return new WebAssembly.Instance(new WebAssembly.Module(source), {});
  }
  throw new TypeError("initSync() takes a WebAssembly.Module, the module's bytes or nothing");
}

// The compiled module from any source init() takes: a URL (a string or a
// URL) is fetched, and a Response served as application/wasm is compiled
// as it arrives.
async function compiled(source) {
  if (source === undefined) {
    source = inlinedBytes('init');
  }
  if (typeof source === 'string' || (typeof URL === 'function' && source instanceof URL)) {
    source = fetch(source);
  }
  if (source !== null && typeof source === 'object' && typeof source.then === 'function') {
    source = await source;
  }
  if (source instanceof WebAssembly.Module) {
    return source;
  }
  if (source instanceof ArrayBuffer || ArrayBuffer.isView(source)) {
    return WebAssembly.compile(source);
  }
  if (typeof Response === 'function' && source instanceof Response) {
    if (!source.ok) {
      throw new Error(`init() could not fetch encrypt.wasm: ${source.status} ${source.statusText} from ${source.url}`);
    }
    const type = source.headers.get('Content-Type') ?? '';
    if (typeof WebAssembly.compileStreaming === 'function' && /^application\/wasm\s*(;|$)/i.test(type)) {
      return WebAssembly.compileStreaming(source);
    }
    return WebAssembly.compile(await source.arrayBuffer());
  }
  throw new TypeError(
    "init() takes a WebAssembly.Module, the module's bytes, its URL, a Response (or a promise of one) or nothing",
  );
}

/**
 * Makes the package ready, compiling its WebAssembly asynchronously, and
 * resolves to the module's instance; a second call does nothing more.
 * `source` is optional in the full entry: a WebAssembly.Module, the bytes of
 * encrypt.wasm, its URL or a Response, for where the inlined bytes are not
 * wanted; the slim entry needs one.
 */
function init(source) {
  if (core !== null) {
    return Promise.resolve(current);
  }
  if (pending === null) {
    pending = (async () => {
      const instance = await WebAssembly.instantiate(await compiled(source), {});
      if (core === null) {
        setUp(instance);
      }
      return current;
    })();
    // A failed start may be tried again, with another source.
    pending.catch(() => {
      pending = null;
    });
  }
  return pending;
}

/** As init(), at once: from a compiled module, its bytes, or the inlined bytes. */
function initSync(source) {
  if (core === null) {
    setUp(instantiate(source));
  }
  return current;
}

function isUint8Array(value) {
  return (
    value instanceof Uint8Array ||
    (ArrayBuffer.isView(value) && Object.prototype.toString.call(value) === '[object Uint8Array]')
  );
}

// What a wrong argument is, for its TypeError.
function typeName(value) {
  if (value === null || typeof value !== 'object') {
    return value === null ? 'null' : typeof value;
  }
  return (value.constructor && value.constructor.name) || 'object';
}

// An option's wrong value as a message shows it: a string quoted, else its type.
function shown(value) {
  return typeof value === 'string' ? JSON.stringify(value) : typeName(value);
}

function wrongInput(name, value) {
  return new TypeError(`${name}() takes a Uint8Array or a string, not ${typeName(value)}`);
}

// The flags of a piece for the module: the first of an input, the last.
// The module keeps what a piece leaves undone for the next.
const FIRST = 1;
const LAST = 2;
const ONLY = FIRST | LAST;

// Loads the input into the piece area one piece after another, each as
// full as it goes: a string as its UTF-8 bytes, a Uint8Array as it is.
// `step(size, flags)` takes the `size` bytes there.
function eachPiece(input, step) {
  let at = 0;
  let flags = FIRST;
  const length = input.length;
  for (;;) {
    let size;
    if (typeof input === 'string') {
      // No more of the string than can fit: Chromium's encodeInto() converts
      // all of the string it is given, which made a long one's pieces cost
      // its whole length each. Every UTF-16 unit takes a byte at least, a
      // lone surrogate three, so one cut off at the end never fits either.
      const end = Math.min(length, at + pieceSize);
      const { read, written } = encoder.encodeInto(at === 0 && end === length ? input : input.substring(at, end), pieceBuffer);
      at += read;
      size = written;
    } else {
      size = Math.min(pieceSize, length - at);
      heap.set(size === length ? input : input.subarray(at, at + size), pieceArea);
      at += size;
    }
    if (at >= length) {
      step(size, flags | LAST);
      return;
    }
    step(size, flags);
    flags = 0;
  }
}

// The digits of a text of `length` bytes, joined from the table.
function tableDigits(bytes, length) {
  let digits = '';
  let i = 0;
  for (const pairs = length - 1; i < pairs; i += 2) {
    digits += table[bytes[i] | (bytes[i + 1] << 8)];
  }
  if (i < length) {
    digits += table[bytes[i]];
  }
  return digits;
}

// The digits of a short string, or null if it is not all ASCII (whose
// characters are its bytes).
function asciiDigits(text) {
  let digits = '';
  const length = text.length;
  let i = 0;
  for (const pairs = length - 1; i < pairs; i += 2) {
    const low = text.charCodeAt(i);
    const high = text.charCodeAt(i + 1);
    if ((low | high) > 0x7f) {
      return null;
    }
    digits += table[low | (high << 8)];
  }
  if (i < length) {
    const low = text.charCodeAt(i);
    if (low > 0x7f) {
      return null;
    }
    digits += table[low];
  }
  return digits;
}

// Where the digits of an input of several pieces are gathered, so that its
// result is made as one string. Making a large string costs mostly the
// fresh memory it takes (on some systems more than all the rest), and joined
// strings would take it twice: once for the pieces, once for the whole. The
// buffer is kept while the garbage collector leaves it, for the next large
// input; a string of the result's length takes as much memory anyway.
let gatheredRef = null;

function gatheringBuffer(size, kept, used) {
  let buffer = gatheredRef === null ? undefined : gatheredRef.deref();
  if (buffer === undefined || buffer.length < size) {
    const grown = new Uint8Array(size);
    if (kept !== undefined) {
      grown.set(kept.subarray(0, used));
    }
    buffer = grown;
    gatheredRef = typeof WeakRef === 'function' ? new WeakRef(buffer) : null;
  }
  return buffer;
}

// The string of bytes[start, end), or the RangeError that says it is longer
// than this engine's strings.
function madeString(bytes, start, end) {
  try {
    return bytesToString(bytes, start, end);
  } catch (error) {
    throw new RangeError(
      `the result of this input, ${end - start} characters, is longer than the longest string ` +
        'this JavaScript engine makes',
      { cause: error },
    );
  }
}

// `prefix` (ASCII, at most 48 characters, as many as the module leaves
// space for) and the digits of an input of any length, made by the module a
// piece at a time.
function piecesDigits(input, prefix) {
  const at = prefix.length;
  let line = null;
  let buffer = null;
  let used = 0;
  eachPiece(input, (size, flags) => {
    if (flags === ONLY) {
      // All of it in one piece: the line straight from the module.
      heap.set(prefix, resultArea);
      line = madeString(heap, resultArea, resultArea + at + core.hex_piece(size, at, ONLY));
      return;
    }
    const count = core.hex_piece(size, 0, flags);
    if (buffer === null) {
      // Eight digits for every two bytes; as many for a string's ASCII.
      buffer = gatheringBuffer(at + 4 * input.length + 8);
      buffer.set(prefix);
      used = at;
    }
    if (used + count > buffer.length) {
      buffer = gatheringBuffer(Math.ceil(1.5 * (used + count)), buffer, used);
    }
    buffer.set(heap.subarray(resultArea, resultArea + count), used);
    used += count;
  });
  return line !== null ? line : madeString(buffer, 0, used);
}

// `prefix` (captionBytes or none) and the input's digits.
function digitsOf(input, prefix, name) {
  if (table === null) {
    throw new Error(NOT_READY);
  }
  let length;
  if (isUint8Array(input)) {
    length = input.length;
    if (length <= SHORT_BYTES && (prefix.length === 0 || latin1View === null)) {
      return (prefix.length === 0 ? '' : CAPTION) + tableDigits(input, length);
    }
    if (length > pieceSize) {
      return piecesDigits(input, prefix);
    }
    heap.set(input, pieceArea);
  } else if (typeof input === 'string') {
    if (input.length <= SHORT_BYTES) {
      const digits = asciiDigits(input);
      if (digits !== null) {
        return (prefix.length === 0 ? '' : CAPTION) + digits;
      }
    }
    // Three bytes at most for each UTF-16 unit.
    if (input.length > pieceSize / 3) {
      return piecesDigits(input, prefix);
    }
    length = encoder.encodeInto(input, pieceBuffer).written;
  } else {
    throw wrongInput(name, input);
  }
  heap.set(prefix, resultArea);
  return heapString(resultArea, resultArea + prefix.length + core.hex_piece(length, prefix.length, ONLY));
}

const noPrefix = new Uint8Array(0);

/** The hex digits `encrypt TEXT` prints for the input (a Uint8Array, or a string as UTF-8). */
function hex(input) {
  // The common case first, with nothing in between.
  if (input instanceof Uint8Array && table !== null) {
    const length = input.length;
    if (length <= SHORT_BYTES) {
      return tableDigits(input, length);
    }
    if (length <= pieceSize) {
      heap.set(input, pieceArea);
      const end = resultArea + core.hex_piece(length, 0, ONLY);
      return latin1View !== null ? latin1View.latin1Slice(resultArea, end) : heapString(resultArea, end);
    }
  }
  return digitsOf(input, noPrefix, 'hex');
}

/** CAPTION and the digits: the line `encrypt TEXT` prints, without its line feed. */
function resultLine(input) {
  return digitsOf(input, captionBytes, 'resultLine');
}

/** The input's transformed words, one for every two bytes begun. */
function words(input) {
  if (core === null) {
    throw new Error(NOT_READY);
  }
  const bytes = isUint8Array(input);
  if (!bytes && typeof input !== 'string') {
    throw wrongInput('words', input);
  }
  // A string's count of bytes is known only once it is encoded.
  const all = bytes ? new Uint32Array((input.length + 1) >>> 1) : null;
  const chunks = [];
  let count = 0;
  eachPiece(input, (size, flags) => {
    const made = core.words_piece(size, flags);
    const piece = words32.subarray(resultArea >>> 2, (resultArea >>> 2) + made);
    if (bytes) {
      all.set(piece, count);
    } else {
      chunks.push(piece.slice());
    }
    count += made;
  });
  if (bytes || chunks.length === 1) {
    return bytes ? all : chunks[0];
  }
  const joined = new Uint32Array(count);
  count = 0;
  for (const chunk of chunks) {
    joined.set(chunk, count);
    count += chunk.length;
  }
  return joined;
}

/** Transforms a Uint32Array's words in place and returns it. */
function encryption(words) {
  if (core === null) {
    throw new Error(NOT_READY);
  }
  if (
    !(words instanceof Uint32Array) &&
    !(ArrayBuffer.isView(words) && Object.prototype.toString.call(words) === '[object Uint32Array]')
  ) {
    throw new TypeError(`encryption() takes a Uint32Array, not ${typeName(words)}`);
  }
  const most = resultSize >>> 2; // words a call takes
  const first = resultArea >>> 2;
  for (let at = 0; at < words.length; at += most) {
    const chunk = words.subarray(at, at + most);
    words32.set(chunk, first);
    core.transform_words(chunk.length);
    chunk.set(words32.subarray(first, first + chunk.length));
  }
  return words;
}

// The library's codes (<encrypt/decrypt.h>, <encrypt/lines.h>) that this
// file acts on; every other failure's code only picks its message.
const NO_MEMORY = -3;
const STOPPED = -6;
const LINES_END = 1;
const LINES_NUL = 1;
const LINES_CRLF = 2;

function ready() {
  if (core === null) {
    throw new Error(NOT_READY);
  }
}

// The zero-terminated message at `address` in the module's memory.
function messageAt(address) {
  return heapString(address, heap.indexOf(0, address));
}

// The error for a code of the library's that stands for no text: an Error
// for memory running short, which is no fault of the line, and a
// RangeError for a line without one text.
function failure(code, message) {
  if (code === NO_MEMORY) {
    const error = new Error(message);
    error.code = 'ENCRYPT_NO_MEMORY';
    return error;
  }
  return new RangeError(message);
}

// Bytes the module made, joined into one array.
function joined(chunks, total) {
  if (chunks.length === 1) {
    return chunks[0];
  }
  const all = new Uint8Array(total);
  let at = 0;
  for (const chunk of chunks) {
    all.set(chunk, at);
    at += chunk.length;
  }
  return all;
}

// The module's output as it is made, each a copy, and all of it joined:
// `run(take)` calls `take(size)` for the `size` bytes it left at the start
// of the result area.
function gathered(run) {
  const chunks = [];
  let total = 0;
  run((size) => {
    if (size > 0) {
      chunks.push(heap.slice(resultArea, resultArea + size));
      total += size;
    }
  });
  return joined(chunks, total);
}

/**
 * The text whose result line `line` is (a string, or its bytes), with or
 * without the caption and a line end (LF or CR LF), as a Uint8Array.
 */
function decrypt(line) {
  ready();
  if (typeof line !== 'string' && !isUint8Array(line)) {
    throw new TypeError(`decrypt() takes a string or a Uint8Array, not ${typeName(line)}`);
  }
  let code = 0;
  const text = gathered((take) =>
    eachPiece(line, (size, flags) => {
      code = core.decrypt_piece(size, flags);
      take(core.decrypt_take());
    }),
  );
  if (code !== 0) {
    throw failure(code, messageAt(core.reason(code)));
  }
  return text;
}

// --- streams of texts and lines ---------------------------------------------

function optionsObject(name, options) {
  if (options === undefined) {
    return {};
  }
  if (options === null || typeof options !== 'object') {
    throw new TypeError(`${name} takes its options as an object, not ${typeName(options)}`);
  }
  return options;
}

// The library's options for a separator and, for texts, the CR LF rule.
function lineFlags(name, { separator = '\n', crlf = false }) {
  if (separator !== '\n' && separator !== '\0') {
    throw new TypeError(`${name}: separator must be '\\n' or '\\0', not ${shown(separator)}`);
  }
  if (typeof crlf !== 'boolean') {
    throw new TypeError(`${name}: crlf must be true or false, not ${typeName(crlf)}`);
  }
  return (separator === '\0' ? LINES_NUL : 0) | (crlf ? LINES_CRLF : 0);
}

function encoderOptions(name, options) {
  const given = optionsObject(name, options);
  return { name, decoding: false, flags: lineFlags(name, given), skip: false };
}

function decoderOptions(name, options) {
  const given = optionsObject(name, options);
  const { errors = 'strict', failures } = given;
  if (errors !== 'strict' && errors !== 'skip') {
    throw new TypeError(`${name}: errors must be 'strict' or 'skip', not ${shown(errors)}`);
  }
  if (failures !== undefined && !Array.isArray(failures)) {
    throw new TypeError(`${name}: failures must be an array, not ${typeName(failures)}`);
  }
  return { name, decoding: true, flags: lineFlags(name, { separator: given.separator }), skip: errors === 'skip', failures };
}

function checkChunk(name, chunk) {
  if (typeof chunk !== 'string' && !isUint8Array(chunk)) {
    throw new TypeError(`${name} takes a Uint8Array or a string, not ${typeName(chunk)}`);
  }
}

// The module's stream objects that a LineEncoder, LineDecoder or stream
// dropped in the middle of its stream still holds.
const dropped =
  typeof FinalizationRegistry === 'function'
    ? new FinalizationRegistry(({ decoding, handle }) => (decoding ? core.line_decoder_free(handle) : core.line_encoder_free(handle)))
    : null;

// One stream of the library's, the module's object made when it starts and
// released at its end, or where a failed line ends it. With 'skip', a line
// that fails after part of its text went out is listed and stops the
// stream (`stopped`) until finish(), unless `stopThrows`.
class LineStream {
  constructor({ name, decoding, flags, skip }, failures, stopThrows = false) {
    this.name = name;
    this.decoding = decoding;
    this.flags = flags;
    this.skip = skip;
    this.failures = failures;
    this.stopThrows = stopThrows;
    this.stopped = false;
    this.handle = 0;
  }

  open() {
    if (this.handle === 0) {
      this.handle = this.decoding ? core.line_decoder_new(this.flags) : core.line_encoder_new(this.flags);
      if (this.handle === 0) {
        throw failure(NO_MEMORY, messageAt(core.reason(NO_MEMORY)));
      }
      dropped?.register(this, { decoding: this.decoding, handle: this.handle }, this);
    }
    return this.handle;
  }

  close() {
    if (this.handle !== 0) {
      dropped?.unregister(this);
      if (this.decoding) {
        core.line_decoder_free(this.handle);
      } else {
        core.line_encoder_free(this.handle);
      }
      this.handle = 0;
    }
  }

  // One call of the module's stream, its output handed to `take`; a failed
  // line listed, or thrown. Returns what the call returned.
  run(finish, take) {
    const status = this.decoding ? core.line_decoder_run(this.handle, finish) : core.line_encoder_run(this.handle, finish);
    take(core.lines_output());
    if (status < 0) {
      const line = core.line_decoder_failed_line(this.handle);
      const reason = messageAt(core.line_decoder_failure(this.handle));
      // Memory running short ends the stream even with 'skip'.
      if (!this.skip || status === NO_MEMORY || (status === STOPPED && this.stopThrows)) {
        this.close();
        throw failure(status, `line ${line}: ${reason}`);
      }
      this.failures.push({ line, reason });
      this.stopped = status === STOPPED;
    }
    return status;
  }

  // The next bytes of the stream, cut anywhere, and all the output they
  // make: calls go on while output fills the result area.
  update(input, take) {
    this.open();
    eachPiece(input, (size) => {
      if (this.stopped) {
        return; // the input after a stop is left unread
      }
      core.lines_input(size);
      do {
        this.run(0, take);
      } while (!this.stopped && (core.lines_input_left() > 0 || core.lines_output() === resultSize));
    });
  }

  // The end of the stream: the rest of its output. It ends a stopped stream too.
  finish(take) {
    if (this.handle !== 0) {
      while (!this.stopped && this.run(1, take) !== LINES_END) {
        // more output, or a failed line listed
      }
      this.close();
    }
    this.stopped = false;
  }
}

/**
 * The result line of every text of `texts` (a Uint8Array, or a string as its
 * UTF-8 bytes), each ended by a line feed: what encrypt-lines writes for
 * it. Texts end at the separator, '\n' or '\0' (the last needs none); with
 * `crlf`, a carriage return before a line feed ends a text too.
 */
function encryptLines(texts, options) {
  ready();
  checkChunk('encryptLines()', texts);
  const stream = new LineStream(encoderOptions('encryptLines()', options));
  const bytes = typeof texts === 'string' ? encoder.encode(texts) : texts;
  // Space for every line, found by the library: one array, written once.
  let capacity = 0;
  eachPiece(bytes, (size) => {
    capacity += core.lines_capacity(size, stream.flags);
  });
  const lines = new Uint8Array(capacity);
  let used = 0;
  const take = (size) => {
    lines.set(heap.subarray(resultArea, resultArea + size), used);
    used += size;
  };
  try {
    stream.update(bytes, take);
    stream.finish(take);
  } finally {
    stream.close();
  }
  // A view of the lines: its buffer's few bytes more, never written, cost
  // no memory, where a copy of the exact size would cost as much again.
  return used === capacity ? lines : lines.subarray(0, used);
}

/**
 * The text of every result line of `lines` (a Uint8Array, or a string as
 * its bytes), each followed by the separator, '\n' or '\0': what
 * encrypt-lines -d writes for it. A line without one text throws a
 * RangeError, "line N: reason"; with `errors: 'skip'` it is left out and
 * `{ line, reason }` goes into the array `failures`, if one is given. A line
 * that fails after part of its text went out ends the output there, as
 * nothing may follow it: it throws with 'strict', and with 'skip' the texts
 * up to it come back and it is listed.
 */
function decryptLines(lines, options) {
  ready();
  checkChunk('decryptLines()', lines);
  const given = decoderOptions('decryptLines()', options);
  const stream = new LineStream(given, given.failures ?? []);
  try {
    return gathered((take) => {
      stream.update(lines, take);
      stream.finish(take);
    });
  } finally {
    stream.close();
  }
}

// What LineEncoder and LineDecoder share: their stream, a chunk at a time.
class LineCoder {
  /** Takes the next bytes, cut anywhere, and returns the output ready so far. */
  update(chunk) {
    const stream = streams.get(this);
    checkChunk(`${stream.name}.update()`, chunk);
    return gathered((take) => stream.update(chunk, take));
  }

  /** Ends the input and returns the rest of the output; then ready for new input. */
  finish() {
    const stream = streams.get(this);
    return gathered((take) => stream.finish(take));
  }
}

/** Texts in, their result lines out, a chunk at a time: encryptLines() in steps. */
class LineEncoder extends LineCoder {
  constructor(options) {
    ready();
    super();
    streams.set(this, new LineStream(encoderOptions('LineEncoder', options)));
  }
}

/**
 * Result lines in, their texts out, a chunk at a time: decryptLines() in
 * steps. With `errors: 'skip'`, `failures` lists the lines left out.
 */
class LineDecoder extends LineCoder {
  constructor(options) {
    ready();
    super();
    const stream = new LineStream(decoderOptions('LineDecoder', options), []);
    streams.set(this, stream);
    Object.defineProperty(this, 'failures', { value: stream.failures, enumerable: true });
  }

  /** With errors: 'skip', whether a line that failed after part of its text went out stopped the stream: nothing more comes out until finish(). */
  get stopped() {
    return streams.get(this).stopped;
  }
}

// Each LineEncoder's and LineDecoder's stream.
const streams = new WeakMap();

// Where TransformStream is missing (Firefox before 102), the package still
// loads; the streams say what they need.
const Transform =
  typeof TransformStream === 'function'
    ? TransformStream
    : class {
        constructor() {
          throw new TypeError('EncryptLinesStream and DecryptLinesStream need TransformStream, which this JavaScript runtime lacks');
        }
      };

// A TransformStream over a LineStream: each result area's worth of output
// is one chunk.
function transformer(stream) {
  const put = (controller) => (size) => {
    if (size > 0) {
      controller.enqueue(heap.slice(resultArea, resultArea + size));
    }
  };
  return {
    transform(chunk, controller) {
      checkChunk(stream.name, chunk);
      stream.update(chunk, put(controller));
    },
    flush(controller) {
      stream.finish(put(controller));
    },
  };
}

/**
 * A TransformStream of texts to their result lines, as encryptLines():
 * `file.stream().pipeThrough(new EncryptLinesStream())`.
 */
class EncryptLinesStream extends Transform {
  constructor(options) {
    ready();
    super(transformer(new LineStream(encoderOptions('EncryptLinesStream', options))));
  }
}

/**
 * A TransformStream of result lines to their texts, as decryptLines(): a
 * line without one text errors the stream with a RangeError, "line N:
 * reason"; with `errors: 'skip'` it is left out and listed in `failures`.
 * A line that fails after part of its text went out errors it in either
 * mode.
 */
class DecryptLinesStream extends Transform {
  constructor(options) {
    ready();
    const stream = new LineStream(decoderOptions('DecryptLinesStream', options), [], true);
    super(transformer(stream));
    Object.defineProperty(this, 'failures', { value: stream.failures, enumerable: true });
  }
}

export {
  CAPTION,
  DecryptLinesStream,
  EncryptLinesStream,
  LineDecoder,
  LineEncoder,
  decrypt,
  decryptLines,
  encryptLines,
  encryption,
  hex,
  init,
  initSync,
  resultLine,
  words,
};

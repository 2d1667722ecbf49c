// The page: a text's line as it is typed, a line's text as it is pasted,
// and whole files in a worker (worker.js), so that the page stays
// responsive while they are read. A text or line too long for its box to
// stay quick is kept out of the box and worked out in a worker of its own
// (long-worker.js), so that a keystroke never waits on it.
import { CAPTION, hex, init, resultLine } from './lib/encrypt-wasm.mjs';
import { textOf } from './line-text.js';

const $ = (id) => document.getElementById(id);
const encoder = new TextEncoder();
const lenient = new TextDecoder('utf-8');

// Characters a box holds before a paste goes apart from it: a keystroke in
// a textarea of 256 Ki characters takes 80 ms to paint in Chromium here,
// one of 10 Mi several seconds (docs/javascript.md).
const BOX_LIMIT = 1 << 15;
// Characters of a result shown; "Copy" and "Download" take all of it.
const SHOWN = 500;

// Where the module cannot start, the page says why and what to do, and
// takes no input.
function stop(why) {
  $('problem').textContent = why;
  $('problem').hidden = false;
  document.querySelector('main').inert = true;
}

// A file dropped anywhere on the page is read as if dropped on the file
// box, and never opens in the tab in its place. Dragged text is left to
// the text boxes.
let start = null; // takes a dropped file once the page has started
const carriesFiles = (event) => event.dataTransfer !== null && event.dataTransfer.types.includes('Files');
for (const type of ['dragenter', 'dragover']) {
  document.addEventListener(type, (event) => {
    if (carriesFiles(event)) {
      event.preventDefault();
      event.dataTransfer.dropEffect = start !== null && !$('file').disabled ? 'copy' : 'none';
      $('drop').classList.add('over');
    }
  });
}
document.addEventListener('dragleave', (event) => {
  if (event.relatedTarget === null) {
    $('drop').classList.remove('over');
  }
});
document.addEventListener('drop', (event) => {
  if (carriesFiles(event)) {
    event.preventDefault();
    $('drop').classList.remove('over');
    if (start !== null && event.dataTransfer.files.length > 0 && !$('file').disabled) {
      start(event.dataTransfer.files[0]);
    }
  }
});

// A text box and the part of its text kept apart from it: a paste that
// would make the box longer than BOX_LIMIT characters takes all the box
// with it into `held`, shown by its size and beginning; what is typed then
// follows it in the box. `changed()` is called on every change.
class Entry {
  constructor(id, changed) {
    this.box = $(id);
    this.card = $(`${id}-held`);
    this.about = $(`${id}-held-about`);
    this.held = '';
    this.heldVersion = 0;
    this.changed = changed;
    this.box.addEventListener('paste', (event) => {
      const pasted = event.clipboardData.getData('text/plain');
      const { value, selectionStart, selectionEnd } = this.box;
      if (value.length - (selectionEnd - selectionStart) + pasted.length > BOX_LIMIT) {
        event.preventDefault();
        this.hold(this.held + value.slice(0, selectionStart) + pasted + value.slice(selectionEnd));
      }
    });
    // Whatever else makes the box too long (dropped text, say) goes apart too.
    this.box.addEventListener('input', () => {
      if (this.box.value.length > BOX_LIMIT) {
        this.hold(this.held + this.box.value);
      } else {
        changed();
      }
    });
    $(`${id}-held-remove`).addEventListener('click', () => {
      this.hold('', false);
      this.box.focus();
    });
  }

  // Keeps `text` apart (none when it is empty), the box emptied where it went with it.
  hold(text, emptyBox = true) {
    this.held = text;
    this.heldVersion++;
    if (emptyBox) {
      this.box.value = '';
    }
    this.card.hidden = text === '';
    this.about.textContent =
      text === ''
        ? ''
        : `Pasted, kept out of the box so that typing stays quick: ${text.length.toLocaleString()} characters, ` +
          `beginning “${text.slice(0, 60)}…”. What you type in the box follows them.`;
    this.changed();
  }

  get long() {
    return this.held !== '';
  }
}

// A result, shown by its beginning; "Copy" and "Download" take the whole:
// its parts, strings or bytes (of a line, ASCII; of a text, any).
class Result {
  constructor(id, fileName) {
    this.out = $(id);
    this.size = $(`${id}-size`);
    this.done = $(`${id}-done`);
    this.copyButton = $(`${id}-copy`);
    this.downloadButton = $(`${id}-download`);
    this.fileName = fileName;
    this.parts = null;
    this.url = null;
    this.copyButton.addEventListener('click', () => this.copy());
    this.downloadButton.addEventListener('click', () => this.download());
  }

  // Shows `shown` of `parts` (null: no result), `about` saying what part of it that is.
  show(parts, shown, about) {
    this.parts = parts;
    this.out.textContent = shown;
    this.out.classList.toggle('cut', about !== '');
    this.out.removeAttribute('aria-busy');
    this.size.textContent = about;
    this.size.hidden = about === '';
    this.copyButton.disabled = this.downloadButton.disabled = parts === null;
    this.done.textContent = '';
  }

  working(about) {
    this.out.setAttribute('aria-busy', 'true');
    this.size.textContent = about;
    this.size.hidden = false;
    this.copyButton.disabled = this.downloadButton.disabled = true;
  }

  async copy() {
    const text = this.parts.map((part) => (typeof part === 'string' ? part : lenient.decode(part))).join('');
    let copied;
    try {
      await navigator.clipboard.writeText(text);
      copied = true;
    } catch {
      copied = copyByCommand(text); // where the clipboard API is not offered: plain http, say
    }
    this.done.textContent = copied
      ? `Copied, ${text.length.toLocaleString()} characters.`
      : 'The browser refused to copy: use "Download".';
  }

  // A line downloads as `encrypt TEXT` writes it, with its line feed.
  download() {
    if (this.url !== null) {
      URL.revokeObjectURL(this.url);
    }
    this.url = URL.createObjectURL(new Blob(this.fileName === 'line.txt' ? [...this.parts, '\n'] : this.parts));
    const link = document.createElement('a');
    link.href = this.url;
    link.download = this.fileName;
    link.click();
  }
}

function copyByCommand(text) {
  const put = (event) => {
    event.clipboardData.setData('text/plain', text);
    event.preventDefault();
  };
  document.addEventListener('copy', put);
  try {
    return document.execCommand('copy');
  } finally {
    document.removeEventListener('copy', put);
  }
}

// The first SHOWN characters of a line's parts, and what part of it they are.
function lineShown(parts) {
  let shown = '';
  let length = 0;
  for (const part of parts) {
    const wanted = SHOWN - shown.length;
    if (wanted > 0) {
      shown += typeof part === 'string' ? part.slice(0, wanted) : lenient.decode(part.subarray(0, wanted));
    }
    length += part.length;
  }
  const about = length > SHOWN
    ? `Its first ${SHOWN} of ${length.toLocaleString()} characters; "Copy" and "Download" take all of them.`
    : '';
  return [parts, shown, about];
}

const hexBytes = (bytes) => Array.from(bytes, (byte) => byte.toString(16).padStart(2, '0')).join(' ');
const highSurrogate = /[\ud800-\udbff]$/;

function setUp() {
  const long = new Worker(new URL('./long-worker.js', import.meta.url), { type: 'module' });
  const answers = {};
  long.addEventListener('message', ({ data }) => answers[data.kind](data));
  long.addEventListener('error', (event) => {
    const why = `The page's worker for long texts failed: ${event.message ?? 'it could not start'}.`;
    line.show(null, '', why);
    textOut.show(null, '', why);
  });

  // Text to line. A held text's digits come from the worker once: those of
  // its bytes up to an even count; the line is then the caption, they, and
  // the digits of the rest (its odd last byte, a high surrogate at its end
  // and what is typed), worked out here at every keystroke.
  const line = new Result('line', 'line.txt');
  const sizeNote = (count) => `${count.toLocaleString()} byte${count === 1 ? '' : 's'} (UTF-8)`;
  let heldLine = null;
  answers.line = (answer) => {
    if (answer.version === text.heldVersion) {
      heldLine = answer;
      text.changed();
    }
  };
  let heldAsked = -1;
  const text = new Entry('text', () => {
    if (!text.long) {
      const bytes = encoder.encode(text.box.value);
      $('text-size').textContent = sizeNote(bytes.length);
      line.show(...lineShown([resultLine(bytes)]));
      return;
    }
    const carry = highSurrogate.test(text.held) ? text.held.slice(-1) : '';
    if (heldAsked !== text.heldVersion) {
      heldAsked = text.heldVersion;
      heldLine = null;
      long.postMessage({ kind: 'line', version: text.heldVersion, held: carry === '' ? text.held : text.held.slice(0, -1) });
    }
    if (heldLine === null) {
      $('text-size').textContent = 'Counting…';
      line.working('Working out the line…');
      return;
    }
    const typed = encoder.encode(carry + text.box.value);
    let rest = typed;
    if (heldLine.odd >= 0) {
      rest = new Uint8Array(typed.length + 1);
      rest[0] = heldLine.odd;
      rest.set(typed, 1);
    }
    $('text-size').textContent = sizeNote(heldLine.count + typed.length);
    line.show(...lineShown([CAPTION, heldLine.digits, hex(rest)]));
  });
  text.changed();

  // Line to text: the text, and its bytes too where they are not UTF-8, or
  // why there is none. A held line goes to the worker whole with every
  // change: one request at a time, only the newest waiting, and an answer
  // shown only if nothing changed since it was asked.
  const textOut = new Result('text-out', 'text');
  const note = $('text-bytes');
  let latest = 0;
  let busy = false;
  let waiting = false;
  let heldSent = -1;
  function ask() {
    waiting = false;
    busy = true;
    const message = { kind: 'text', version: latest, box: lineIn.box.value };
    if (heldSent !== lineIn.heldVersion) {
      heldSent = lineIn.heldVersion;
      message.held = lineIn.held;
    }
    long.postMessage(message);
  }
  answers.text = (answer) => {
    busy = false;
    if (waiting) {
      ask();
    } else if (answer.version === latest) {
      showText(answer);
    }
  };
  // { error } where the line has no one text ('' where it is empty), or { text, valid }.
  function showText({ error, text: bytes, valid }) {
    textOut.out.classList.toggle('failed', Boolean(error));
    note.hidden = true;
    if (error !== undefined) {
      textOut.show(null, error === '' ? '' : `No text: ${error}.`, '');
      return;
    }
    // The beginning's last character whole: a cut one waits for bytes not read.
    const cut = bytes.length > 4 * SHOWN;
    let shown = new TextDecoder().decode(bytes.subarray(0, 4 * SHOWN), { stream: cut });
    const more = cut || shown.length > SHOWN;
    if (shown.length > SHOWN) {
      shown = shown.slice(0, highSurrogate.test(shown.slice(0, SHOWN)) ? SHOWN - 1 : SHOWN);
    }
    textOut.fileName = valid ? 'text.txt' : 'text.bin';
    textOut.show([bytes], shown, more
      ? `Its beginning; the text is ${bytes.length.toLocaleString()} bytes, and "Copy" and "Download" take all of them.`
      : '');
    if (bytes.length === 0) {
      note.textContent = 'The empty text.';
      note.hidden = false;
    } else if (!valid) {
      const count = Math.min(bytes.length, 64);
      note.textContent = `Not valid UTF-8 (\ufffd stands for what is not); its ${bytes.length.toLocaleString()} bytes: ` +
        `${hexBytes(bytes.subarray(0, count))}${bytes.length > count ? ' …' : ''}`;
      note.hidden = false;
    }
  }
  const lineIn = new Entry('line-in', () => {
    latest++;
    if (lineIn.long) {
      textOut.out.classList.remove('failed');
      textOut.working('Working out the text…');
      waiting = true;
      if (!busy) {
        ask();
      }
      return;
    }
    showText(textOf(lineIn.box.value.trim()));
  });
  lineIn.changed();

  return fileWay();
}

// A whole file, in the worker; returns what starts one.
function fileWay() {
  const worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
  let downloadUrl = null;

  function chosen(name) {
    return document.querySelector(`input[name="${name}"]:checked`).value;
  }

  function start(file) {
    if (downloadUrl !== null) {
      URL.revokeObjectURL(downloadUrl);
      downloadUrl = null;
    }
    $('download').hidden = true;
    $('failures').hidden = true;
    $('failures').replaceChildren();
    $('progress').hidden = false;
    $('progress').value = 0;
    $('file').disabled = true;
    $('status').textContent = `Reading ${file.name}…`;
    worker.postMessage({ file, direction: chosen('direction'), separator: Number(chosen('separator')) });
  }

  worker.addEventListener('error', (event) => {
    $('file').disabled = false;
    $('progress').hidden = true;
    $('status').textContent = `The page's worker failed: ${event.message ?? 'it could not start'}`;
  });

  worker.addEventListener('message', ({ data }) => {
    if (data.type === 'progress') {
      $('progress').value = data.total === 0 ? 1 : data.done / data.total;
      return;
    }
    $('file').disabled = false;
    $('file').value = '';
    $('progress').hidden = true;
    if (data.type === 'error') {
      $('status').textContent = `The file could not be read: ${data.message}`;
      return;
    }
    const made = data.direction === 'encrypt' ? 'The line of every text' : 'The text of every line';
    const failed = data.failures.length;
    $('status').textContent =
      `${made} of ${data.name}` +
      (failed === 0 ? '.' : `; ${data.failedCount.toLocaleString()} line${data.failedCount === 1 ? '' : 's'} without one text, left out:`);
    downloadUrl = URL.createObjectURL(data.blob);
    const link = $('download');
    link.href = downloadUrl;
    link.download = data.download;
    link.textContent = `Download ${data.download} (${data.blob.size.toLocaleString()} bytes)`;
    link.hidden = false;
    if (failed !== 0) {
      $('failures').replaceChildren(
        ...data.failures.map(({ line, reason }) => {
          const item = document.createElement('li');
          item.textContent = `line ${line}: ${reason}`;
          return item;
        }),
      );
      if (data.failedCount > failed) {
        const more = document.createElement('li');
        more.textContent = `and ${(data.failedCount - failed).toLocaleString()} more`;
        $('failures').append(more);
      }
      $('failures').hidden = false;
    }
  });

  $('file').addEventListener('change', () => {
    if ($('file').files.length === 1) {
      start($('file').files[0]);
    }
  });
  return start;
}

try {
  await init();
  start = setUp();
} catch (error) {
  stop(
    /eval|CSP|Content.Security/i.test(error.message)
      ? "This page cannot start: its server's Content-Security-Policy does not let WebAssembly run here. " +
          "It needs 'wasm-unsafe-eval' in script-src, as in default-src 'self'; script-src 'self' 'wasm-unsafe-eval'. " +
          'Ask whoever serves the page to allow it, or serve it yourself: `node js/scripts/serve.mjs 8080` in the repository.'
      : `This page cannot start: WebAssembly did not start (${error.message}). It needs a browser with ` +
          'WebAssembly SIMD: Chrome or Edge 91, Firefox 89, Safari 16.4 or later.',
  );
}

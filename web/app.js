// The page: a text's line as it is typed, a line's text as it is pasted,
// and whole files in a worker (worker.js), so that the page stays
// responsive while they are read.
import { decrypt, init, resultLine } from './lib/encrypt-wasm.mjs';

const $ = (id) => document.getElementById(id);
const encoder = new TextEncoder();
const strict = new TextDecoder('utf-8', { fatal: true });
const lenient = new TextDecoder('utf-8');

await init();

// Text to line.
function showLine() {
  const bytes = encoder.encode($('text').value);
  $('text-size').textContent = `${bytes.length} byte${bytes.length === 1 ? '' : 's'} (UTF-8)`;
  $('line').textContent = resultLine(bytes);
}
$('text').addEventListener('input', showLine);
showLine();

// Line to text: the text, and its bytes too where they are not UTF-8, or
// why there is none.
const hexBytes = (bytes) => Array.from(bytes, (byte) => byte.toString(16).padStart(2, '0')).join(' ');
function showText() {
  const out = $('text-out');
  const note = $('text-bytes');
  const line = $('line-in').value.trim();
  out.classList.remove('failed');
  note.hidden = true;
  if (line === '') {
    out.textContent = '';
    return;
  }
  let text;
  try {
    text = decrypt(line);
  } catch (error) {
    out.classList.add('failed');
    out.textContent = `No text: ${error.message}.`;
    return;
  }
  try {
    out.textContent = strict.decode(text);
    if (text.length === 0) {
      note.textContent = 'The empty text.';
      note.hidden = false;
    }
  } catch {
    out.textContent = lenient.decode(text);
    note.textContent = `Not valid UTF-8 (\ufffd stands for what is not); its ${text.length} bytes: ${hexBytes(text)}`;
    note.hidden = false;
  }
}
$('line-in').addEventListener('input', showText);
showText();

// A whole file, in the worker.
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
  const made = data.direction === 'encrypt' ? 'line' : 'text';
  const failed = data.failures.length;
  $('status').textContent =
    `${data.count.toLocaleString()} ${made}${data.count === 1 ? '' : 's'} from ${data.name}` +
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
const drop = $('drop');
drop.addEventListener('dragover', (event) => {
  event.preventDefault();
  drop.classList.add('over');
});
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (event) => {
  event.preventDefault();
  drop.classList.remove('over');
  if (event.dataTransfer.files.length > 0 && !$('file').disabled) {
    start(event.dataTransfer.files[0]);
  }
});

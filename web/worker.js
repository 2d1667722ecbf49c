// Whole files for the page, off its main thread, through the package's
// streams: every text's line, as encrypt-lines writes them, or every line's
// text, as encrypt-lines -d writes them.
import { DecryptLinesStream, EncryptLinesStream, init } from './lib/encrypt-wasm.mjs';

const ready = init();
const PROGRESS_STEP = 4 << 20; // bytes read between two reports of progress
const SHOWN_FAILURES = 100;

// The file's bytes as they are read, with its progress reported.
function reading(file) {
  let done = 0;
  let reported = 0;
  return file.stream().pipeThrough(
    new TransformStream({
      transform(chunk, controller) {
        controller.enqueue(chunk);
        done += chunk.length;
        if (done - reported >= PROGRESS_STEP || done === file.size) {
          reported = done;
          postMessage({ type: 'progress', done, total: file.size });
        }
      },
    }),
  );
}

// The output's chunks (read by a reader: Safari's streams are not async
// iterable).
async function gather(stream) {
  const chunks = [];
  const reader = stream.getReader();
  for (let read = await reader.read(); !read.done; read = await reader.read()) {
    chunks.push(read.value);
  }
  return chunks;
}

addEventListener('message', async ({ data: { file, direction, separator } }) => {
  try {
    await ready;
    const options = { separator: separator === 0 ? '\0' : '\n' };
    const encrypting = direction === 'encrypt';
    // Lines without one text are listed and left out; a line that fails
    // after part of its text went out ends the file with its message.
    const stream = encrypting ? new EncryptLinesStream(options) : new DecryptLinesStream({ ...options, errors: 'skip' });
    const chunks = await gather(reading(file).pipeThrough(stream));
    const failures = encrypting ? [] : stream.failures;
    postMessage({
      type: 'done',
      direction,
      name: file.name,
      download: `${file.name}.${encrypting ? 'lines' : 'texts'}`,
      failures: failures.slice(0, SHOWN_FAILURES),
      failedCount: failures.length,
      blob: new Blob(chunks, { type: encrypting ? 'text/plain' : 'application/octet-stream' }),
    });
  } catch (error) {
    postMessage({ type: 'error', message: error.message });
  }
});

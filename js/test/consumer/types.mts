// The types as an ES module sees them.
import {
  CAPTION, DecryptLinesStream, EncryptLinesStream, LineDecoder, LineEncoder, type LineFailure, decrypt, decryptLines,
  encryptLines, encryption, hex, init, initSync, resultLine, words,
} from 'encrypt-wasm';
import * as slim from 'encrypt-wasm/slim';

const instance: WebAssembly.Instance = await init();
initSync(new WebAssembly.Module(new Uint8Array(8)));
const digits: string = hex('abc') + hex(new Uint8Array(2)) + resultLine(CAPTION);
const units: Uint32Array = words('abc');
const same: Uint32Array = encryption(units);
const text: Uint8Array = decrypt(digits);
// @ts-expect-error: numbers are no input
hex(42);
const caption: 'Encrypted data in hexadecimal format: ' = CAPTION;
const fetched: WebAssembly.Instance = await slim.init(fetch('https://example.com/encrypt.wasm'));
await slim.init(new URL('https://example.com/encrypt.wasm'));
// @ts-expect-error: the slim entry has no module of its own
await slim.init();
const slimDigits: string = slim.hex('abc');
const failures: LineFailure[] = [];
const lines: Uint8Array = encryptLines('abc\n', { separator: '\n', crlf: true });
const texts: Uint8Array = decryptLines(lines, { separator: '\0', errors: 'skip', failures });
// @ts-expect-error: the separator is a line feed or a zero byte
encryptLines('abc', { separator: ',' });
const decoder = new LineDecoder({ errors: 'skip' });
const parts: Uint8Array[] = [new LineEncoder().update('abc'), decoder.update(lines), decoder.finish()];
const listed: readonly LineFailure[] = decoder.failures;
const piped: ReadableStream<Uint8Array> = new Blob(['abc']).stream().pipeThrough(new EncryptLinesStream());
const back = new DecryptLinesStream({ errors: 'skip' });
const streamFailures: LineFailure[] = back.failures;
const slimLines: Uint8Array = slim.encryptLines('abc');
export { caption, fetched, instance, listed, parts, piped, same, slimDigits, slimLines, streamFailures, text, texts };

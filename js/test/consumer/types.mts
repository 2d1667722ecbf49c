// The types as an ES module sees them.
import { CAPTION, decrypt, encryption, hex, init, initSync, resultLine, words } from 'encrypt-wasm';
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
export { caption, fetched, instance, same, slimDigits, text };

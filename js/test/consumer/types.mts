// The types as an ES module sees them.
import { CAPTION, decrypt, encryption, hex, init, initSync, resultLine, words } from 'encrypt-wasm';

const instance: WebAssembly.Instance = await init();
initSync(new WebAssembly.Module(new Uint8Array(8)));
const digits: string = hex('abc') + hex(new Uint8Array(2)) + resultLine(CAPTION);
const units: Uint32Array = words('abc');
const same: Uint32Array = encryption(units);
const text: Uint8Array = decrypt(digits);
// @ts-expect-error: numbers are no input
hex(42);
export { instance, same, text };

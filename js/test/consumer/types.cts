// The types as a CommonJS module sees them.
import encrypt = require('encrypt-wasm');
import slim = require('encrypt-wasm/slim');

const instance: WebAssembly.Instance = encrypt.initSync();
const line: string = encrypt.resultLine(new Uint8Array([97]));
// @ts-expect-error: encryption() takes words
encrypt.encryption(new Uint8Array(4));
const slimInstance: WebAssembly.Instance = slim.initSync(new Uint8Array(8));
export = { instance, line, slimInstance };

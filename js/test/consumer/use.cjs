// The installed package by require.
const assert = require('node:assert/strict');

const { CAPTION, decrypt, hex, initSync, resultLine } = require('encrypt-wasm');

initSync();
assert.equal(resultLine('abc'), `${CAPTION}25da76d832c8`);
assert.throws(() => decrypt('25da76d9'), new RangeError('not a result line'));
console.log('require: encrypt-wasm', hex('abc'));

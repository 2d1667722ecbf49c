// The installed package and its slim entry by require.
const assert = require('node:assert/strict');

const { CAPTION, decrypt, hex, initSync, resultLine } = require('encrypt-wasm');

initSync();
assert.equal(resultLine('abc'), `${CAPTION}25da76d832c8`);
assert.throws(() => decrypt('25da76d9'), new RangeError('not a result line'));
const slim = require('encrypt-wasm/slim');
slim.initSync(require('node:fs').readFileSync(require.resolve('encrypt-wasm/encrypt.wasm')));
assert.equal(slim.hex('abc'), hex('abc'));
console.log('require: encrypt-wasm and encrypt-wasm/slim', hex('abc'));

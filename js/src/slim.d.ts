/**
 * encrypt-wasm/slim: the package without the WebAssembly module inlined, for
 * bundlers and pages that serve `encrypt-wasm/encrypt.wasm` as a file of its
 * own. Everything but init() and initSync() is the full entry's.
 */
export {
  CAPTION, DecryptLinesStream, EncryptLinesStream, LineDecoder, LineEncoder, decrypt, decryptLines, encryptLines,
  encryption, hex, resultLine, words,
} from './index.js';
export type { DecryptLinesOptions, EncryptLinesOptions, Input, InitSource, LineFailure } from './index.js';
import type { InitSource } from './index.js';

/**
 * Compiles the module from `source` (a URL of encrypt.wasm, a Response, its
 * bytes or a compiled WebAssembly.Module) and makes the package ready.
 */
export declare function init(source: InitSource): Promise<WebAssembly.Instance>;

/** As init(), at once, from the module's bytes or the compiled module. */
export declare function initSync(source: WebAssembly.Module | BufferSource): WebAssembly.Instance;

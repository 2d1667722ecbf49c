/**
 * encrypt-wasm: the encrypt tool's transform and result line, and the way
 * back, from the tool's own C++ compiled to WebAssembly.
 *
 * An input is a Uint8Array (any view: its byteOffset and byteLength are
 * honoured) or a string, taken as its UTF-8 bytes.
 */

/** A text: its bytes, or a string that stands for its UTF-8 bytes. */
export type Input = Uint8Array | string;

/** "Encrypted data in hexadecimal format: ", which opens every result line. */
export declare const CAPTION: 'Encrypted data in hexadecimal format: ';

/**
 * Where init() takes the WebAssembly module from: compiled, its bytes, its
 * URL (fetched), or a Response (or a promise of one, such as fetch()'s).
 */
export type InitSource = WebAssembly.Module | BufferSource | URL | string | Response | PromiseLike<Response>;

/**
 * Makes the package ready by compiling its WebAssembly, inlined in this file,
 * asynchronously, and resolves to the module's instance (whose memory has a
 * fixed size). Pass a compiled WebAssembly.Module, the bytes of
 * `encrypt-wasm/encrypt.wasm`, its URL or a Response where the inlined
 * bytes are not wanted. Calling it again, or after initSync(), does nothing
 * more.
 */
export declare function init(source?: InitSource): Promise<WebAssembly.Instance>;

/** As init(), at once. */
export declare function initSync(source?: WebAssembly.Module | BufferSource): WebAssembly.Instance;

/** The hex digits `encrypt TEXT` prints for the input: every word with printf's "%lx". */
export declare function hex(input: Input): string;

/** CAPTION and hex(input): the line `encrypt TEXT` prints, without its line feed. */
export declare function resultLine(input: Input): string;

/** The input's transformed words, one for every two bytes begun, the first byte low. */
export declare function words(input: Input): Uint32Array;

/** Transforms every word of `words` in place and returns it. */
export declare function encryption<T extends Uint32Array>(words: T): T;

/**
 * The text whose result line this is, with or without the caption and one
 * line end (LF or CR LF). Throws a RangeError saying why where no one text
 * gives the line: "not a result line", "K texts give this line" or "more
 * than 999 texts give this line".
 */
export declare function decrypt(line: string | Uint8Array): Uint8Array;

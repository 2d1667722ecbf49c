/**
 * encrypt-wasm: the encrypt tool's transform and result line, decrypting,
 * and the streams of texts and lines that encrypt-lines runs on, from the
 * tool's own C++ compiled to WebAssembly.
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
 * than 999 texts give this line"; an Error with `code` 'ENCRYPT_NO_MEMORY'
 * where the module's fixed memory runs short.
 */
export declare function decrypt(line: string | Uint8Array): Uint8Array;

/** How texts end in a stream of texts. */
export interface EncryptLinesOptions {
  /** What ends each text: '\n' (the default) or '\0' (encrypt-lines -z). */
  separator?: '\n' | '\0';
  /** A carriage return just before a line feed ends the text too, as in Windows text files. */
  crlf?: boolean;
}

/** How a stream of result lines is read. */
export interface DecryptLinesOptions {
  /** What follows each text: '\n' (the default) or '\0' (encrypt-lines -d -z). */
  separator?: '\n' | '\0';
  /**
   * 'strict' (the default): a line without one text throws a RangeError,
   * "line N: reason". 'skip': it is left out and listed in `failures`.
   */
  errors?: 'strict' | 'skip';
}

/** A line left out with errors: 'skip': its number, from 1, and why, in the library's words. */
export interface LineFailure {
  line: number;
  reason: string;
}

/**
 * Every text's result line, each ended by a line feed: what encrypt-lines
 * writes for `texts` (a string as its UTF-8 bytes). A view of the lines,
 * whose buffer may hold a few bytes more.
 */
export declare function encryptLines(texts: Input, options?: EncryptLinesOptions): Uint8Array;

/**
 * Every result line's text, each followed by the separator: what
 * encrypt-lines -d writes for `lines`. With errors: 'skip', the lines left
 * out go into `failures`, if given. A line that fails after part of its
 * text went out (past the 16 MiB held back) ends the output there: it
 * throws with 'strict', and with 'skip' the texts up to it come back and it
 * is listed. Memory running short throws an Error with `code`
 * 'ENCRYPT_NO_MEMORY'.
 */
export declare function decryptLines(
  lines: Input,
  options?: DecryptLinesOptions & { failures?: LineFailure[] },
): Uint8Array;

/** encryptLines() a chunk at a time: chunks cut anywhere in, the lines ready so far out. */
export declare class LineEncoder {
  constructor(options?: EncryptLinesOptions);
  /** Takes the next bytes of the texts and returns the lines ready so far. */
  update(chunk: Input): Uint8Array;
  /** Ends the texts (a last one needs no separator) and returns the rest; then ready for new texts. */
  finish(): Uint8Array;
}

/** decryptLines() a chunk at a time: chunks cut anywhere in, the texts decided so far out. */
export declare class LineDecoder {
  constructor(options?: DecryptLinesOptions);
  /** The lines left out with errors: 'skip', in order. */
  readonly failures: LineFailure[];
  /**
   * With errors: 'skip', whether a line that failed after part of its text
   * went out stopped the stream: nothing more comes out until finish().
   */
  readonly stopped: boolean;
  /** Takes the next bytes of the lines and returns the texts decided so far. */
  update(chunk: Input): Uint8Array;
  /** Ends the lines (a last one needs no line feed) and returns the rest; then ready for new lines. */
  finish(): Uint8Array;
}

/** Texts to their result lines as a TransformStream: `file.stream().pipeThrough(new EncryptLinesStream())`. */
export declare class EncryptLinesStream extends TransformStream<Input, Uint8Array> {
  constructor(options?: EncryptLinesOptions);
}

/**
 * Result lines to their texts as a TransformStream. A line without one text
 * errors the stream (RangeError, "line N: reason"), or with errors: 'skip'
 * is left out and listed in `failures`; a line that fails after part of
 * its text went out errors it in either mode.
 */
export declare class DecryptLinesStream extends TransformStream<Input, Uint8Array> {
  constructor(options?: DecryptLinesOptions);
  /** The lines left out with errors: 'skip', in order. */
  readonly failures: LineFailure[];
}

// The text of a line, for the page and its worker alike.
import { decrypt } from './lib/encrypt-wasm.mjs';

const strict = new TextDecoder('utf-8', { fatal: true });

// { error } where the line has no one text ('' for an empty line), or
// { text, valid }, valid saying whether the text is UTF-8.
export function textOf(line) {
  if (line === '') {
    return { error: '' };
  }
  let text;
  try {
    text = decrypt(line);
  } catch (error) {
    return { error: error.message };
  }
  try {
    strict.decode(text);
    return { text, valid: true };
  } catch {
    return { text, valid: false };
  }
}

#!/usr/bin/env python3
"""Makes vectors.tsv, the known answers every binding's tests read, by plain
arithmetic: the transform and the digits as stated, and every way of
splitting a line's digits into words tried one by one. No code of the
library's is used, so that the file stands apart from what it checks.

    python3 tests/vectors/make_vectors.py > tests/vectors/vectors.tsv

Each line of vectors.tsv is one case, its fields separated by tabs, bytes
written in hex (an empty field for no bytes):
    encrypt  TEXT  LINE                  the text's result line, its line feed too
    decrypt  LINE  text  TEXT            the line (without its line end) gives TEXT
    decrypt  LINE  fail  CODE  MESSAGE   it gives no text: CODE is not_a_line or
                                         ambiguous, MESSAGE what the library says
A decrypted TEXT may hold a line feed or a zero byte: read back as a stream
of lines, such a line fails where that byte ends texts.
"""

import random
import sys

CAPTION = b"Encrypted data in hexadecimal format: "


def word(unit):
    p = (unit + 26) * (unit + 5) % 2**32
    return p ^ (p >> 16)


def units(text):
    padded = text + b"\0" * (len(text) % 2)
    return [padded[i] | padded[i + 1] << 8 for i in range(0, len(padded), 2)]


def line_of(text):
    return CAPTION + b"".join(b"%x" % word(u) for u in units(text)) + b"\n"


UNIT_OF_DIGITS = {b"%x" % word(u): u for u in range(65536)}


def splits(digits, most=1000):
    """The texts of the first `most` splits of the digits into words."""
    found = []

    def walk(at, so_far):
        if len(found) >= most:
            return
        if at == len(digits):
            text = b"".join(bytes([u & 0xFF, u >> 8]) for u in so_far)
            if so_far and so_far[-1] >> 8 == 0:
                text = text[:-1]  # a last unit with a zero high byte ends an odd text
            found.append(text)
            return
        for length in range(2, 9):
            unit = UNIT_OF_DIGITS.get(digits[at : at + length].lower())
            if unit is not None and at + length <= len(digits):
                walk(at + length, so_far + [unit])

    walk(0, [])
    return found


def decrypt(line):
    """(text, None) or (None, (code, message)), as the library reads a line."""
    if line.startswith(CAPTION):
        digits = line[len(CAPTION) :]
    elif line in (b"", CAPTION[:-1]):
        return b"", None
    else:
        digits = line
    if digits == b"":
        return b"", None
    if any(chr(c) not in "0123456789abcdefABCDEF" for c in digits):
        return None, ("not_a_line", "not a result line")
    texts = splits(digits)
    if not texts:
        return None, ("not_a_line", "not a result line")
    if len(texts) == 1:
        return texts[0], None
    zero_free = [t for t in texts if 0 not in t]
    if len(zero_free) == 1:
        return zero_free[0], None
    count = len(texts)
    return None, ("ambiguous", "%d texts give this line" % count if count < 1000 else "more than 999 texts give this line")


def main():
    generator = random.Random(20261210)
    # The worked example; an odd length taking a zero high byte; bytes as
    # unsigned values; the units around the first whose product wraps;
    # zero bytes; words of fewer than eight digits; bytes that end texts.
    texts = [b"", b"abc", b"c", b"ab", b"\0\0", b"a\0b", b"\x80", b"\xff", b"\xff\xff", b"\xf0\xff",
             b"\xf1\xff", b"\x80\x81\xfe", b"Hello, world!", b"\xc3\xa9", b"line\nfeed",
             b"zero\0byte", b"\r", b"\r\r", b"ends in CR\r", b"\0", b"\n"]
    texts += [bytes(generator.getrandbits(8) for _ in range(n)) for n in list(range(1, 40)) + [63, 64, 65, 127, 128, 129, 255]]
    texts += [bytes(generator.choice(b"abcdefghij ,.") for _ in range(n)) for n in range(1, 30)]
    out = []
    for text in texts:
        out.append(("encrypt", text.hex(), line_of(text).hex()))

    # Lines to read back: every text's line with and without its caption,
    # in upper case, and lines that are no result line or are ambiguous.
    lines = []
    for text in texts:
        line = line_of(text)[:-1]
        lines += [line, line[len(CAPTION) :], line[len(CAPTION) :].upper()]
    # Splits that disagree: the one text without a zero byte wins, also
    # where only an odd last unit makes it so; and lines no text gives.
    lines += [b"82a5ea91", b"c4a18a2", b"121a394b27334", b"", CAPTION[:-1], CAPTION, b"xyz",
              b"Encrypted", b"E", b"32c", b"32c8 ", b" 32c8", b"25da76d832c", b"25da76d9", b"025da76d8",
              b"25da76d8 32c8", b"0x25da76d8", b"25da76d8\r32c8", b"25da76d832c8\r", b"25da76d832c8g", CAPTION[:10],
              CAPTION[:30], b"encrypted data in hexadecimal format: 32c8", b"0", b"00", b"82", b"8282",
              CAPTION[:-1] + b"32c8"]
    ambiguous = 0
    while ambiguous < 12:
        text = bytes(generator.getrandbits(8) for _ in range(generator.randrange(1, 9)))
        line = line_of(text)[len(CAPTION) : -1]
        if decrypt(line)[1] is not None:
            lines.append(line)
            ambiguous += 1
    seen = set()
    for line in lines:
        if line in seen:
            continue
        seen.add(line)
        text, failure = decrypt(line)
        if failure is None:
            out.append(("decrypt", line.hex(), "text", text.hex()))
        else:
            out.append(("decrypt", line.hex(), "fail") + failure)
    sys.stdout.write("".join("\t".join(fields) + "\n" for fields in out))


if __name__ == "__main__":
    main()

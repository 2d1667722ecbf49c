"""encrypt_lines(), decrypt_lines(), LineEncoder and LineDecoder against the known answers."""

import pytest
import vectors

import encrypt

SEPARATORS = [b"\n", b"\0"]
CHUNKS = [1, 7, 64, 1 << 20]


def known_texts(separator):
    """The known texts that the separator does not cut, joined, and their lines."""
    pairs = [(text, line) for text, line in vectors.text_answers() if separator not in text]
    return separator.join(text for text, _ in pairs), b"".join(line for _, line in pairs)


def known_lines(separator):
    """The known lines joined by line feeds, the texts they give with the
    separator after each, and the failures: (line number, message)."""
    lines = [answer for answer in vectors.line_answers() if not answer[0].endswith(b"\r")]
    texts, failures = b"", []
    for number, (_, text, message) in enumerate(lines, 1):
        if text is None:
            failures.append((number, message))
        elif separator in text:
            holds = "a line feed: separate texts by zero bytes" if separator == b"\n" else "a zero byte: separate texts by line feeds"
            failures.append((number, "the text holds " + holds))
        else:
            texts += text + separator
    return b"".join(line + b"\n" for line, _, _ in lines), texts, failures


def in_chunks(stream, data, size):
    return b"".join(stream.update(data[at : at + size]) for at in range(0, len(data), size)) + stream.finish()


@pytest.mark.parametrize("separator", SEPARATORS)
def test_encrypt_lines_whole_and_in_chunks(separator):
    texts, lines = known_texts(separator)
    assert encrypt.encrypt_lines(texts, separator=separator) == lines
    assert encrypt.encrypt_lines(memoryview(texts + separator), separator=separator) == lines
    encoder = encrypt.LineEncoder(separator=separator)
    for size in CHUNKS:
        assert in_chunks(encoder, texts, size) == lines


def test_crlf_ends_texts_only_when_asked():
    assert encrypt.encrypt_lines(b"abc\r\nc", crlf=True) == encrypt.encrypt_lines(b"abc\nc")
    assert encrypt.encrypt_lines(b"abc\r\n") == (encrypt.result_line(b"abc\r") + "\n").encode()


@pytest.mark.parametrize("separator", SEPARATORS)
def test_decrypt_lines_skips_or_raises_with_the_line_number(separator):
    lines, texts, failures = known_lines(separator)
    got = []
    assert encrypt.decrypt_lines(lines, separator=separator, errors="skip", failures=got) == texts
    assert got == failures
    first = "line %d: %s" % failures[0]
    with pytest.raises(ValueError, match="^%s$" % first):
        encrypt.decrypt_lines(lines, separator=separator)
    for size in CHUNKS:
        decoder = encrypt.LineDecoder(separator=separator, errors="skip")
        assert in_chunks(decoder, lines, size) == texts
        assert decoder.failures == failures
        strict = encrypt.LineDecoder(separator=separator)
        with pytest.raises(ValueError, match="^%s$" % first):
            in_chunks(strict, lines, size)
        # The call that raised ended its stream: the next starts a new one.
        assert strict.update(b"32c8\n") == b"c" + separator


def test_a_line_that_fails_after_its_text_went_out_stops_the_stream():
    # A text of zero bytes past the 16 MiB held back, whose line then fails;
    # nothing after it may come out, nor its later failed line be listed.
    lines = b"32c8\n" + b"82" * (9 << 20) + b"zz\n32c8\nzz\n"
    stop = (2, "not a result line; the output stops after part of its text")
    failures = []
    whole = encrypt.decrypt_lines(lines, errors="skip", failures=failures)
    assert failures == [stop]
    assert whole.startswith(b"c\n") and len(whole) > 2 + (16 << 20) and not whole[2:].strip(b"\0")
    # The same bytes whatever the chunks, the call that met the line included.
    for size in (64 << 10, 1 << 20, len(lines)):
        decoder = encrypt.LineDecoder(errors="skip")
        got = b"".join(decoder.update(lines[at : at + size]) for at in range(0, len(lines), size))
        assert (got, decoder.failures, decoder.stopped) == (whole, [stop], True)
        assert decoder.update(b"32c8\n") + decoder.finish() == b"" and not decoder.stopped
        assert decoder.update(b"32c8\n") == b"c\n"
    with pytest.raises(ValueError, match="^line 2: %s$" % stop[1]):
        encrypt.decrypt_lines(lines)


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: encrypt.encrypt_lines("abc"), TypeError, "takes bytes, not str"),
        (lambda: encrypt.decrypt_lines(42), TypeError, "bytes-like object .*, not int"),
        (lambda: encrypt.encrypt_lines(b"", separator=b"\r"), ValueError, "separator must be"),
        (lambda: encrypt.decrypt_lines(b"", errors="ignore"), ValueError, "errors must be"),
        (lambda: encrypt.decrypt_lines(b"", failures=()), TypeError, "failures must be a list"),
        (lambda: encrypt.LineDecoder().update("32c8"), TypeError, "LineDecoder.update.. takes bytes"),
        (lambda: encrypt.LineEncoder.__new__(encrypt.LineEncoder).finish(), RuntimeError, "was not called"),
    ],
)
def test_bad_arguments(call, error, message):
    with pytest.raises(error, match=message):
        call()

from array import array
from typing import Literal, TypeVar

from _typeshed import ReadableBuffer, WriteableBuffer

_Words = TypeVar("_Words", bound=WriteableBuffer)

CAPTION: str
__version__: str

def hex(text: ReadableBuffer, /) -> str:
    """The hex digits that `encrypt TEXT` prints for the text."""

def result_line(text: ReadableBuffer, /) -> str:
    """CAPTION and hex(text): the line `encrypt TEXT` prints, without its line feed."""

def words(text: ReadableBuffer, /) -> array[int]:
    """The text's transformed words, as array.array('I')."""

def encryption(buffer: _Words, /) -> _Words:
    """Transforms a writable, contiguous buffer of 32-bit unsigned words in place and returns it."""

def decrypt(line: str | ReadableBuffer, /) -> bytes:
    """The text whose result line this is; ValueError where no one text gives it."""

_Separator = Literal[b"\n", b"\0"]
_Errors = Literal["strict", "skip"]

def encrypt_lines(data: ReadableBuffer, /, *, separator: _Separator = b"\n", crlf: bool = False) -> bytes:
    """The result line of every text in data: what encrypt-lines writes."""

def decrypt_lines(
    data: ReadableBuffer,
    /,
    *,
    separator: _Separator = b"\n",
    errors: _Errors = "strict",
    failures: list[tuple[int, str]] | None = None,
) -> bytes:
    """The text of every result line in data, each followed by the separator: what encrypt-lines -d writes."""

class LineEncoder:
    """Texts in, their result lines out, a chunk at a time."""

    def __init__(self, *, separator: _Separator = b"\n", crlf: bool = False) -> None: ...
    def update(self, chunk: ReadableBuffer, /) -> bytes:
        """The lines ready after the next bytes of the stream of texts."""
    def finish(self) -> bytes:
        """The rest of the lines; the encoder is then ready for a new stream."""

class LineDecoder:
    """Result lines in, their texts out, a chunk at a time."""

    def __init__(self, *, separator: _Separator = b"\n", errors: _Errors = "strict") -> None: ...
    @property
    def failures(self) -> list[tuple[int, str]]:
        """The failed lines so far with errors='skip', as (line number, reason)."""
    @property
    def stopped(self) -> bool:
        """Whether a line that failed after part of its text went out stopped
        the stream (errors='skip'): nothing more comes out until finish()."""
    def update(self, chunk: ReadableBuffer, /) -> bytes:
        """The texts decided after the next bytes of the stream of lines."""
    def finish(self) -> bytes:
        """The rest of the texts; the decoder is then ready for a new stream."""

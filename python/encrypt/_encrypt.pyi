from array import array
from typing import TypeVar

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

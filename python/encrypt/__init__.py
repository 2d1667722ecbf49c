"""encrypt: a fixed, keyless word transform over text, the line the encrypt
command prints for it, and the way back. NOT encryption in the security
sense: there is no key, and anyone can recover a text from its line.

    >>> import encrypt
    >>> encrypt.hex(b"abc")
    '25da76d832c8'
    >>> encrypt.result_line(b"abc")
    'Encrypted data in hexadecimal format: 25da76d832c8'
    >>> encrypt.decrypt("25da76d832c8")
    b'abc'

Texts are bytes-like objects; a str is refused with a TypeError, since the
tool takes bytes: encode it first (text.encode("utf-8") gives the bytes that
`encrypt` receives from a UTF-8 terminal on Linux).
"""

from ._encrypt import CAPTION, __version__, decrypt, encryption, hex, result_line, words

__all__ = ["CAPTION", "__version__", "decrypt", "encryption", "hex", "result_line", "words"]

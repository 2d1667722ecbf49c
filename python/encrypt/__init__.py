"""encrypt: a fixed, keyless word transform over text, the line the encrypt
command prints for it, and decrypting it. NOT encryption in the security
sense: there is no key, and anyone can recover a text from its line.

    >>> import encrypt
    >>> encrypt.hex(b"abc")
    '25da76d832c8'
    >>> encrypt.result_line(b"abc")
    'Encrypted data in hexadecimal format: 25da76d832c8'
    >>> encrypt.decrypt("25da76d832c8")
    b'abc'
    >>> encrypt.encrypt_lines(b"abc\nc\n")
    b'Encrypted data in hexadecimal format: 25da76d832c8\nEncrypted data in hexadecimal format: 32c8\n'
    >>> encrypt.decrypt_lines(b"25da76d832c8\n32c8\n")
    b'abc\nc\n'

Texts are bytes-like objects; a str is refused with a TypeError, since the
tool takes bytes: encode it first (text.encode("utf-8") gives the bytes that
`encrypt` receives from a UTF-8 terminal on Linux).
"""

from ._encrypt import (
    CAPTION,
    LineDecoder,
    LineEncoder,
    __version__,
    decrypt,
    decrypt_lines,
    encrypt_lines,
    encryption,
    hex,
    result_line,
    words,
)

__all__ = [
    "CAPTION",
    "LineDecoder",
    "LineEncoder",
    "__version__",
    "decrypt",
    "decrypt_lines",
    "encrypt_lines",
    "encryption",
    "hex",
    "result_line",
    "words",
]

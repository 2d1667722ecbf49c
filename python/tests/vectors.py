"""The known answers of tests/vectors/vectors.tsv, which every binding's tests read."""

import os

FILE = os.path.join(os.path.dirname(__file__), "..", "..", "tests", "vectors", "vectors.tsv")


def _rows():
    with open(FILE, encoding="ascii") as vectors:
        for row in vectors:
            yield row.rstrip("\n").split("\t")


def text_answers():
    """(text, line with its line feed) for every known text."""
    return [(bytes.fromhex(f[1]), bytes.fromhex(f[2])) for f in _rows() if f[0] == "encrypt"]


def line_answers():
    """(line, text or None, message or None) for every known line."""
    return [
        (bytes.fromhex(f[1]), bytes.fromhex(f[3]) if f[2] == "text" else None, f[4] if f[2] == "fail" else None)
        for f in _rows()
        if f[0] == "decrypt"
    ]

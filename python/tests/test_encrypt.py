"""The Python module against a plain-Python statement of the transform."""

import array
import mmap
import os
import random
import re
import subprocess
import sys
import threading

import pytest
import vectors

import encrypt


def reference_words(text):
    padded = bytes(text) + b"\0" * (len(text) % 2)
    words = []
    for i in range(0, len(padded), 2):
        v = padded[i] | padded[i + 1] << 8
        p = (v + 26) * (v + 5) % 2**32
        words.append(p ^ p >> 16)
    return words


def reference_hex(text):
    return "".join("%x" % word for word in reference_words(text))


CAPTION = "Encrypted data in hexadecimal format: "


def texts():
    generator = random.Random(20261209)
    for length in list(range(70)) + [255, 256, 4095, 4096, 4097, 70001]:
        yield bytes(generator.getrandbits(8) for _ in range(length))


def test_known_answers():
    for text, line in vectors.text_answers():
        for kind in (bytes, bytearray, memoryview):
            assert encrypt.result_line(kind(text)) + "\n" == line.decode()
            assert encrypt.words(kind(text)).tolist() == reference_words(text)
    for line, text, message in vectors.line_answers():
        if text is not None:
            assert encrypt.decrypt(line) == text
        else:
            with pytest.raises(ValueError, match="^%s$" % message):
                encrypt.decrypt(line)


def test_random_texts_match_the_reference():
    for text in texts():
        assert encrypt.hex(text) == reference_hex(text), len(text)
        assert encrypt.result_line(text) == CAPTION + reference_hex(text)
        words = encrypt.words(text)
        assert words.typecode == "I" and words.tolist() == reference_words(text)


def test_constants():
    assert encrypt.CAPTION == CAPTION
    root = os.path.join(os.path.dirname(__file__), "..", "..", "CMakeLists.txt")
    with open(root, encoding="utf-8") as cmake:
        assert re.search(r"^\s*VERSION (\S+)$", cmake.read(), re.M).group(1) == encrypt.__version__


def test_the_type_stub_names_what_the_module_has():
    import ast

    stub = os.path.join(os.path.dirname(encrypt.__file__), "_encrypt.pyi")
    with open(stub, encoding="utf-8") as source:
        tree = ast.parse(source.read())
    named = {node.name for node in tree.body if isinstance(node, (ast.FunctionDef, ast.ClassDef))}
    named |= {node.target.id for node in tree.body if isinstance(node, ast.AnnAssign)}
    assert named == set(encrypt.__all__)


def test_encryption_in_place_on_words_no_unit_can_be():
    words = array.array("I", [0x6261, 0xFFFFFFE6, 0xFFFFFFFB, 0xFFFFFFFF, 0xDEADBEEF])
    assert encrypt.encryption(words) is words
    assert words.tolist() == [0x25DA76D8, 0, 0, 0x64, 0x1877DAE3]
    empty = array.array("I")
    assert encrypt.encryption(empty) is empty and len(empty) == 0
    view = memoryview(array.array("I", [0x6261, 99]))[1:]  # contiguous, offset by a word
    encrypt.encryption(view)
    assert view.tolist() == [0x32C8]


def test_encryption_on_numpy_arrays():
    numpy = pytest.importorskip("numpy")
    units = numpy.arange(0, 65536, dtype=numpy.uint32)
    expected = reference_words(units.astype("<u2").tobytes())
    assert encrypt.encryption(units) is units
    assert units.tolist() == expected
    grid = numpy.arange(0, 65536, dtype=numpy.uint32).reshape(256, 256)
    for layout in (grid, numpy.asfortranarray(grid)):
        encrypt.encryption(layout)
        assert sorted(layout.ravel().tolist()) == sorted(expected)
    with pytest.raises(ValueError, match="contiguous"):
        encrypt.encryption(numpy.zeros(8, dtype=numpy.uint32)[::2])
    with pytest.raises(TypeError, match="32-bit unsigned"):
        encrypt.encryption(numpy.zeros(4, dtype=numpy.uint64))
    with pytest.raises(TypeError, match="32-bit unsigned"):
        encrypt.encryption(numpy.zeros(4, dtype=numpy.int32))
    frozen = numpy.zeros(4, dtype=numpy.uint32)
    frozen.flags.writeable = False
    with pytest.raises(TypeError, match="writable"):
        encrypt.encryption(frozen)


@pytest.mark.parametrize(
    "function, argument, error, message",
    [
        (encrypt.hex, "abc", TypeError, "encode"),
        (encrypt.result_line, "abc", TypeError, "encode"),
        (encrypt.words, "abc", TypeError, "encode"),
        (encrypt.hex, 3, TypeError, "bytes-like"),
        (encrypt.words, None, TypeError, "bytes-like"),
        (encrypt.hex, memoryview(b"abcd")[::2], ValueError, "contiguous"),
        (encrypt.encryption, b"abcd", TypeError, "writable"),
        (encrypt.encryption, bytearray(8), TypeError, "32-bit unsigned"),
        (encrypt.encryption, array.array("H", [1, 2]), TypeError, "32-bit unsigned"),
        (encrypt.encryption, array.array("d", [1.0]), TypeError, "32-bit unsigned"),
        (encrypt.encryption, memoryview(array.array("I", [1, 2, 3]))[::2], ValueError, "contiguous"),
        (encrypt.encryption, [1, 2], TypeError, "buffer"),
    ],
)
def test_bad_arguments(function, argument, error, message):
    with pytest.raises(error, match=message):
        function(argument)


@pytest.mark.skipif(sys.maxsize < 2**32, reason="a 4 GiB view needs a 64-bit address space")
def test_texts_past_4_gib_overflow():
    # An untouched anonymous mapping: its pages are never read.
    with mmap.mmap(-1, 2**32) as huge:
        view = memoryview(huge)
        for function in (encrypt.hex, encrypt.result_line, encrypt.words):
            with pytest.raises(OverflowError):
                function(view)
        view.release()


def test_large_texts_on_several_threads_at_once():
    # Large enough that each call runs without the GIL.
    generator = random.Random(7)
    inputs = [bytes(generator.getrandbits(8) for _ in range(200001 + k)) for k in range(4)]
    expected = [reference_hex(text) for text in inputs]
    results = [None] * len(inputs)

    def work(k):
        for _ in range(5):
            results[k] = (encrypt.hex(inputs[k]), encrypt.words(inputs[k]).tolist())

    threads = [threading.Thread(target=work, args=(k,)) for k in range(len(inputs))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for k, (digits, words) in enumerate(results):
        assert digits == expected[k]
        assert words == reference_words(inputs[k])


def test_decrypt_gives_texts_back():
    # Random texts, every byte value among them: a text without a zero byte
    # comes back whole, from bytes or str, with or without caption and line end.
    for text in texts():
        line = CAPTION + reference_hex(text)
        if 0 not in text:
            for given in (line, line.encode(), bytearray(line.encode()) + b"\r\n", reference_hex(text)):
                assert encrypt.decrypt(given) == text, len(text)
    assert encrypt.decrypt(memoryview(b"x25da76d832c8")[1:]) == b"abc"


@pytest.mark.parametrize(
    "line, error, message",
    [
        ("25da76d832c8\u00e9", ValueError, "^not a result line$"),
        ("121a394b27334" * 10, ValueError, "^more than 999 texts give this line$"),
        (42, TypeError, "str or a contiguous bytes-like"),
        (memoryview(b"25da76d8")[::2], TypeError, "contiguous"),
    ],
)
def test_decrypt_refuses(line, error, message):
    with pytest.raises(error, match=message):
        encrypt.decrypt(line)


def test_importing_the_cluster_front_end_needs_no_dask():
    code = "import sys, encrypt.cluster; print([m for m in ('dask', 'distributed') if m in sys.modules])"
    assert subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout == "[]\n"

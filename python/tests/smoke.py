"""One build of the module under another Python: it imports and computes."""

import array
import sys

import encrypt

assert encrypt.hex(b"abc") == "25da76d832c8"
assert encrypt.result_line(bytearray(b"c")) == encrypt.CAPTION + "32c8"
assert encrypt.words(memoryview(b"\xff\xff")).tolist() == [0x1D0079]
words = array.array("I", [0x6261])
assert encrypt.encryption(words) is words and words[0] == 0x25DA76D8
try:
    encrypt.hex("abc")
except TypeError:
    pass
else:
    raise AssertionError("a str was taken")
print("encrypt %s (%s) under Python %s: ok" % (encrypt.__version__, encrypt.__file__, sys.version.split()[0]))

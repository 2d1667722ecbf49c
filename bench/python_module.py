"""The Python module side by side with a plain-Python implementation of the
same transform, and with one encrypt process per text:

  - calls a second of encrypt.hex on 1,000,000 random texts of 1-64 bytes;
  - GB/s of text on one 64 MiB text, beside the least any str of that
    length costs to make here (bytes.decode of as many ASCII bytes);
  - texts a second through subprocess, one encrypt run each.

Best of three. Run it on the release build's module, or an installed one:

    PYTHONPATH=build/release/python/package /usr/bin/python3 bench/python_module.py
"""

import os
import platform
import random
import subprocess
import sys
import time

import encrypt


def plain_hex(text):
    """What a straightforward Python program computes for encrypt.hex."""
    padded = text + b"\0" * (len(text) % 2)
    digits = []
    for i in range(0, len(padded), 2):
        v = padded[i] | padded[i + 1] << 8
        p = (v + 26) * (v + 5) & 0xFFFFFFFF
        digits.append("%x" % (p ^ p >> 16))
    return "".join(digits)


def best_of_three(work):
    best = None
    for _ in range(3):
        start = time.perf_counter()
        work()
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


def cpu():
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown CPU"


def main():
    generator = random.Random(1)
    short = [os.urandom(generator.randint(1, 64)) for _ in range(1_000_000)]
    large = os.urandom(64 << 20)
    sample = large[: 1 << 20]
    assert encrypt.hex(sample) == plain_hex(sample)

    print("CPU: %s; Python %s; encrypt %s from %s" % (
        cpu(), platform.python_version(), encrypt.__version__, os.path.dirname(encrypt.__file__)))

    hex_ = encrypt.hex
    ours = best_of_three(lambda: [hex_(t) for t in short])
    plain_short = short[:100_000]
    theirs = best_of_three(lambda: [plain_hex(t) for t in plain_short])
    print("texts of 1-64 bytes: encrypt.hex %.0f calls/s, plain Python %.0f calls/s: %.0fx "
          "(goal: at least 2,000,000 calls/s)" % (
              len(short) / ours, len(plain_short) / theirs, (len(short) / ours) / (len(plain_short) / theirs)))

    ours = best_of_three(lambda: hex_(large))
    theirs = best_of_three(lambda: plain_hex(sample))
    ascii_bytes = b"a" * (4 * len(large))
    floor = best_of_three(lambda: ascii_bytes.decode("ascii"))
    print("one 64 MiB text: encrypt.hex %.2f GB/s (%.3f s), plain Python %.4f GB/s (on its first MiB): "
          "%.0fx (goal: at least 0.5 GB/s)" % (
              len(large) / ours / 1e9, ours, len(sample) / theirs / 1e9,
              (len(large) / ours) / (len(sample) / theirs)))
    print("  making any str of its 256 MiB result here takes %.3f s (bytes.decode): at most "
          "%.2f GB/s for any function that returns one" % (floor, len(large) / floor / 1e9))

    tool = os.environ.get("ENCRYPT_TOOL", "build/release/encrypt")
    if os.access(tool, os.X_OK):
        few = [t.replace(b"\0", b"x") for t in short[:300]]
        elapsed = best_of_three(lambda: [subprocess.run([tool, t], stdout=subprocess.PIPE, check=True) for t in few])
        print("one %s process per text (subprocess): %.0f texts/s" % (tool, len(few) / elapsed))


if __name__ == "__main__":
    sys.exit(main())

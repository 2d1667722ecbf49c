"""Python's whole-block and incremental stream calls against their yardsticks,
in one run, the commands taking turns:

  - encrypt_lines(data) on the 2,000,000 short texts of bench/lines.sh, beside
    `encrypt-lines < FILE > /dev/null` and beside merely making a bytes object
    of the result's size (fresh memory faults in page by page: the least any
    call returning one object costs). Goal: >= 0.8x the slower yardstick;
  - decrypt_lines(lines) on their lines, beside `encrypt-lines -d` and a bytes
    of the texts' size, to the same goal;
  - LineEncoder fed 1 MiB chunks, beside `encrypt-lines > /dev/null`. Goal:
    >= 0.5x.

Medians of RUNS (default 9). Run it on the release build's module:

    PYTHONPATH=build/release/python/package /usr/bin/python3 bench/python_lines.py build/release
"""

import os
import platform
import statistics
import subprocess
import sys
import tempfile
import time

import encrypt


def cpu():
    with open("/proc/cpuinfo", encoding="utf-8") as info:
        for line in info:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return platform.processor() or "unknown CPU"


def timed(work):
    start = time.perf_counter()
    work()
    return time.perf_counter() - start


def medians(works, runs):
    """The median time of each work, the works taking turns."""
    times = [[] for _ in works]
    for _ in range(runs):
        for i, work in enumerate(works):
            times[i].append(timed(work))
    return [statistics.median(t) for t in times]


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/release"
    runs = int(os.environ.get("RUNS", "9"))
    command = os.path.join(build, "encrypt-lines")
    with tempfile.TemporaryDirectory(dir="/dev/shm" if os.path.isdir("/dev/shm") else None) as work:
        texts_file = os.path.join(work, "texts")
        lines_file = os.path.join(work, "lines")
        subprocess.run([os.path.join(build, "bench", "encrypt_spawn_timer"), "make-texts", "2000000", texts_file], check=True)
        with open(texts_file, "rb") as f:
            texts = f.read()
        lines = encrypt.encrypt_lines(texts)
        with open(lines_file, "wb") as f:
            f.write(lines)
        assert encrypt.decrypt_lines(lines) == texts

        def run(args, path):
            with open(path, "rb") as given, open(os.devnull, "wb") as null:
                subprocess.run(args, stdin=given, stdout=null, check=True)

        def chunks():
            encoder = encrypt.LineEncoder()
            for at in range(0, len(texts), 1 << 20):
                encoder.update(texts[at : at + (1 << 20)])
            encoder.finish()

        ours_enc, command_enc, floor_enc, ours_dec, command_dec, floor_dec, ours_chunks = medians(
            [
                lambda: encrypt.encrypt_lines(texts),
                lambda: run([command], texts_file),
                lambda: b"x" * len(lines),
                lambda: encrypt.decrypt_lines(lines),
                lambda: run([command, "-d"], lines_file),
                lambda: b"x" * len(texts),
                chunks,
            ],
            runs,
        )
    print("CPU: %s, %d cores; Python %s; medians of %d" % (cpu(), os.cpu_count(), platform.python_version(), runs))
    print("2,000,000 texts of 1-64 bytes, %d bytes; their lines, %d bytes:" % (len(texts), len(lines)))

    def row(label, ours, yardsticks, goal):
        slower = max(t for _, t in yardsticks)
        said = ", ".join("%s %.3f s" % (name, t) for name, t in yardsticks)
        print("  %-34s %.3f s; %s: %.2fx the slower (goal %s)" % (label, ours, said, slower / ours, goal))

    row("encrypt_lines()", ours_enc, [("encrypt-lines", command_enc), ("bytes of its size", floor_enc)], ">= 0.8x")
    row("decrypt_lines()", ours_dec, [("encrypt-lines -d", command_dec), ("bytes of its size", floor_dec)], ">= 0.8x")
    row("LineEncoder, 1 MiB chunks", ours_chunks, [("encrypt-lines", command_enc)], ">= 0.5x")


if __name__ == "__main__":
    main()

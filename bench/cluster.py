"""encrypt.cluster on one worker and on two (one thread each, local worker
processes), side by side with encrypt-lines itself, on the same files of
short texts, every output on local disk:

  - encrypt-lines FILES > FILE;
  - encrypt_files(FILES, DIR) with the blocks run in turn in this process,
    no Dask: the work without the engine;
  - encrypt_files(FILES, DIR) on a local cluster of one worker, and of two.

Each round runs the four in turn; a figure is the median of the rounds
(default 3), and the ratios are given for the best runs too. Outputs are
removed, and the system's dirty pages written back (sync), between runs,
outside the time taken. The clusters are started before the rounds, so
that their start-up is not in the figures.

    PYTHONPATH=build/release/python/package /usr/bin/python3 bench/cluster.py [--size 1GiB] [--rounds 3] [--dir DIR]

DIR (default: a new directory under /var/tmp) must be on local disk, with
space for the input and some five times as much output.
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import distributed
from dask.utils import format_bytes, parse_bytes

import encrypt
from encrypt.cluster import encrypt_files

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FILES = 8


def short_texts(size):
    """`size` bytes of texts of 1 to 64 printable bytes, each ended by a line feed."""
    generator = random.Random(28)
    printable = bytes(33 + i % 94 for i in range(256))
    pool = generator.randbytes(size + 64).translate(printable)
    pieces, at = [], 0
    while at < size:
        length = generator.randint(1, 64)
        pieces.append(pool[at : at + length] + b"\n")
        at += length + 1
    return b"".join(pieces)[:size].rpartition(b"\n")[0] + b"\n"


class InProcess:
    """Stands in for a Dask client: runs each task as it is submitted."""

    def submit(self, function, *args, key=None):
        return function(*args)

    def gather(self, results):
        return results


def cpu():
    info = subprocess.run(["lscpu"], capture_output=True, text=True).stdout
    model = next((line.split(":", 1)[1].strip() for line in info.splitlines() if line.startswith("Model name")), "?")
    return f"{model}, {os.cpu_count()} cores"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--size", default="1GiB", help="input in all, in %d files" % FILES)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--dir", help="where the input and outputs go (local disk)")
    parser.add_argument("--encrypt-lines", default=os.path.join(ROOT, "build/release/encrypt-lines"))
    args = parser.parse_args()
    size = parse_bytes(args.size)
    work = tempfile.mkdtemp(prefix="encrypt-cluster-bench.", dir=args.dir or "/var/tmp")
    try:
        # The same 64 MiB (or less) of texts in every file: the transform
        # costs the same whatever the texts repeat.
        piece = short_texts(min(size // FILES, 64 << 20))
        files = []
        for i in range(FILES):
            path = os.path.join(work, f"texts-{i}.txt")
            with open(path, "wb") as out:
                for _ in range(max(1, size // FILES // len(piece))):
                    out.write(piece)
            files.append(path)
        total = sum(os.path.getsize(path) for path in files)
        reference = os.path.join(work, "reference")
        with open(reference, "wb") as out:
            subprocess.run([args.encrypt_lines, *files], stdout=out, check=True)
        output_size = os.path.getsize(reference)

        print(f"CPU: {cpu()}; encrypt {encrypt.__version__}, Dask {distributed.__version__}")
        print(f"input: {FILES} files, {format_bytes(total)} of texts of 1-64 bytes; output "
              f"{format_bytes(output_size)}, under {work}; load average at the start: {os.getloadavg()[0]:.2f}")

        clusters = {}
        for workers in (1, 2):
            cluster = distributed.LocalCluster(n_workers=workers, threads_per_worker=1, host="127.0.0.1",
                                               dashboard_address="127.0.0.1:0",
                                               worker_dashboard_address="127.0.0.1:0")
            clusters[workers] = (cluster, distributed.Client(cluster))

        def run_command():
            with open(os.path.join(work, "out"), "wb") as out:
                subprocess.run([args.encrypt_lines, *files], stdout=out, check=True)

        def run_blocks(client):
            encrypt_files(files, os.path.join(work, "out"), client=client)

        def clear():
            out = os.path.join(work, "out")
            if os.path.isdir(out):
                shutil.rmtree(out)
            elif os.path.exists(out):
                os.remove(out)
            os.sync()

        runs = {"encrypt-lines FILES > FILE": run_command,
                "the blocks in turn, no Dask": lambda: run_blocks(InProcess()),
                "encrypt_files, one worker": lambda: run_blocks(clusters[1][1]),
                "encrypt_files, two workers": lambda: run_blocks(clusters[2][1])}
        times = {label: [] for label in runs}
        for _ in range(args.rounds):
            for label, work_once in runs.items():
                clear()
                start = time.perf_counter()
                work_once()
                times[label].append(time.perf_counter() - start)
                if label != "encrypt-lines FILES > FILE":
                    got = os.path.join(work, "out")
                    if sum(os.path.getsize(os.path.join(got, name)) for name in os.listdir(got)) != output_size:
                        sys.exit(f"{label}: not the output of encrypt-lines")
        clear()
        for cluster, client in clusters.values():
            client.close()
            cluster.close()

        for label, values in times.items():
            seconds = statistics.median(values)
            spread = ", ".join(f"{value:.2f}" for value in values)
            print(f"  {label:28} {seconds:6.2f} s  {total / seconds / 1e6:7.1f} MB/s of input  (runs: {spread} s)")
        # Other work on the machine only ever adds time: the best runs say
        # what the machine does when it is free.
        for name, pick in (("medians", statistics.median), ("best runs", min)):
            command, _, one, two = (pick(values) for values in times.values())
            print(f"{name}: two workers / one {one / two:.2f}x (goal: at least 1.6x), "
                  f"one worker / encrypt-lines {command / one:.2f}x its rate (goal: at least 0.5x)")
        print(f"load average at the end: {os.getloadavg()[0]:.2f}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()

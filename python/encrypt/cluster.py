"""encrypt-lines' work on a Dask cluster: the inputs cut into blocks at
separators, each block through the library's line streams on a worker and
into a part file of its own. The parts, read in name order, are what
`encrypt-lines [-d] INPUTS...` writes.

    python -m encrypt.cluster --scheduler tcp://HOST:8786 -o out/ logs/*.txt
    cat out/part-* > all.txt

    >>> from encrypt.cluster import encrypt_files
    >>> failures = encrypt_files(["a.txt", "logs/*.txt"], "out")  # doctest: +SKIP

Dask (Debian's python3-distributed) is imported only when a job runs, so
that `import encrypt` never needs it. The client and every worker read the
inputs and write the parts under the same paths: a shared filesystem, or
the same files at the same place on each machine (docs/scale.md).
"""

import argparse
import contextlib
import ctypes
import errno
import glob
import os
import re
import sys
import time
import uuid
from typing import NamedTuple

from . import LineDecoder, LineEncoder

DEFAULT_BLOCKSIZE = 64 << 20

# What a task reads at a time, into one buffer it keeps: the stream's output
# for a read is at most some 24 times its size (one-byte texts), so that a
# task's memory stays bounded whatever the block size or the length of a
# line. Fresh buffers for every read cost page faults that, on the KVM
# machine the figures come from, took longer than the transform itself.
# 256 KiB did as well as 512 KiB and 1 MiB there, and better than 64 KiB.
_READ_SIZE = 256 << 10

_PROGRAM = "encrypt.cluster"
# Seconds within which an unreachable scheduler is reported.
_CONNECT_SECONDS = 10


class Failure(NamedTuple):
    """A line that decrypting left out: its file (as given), its number in
    that file counted from 1, and why; str() is the message encrypt-lines
    gives for it, "FILE:N: reason"."""

    file: str
    line: int
    reason: str

    def __str__(self):
        return f"{self.file}:{self.line}: {self.reason}"


class _Block(NamedTuple):
    input: int  # which of the inputs: a file may be given twice
    name: str  # the input as it is reported
    path: str  # absolute, for the workers
    start: int  # the nominal start; the block begins after the first separator from start - 1
    stop: int | None  # the nominal end likewise, None for the end of the file


def _boundary(file, position, split, buffer):
    """Where a block cut at `position` really begins: just after the first
    separator at or after position - 1 (at position itself where the byte
    before it is one), or at the end of the file."""
    if position == 0:
        return 0
    file.seek(position - 1)
    at = position - 1
    while got := file.readinto(buffer):
        found = buffer.find(split, 0, got)
        if found >= 0:
            return at + found + 1
        at += got
    return at


_MALLOC_TUNED = False


def _keep_freed_memory():
    """Lets glibc keep the buffers of up to 32 MiB that reads leave, for
    the worker's process. Each read makes two buffers of about the same
    size (the stream's output and the bytes made of it). glibc, left to
    itself, raises its trim threshold to twice the last freed mapping,
    which two such buffers still pass: it handed the top of the heap back
    at nearly every read, and the next read took fresh pages from the
    system. On the KVM guest the figures come from, 128 MiB of short texts
    took twice the time so (0.68 s against 0.34 s), and 10 times under a
    Dask nanny, whose MALLOC_TRIM_THRESHOLD_=65536 does it at every read
    (3.2 s). Freed blocks above 32 MiB still go back at once."""
    global _MALLOC_TUNED
    if _MALLOC_TUNED:
        return
    _MALLOC_TUNED = True
    try:
        mallopt = ctypes.CDLL(None).mallopt
    except (OSError, AttributeError):  # not glibc
        return
    m_trim_threshold, m_mmap_threshold = -1, -3
    mallopt(m_mmap_threshold, 32 << 20)
    mallopt(m_trim_threshold, 32 << 20)


def _temporary_name(part):
    """Where `part` is written before it is renamed, whole, to its name."""
    directory, name = os.path.split(part)
    return os.path.join(directory, f".{name}.{uuid.uuid4().hex}.tmp")


def _empty_part(part):
    temporary = _temporary_name(part)
    open(temporary, "wb").close()
    os.replace(temporary, part)


def _run_block(block, part, split, separator, decrypt):
    """One block of `block.path` through the stream and into the file
    `part`, written under a temporary name and renamed when whole, so that
    a task run again after its worker died never leaves a torn or doubled
    part. Returns the line feeds the block holds, decrypting its failed
    lines numbered within the block, and whether a failed line stopped it."""
    _keep_freed_memory()
    buffer = bytearray(_READ_SIZE)
    view = memoryview(buffer)
    stream = LineDecoder(separator=separator, errors="skip") if decrypt else LineEncoder(separator=separator)
    line_feeds = 0
    temporary = _temporary_name(part)
    try:
        with open(block.path, "rb", buffering=0) as file, open(temporary, "wb") as out:
            begin = _boundary(file, block.start, split, buffer)
            if block.stop is not None:
                end = _boundary(file, block.stop, split, buffer)
            else:
                end = os.fstat(file.fileno()).st_size
            file.seek(begin)
            left = end - begin
            while left > 0:
                got = file.readinto(view[: min(_READ_SIZE, left)])
                if not got:
                    raise OSError(errno.EIO, f"{block.name} ended before its block did: did it change?")
                left -= got
                if decrypt:
                    line_feeds += buffer.count(b"\n", 0, got)
                out.write(stream.update(view[:got]))
            # A line that failed after part of its text went out stops the
            # stream, as it stops encrypt-lines: anything more would run on
            # from that text. update() gave nothing more after it, and the
            # job empties the parts of the blocks after this one.
            stopped = decrypt and stream.stopped
            out.write(stream.finish())
        os.replace(temporary, part)
    except BaseException:
        with contextlib.suppress(OSError):
            os.remove(temporary)
        raise
    return line_feeds, list(stream.failures) if decrypt else [], stopped


def _inputs(inputs):
    """The files that `inputs` (paths or glob patterns, or one of them)
    names, in order, each as (name, absolute path)."""
    if isinstance(inputs, (str, bytes, os.PathLike)):
        inputs = [inputs]
    files = []
    for given in map(os.fsdecode, inputs):
        names = sorted(glob.glob(given)) if glob.has_magic(given) else [given]
        if not names:
            raise FileNotFoundError(errno.ENOENT, "no file matches", given)
        for name in names:
            if os.path.isdir(name):
                raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), name)
            with open(name, "rb"):  # readable, or the error says why not
                pass
            files.append((name, os.path.abspath(name)))
    if not files:
        raise ValueError("no input files")
    return files


_PART = re.compile(r"^\.?part-[0-9]+(\.[0-9a-f]{32}\.tmp)?$")


def _check_output(output_dir, force):
    """Refuses an output directory that holds anything, unless `force`."""
    if os.path.exists(output_dir) and not os.path.isdir(output_dir):
        raise NotADirectoryError(errno.ENOTDIR, os.strerror(errno.ENOTDIR), output_dir)
    if not force and os.path.isdir(output_dir) and os.listdir(output_dir):
        raise FileExistsError(
            errno.ENOTEMPTY, "the output directory is not empty (force=True, --force, writes into it)", output_dir
        )


def _blocksize(blocksize):
    if isinstance(blocksize, str):
        from dask.utils import parse_bytes

        blocksize = parse_bytes(blocksize)
    if not isinstance(blocksize, int) or blocksize < 1:
        raise ValueError(f"blocksize must be a positive number of bytes, not {blocksize!r}")
    return blocksize


class _Job:
    """Everything checked before anything is written: the inputs, the
    output directory and the blocks."""

    def __init__(self, inputs, output_dir, *, decrypt, separator, blocksize, force):
        if separator not in (b"\n", b"\0"):
            raise ValueError("separator must be b'\\n' or b'\\0'")
        self.files = _inputs(inputs)
        _check_output(output_dir, force)
        blocksize = _blocksize(blocksize)
        self.output_dir = os.path.abspath(output_dir)
        self.decrypt = decrypt
        self.separator = separator
        # Decrypting reads result lines, which end at line feeds whatever
        # follows each text written.
        self.split = b"\n" if decrypt else separator
        self.blocks = []
        for input, (name, path) in enumerate(self.files):
            size = os.path.getsize(path)
            for start in range(0, size, blocksize):
                stop = start + blocksize if start + blocksize < size else None
                self.blocks.append(_Block(input, name, path, start, stop))

    def run(self, client):
        os.makedirs(self.output_dir, exist_ok=True)
        self._remove_parts()
        width = max(5, len(str(len(self.blocks) - 1)))
        parts = [os.path.join(self.output_dir, f"part-{i:0{width}d}") for i in range(len(self.blocks))]
        job = uuid.uuid4().hex
        futures = [
            client.submit(
                _run_block,
                block,
                parts[i],
                self.split,
                self.separator,
                self.decrypt,
                key=f"encrypt-block-{i}-{job}",
            )
            for i, block in enumerate(self.blocks)
        ]
        results = client.gather(futures)
        # Temporary files of tasks whose workers died mid-write.
        self._remove_parts(temporary_only=True)
        failures = []
        first_line = {}
        for i, (block, (line_feeds, block_failures, stopped)) in enumerate(zip(self.blocks, results)):
            before = first_line.get(block.input, 0)
            failures.extend(Failure(block.name, before + line, reason) for line, reason in block_failures)
            first_line[block.input] = before + line_feeds
            if stopped:
                # encrypt-lines writes nothing after such a line, which
                # would run on from its unfinished text: the later parts,
                # written meanwhile, become empty, and their failures go.
                for part in parts[i + 1 :]:
                    _empty_part(part)
                break
        return failures

    def _remove_parts(self, temporary_only=False):
        for name in os.listdir(self.output_dir):
            if _PART.match(name) and (name.endswith(".tmp") or not temporary_only):
                with contextlib.suppress(FileNotFoundError):
                    os.remove(os.path.join(self.output_dir, name))


@contextlib.contextmanager
def _local_cluster():
    """A cluster on this machine, one single-threaded worker process per
    core, for the length of a job."""
    import distributed

    cores = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else os.cpu_count()
    # Every server on 127.0.0.1: left to themselves, the scheduler's and
    # the workers' HTTP servers listen on every interface.
    local = "127.0.0.1:0"
    with distributed.LocalCluster(
        n_workers=cores, threads_per_worker=1, host="127.0.0.1", dashboard_address=local, worker_dashboard_address=local
    ) as cluster, distributed.Client(cluster) as client:
        yield client


@contextlib.contextmanager
def _default_client():
    import distributed

    try:
        client = distributed.default_client()
    except ValueError:  # none: a local cluster for this job
        with _local_cluster() as client:
            yield client
    else:
        yield client


def encrypt_files(
    inputs,
    output_dir,
    *,
    decrypt=False,
    separator=b"\n",
    blocksize=DEFAULT_BLOCKSIZE,
    client=None,
    force=False,
    errors="skip",
):
    """Writes what `encrypt-lines [-d] INPUTS...` writes as part files
    output_dir/part-00000, part-00001 ... (in name order), one for each
    block of `blocksize` bytes of an input, moved to the next separator.

    inputs: a path or glob pattern, or a list of them, in the order their
    texts are wanted; a pattern's files in sorted order. separator: b"\\n"
    or b"\\0" (-z): what ends each text, and with `decrypt` what follows
    each text written (result lines always end at line feeds). client: a
    distributed.Client; by default the current one, else a local cluster
    of one worker per core for this call.

    Returns the lines that decrypting left out, as Failure(file, line,
    reason), whose str() is encrypt-lines' "FILE:N: reason"; with
    errors="strict" the first of them raises ValueError instead, once
    every part is written. Bad input (no files, a file that cannot be read,
    an output directory with something in it and no `force`) raises before
    anything is written; `force` removes the directory's earlier parts.
    """
    if errors not in ("skip", "strict"):
        raise ValueError("errors must be 'strict' or 'skip'")
    job = _Job(inputs, output_dir, decrypt=decrypt, separator=separator, blocksize=blocksize, force=force)
    with contextlib.nullcontext(client) if client is not None else _default_client() as connected:
        failures = job.run(connected)
    if failures and errors == "strict":
        more = f" (and {len(failures) - 1} more lines)" if len(failures) > 1 else ""
        raise ValueError(f"{failures[0]}{more}")
    return failures


def _message(error):
    if isinstance(error, OSError) and error.filename is not None:
        return f"{error.filename}: {error.strerror}"
    return str(error)


def main(argv=None):
    """The command; returns its exit status."""
    started = time.monotonic()
    parser = argparse.ArgumentParser(
        prog=f"python -m {_PROGRAM}",
        description="Write what 'encrypt-lines [-d] [-z] FILE...' writes, as part files in DIR "
        "(cat DIR/part-* puts them together), on a Dask cluster.",
        epilog="Exit status: 0 if all went well, 1 if a line had no text (-d) or a task failed, "
        "2 for bad input (options, files, a non-empty DIR, no scheduler within 10 s).",
    )
    parser.add_argument("--scheduler", metavar="ADDRESS", help="the scheduler, e.g. tcp://HOST:8786 "
                        "(default: a local cluster of one worker per core)")
    parser.add_argument("-d", "--decrypt", action="store_true", help="read result lines back to their texts")
    parser.add_argument("-z", "--null", action="store_true",
                        help="a text ends at a zero byte instead (with -d: is followed by one)")
    parser.add_argument("-o", "--output", metavar="DIR", required=True, help="the directory for the parts")
    parser.add_argument("--blocksize", default=DEFAULT_BLOCKSIZE, metavar="SIZE",
                        help="bytes of input a part, like 64MiB (default)")
    parser.add_argument("--force", action="store_true", help="write into DIR though it is not empty")
    parser.add_argument("files", nargs="*", metavar="FILE")
    args = parser.parse_args(argv)

    def fail(message, status):
        print(f"{_PROGRAM}: {message}", file=sys.stderr)
        return status

    try:
        job = _Job(args.files, args.output, decrypt=args.decrypt, separator=b"\0" if args.null else b"\n",
                   blocksize=args.blocksize, force=args.force)
    except (OSError, ValueError) as error:
        return fail(_message(error), 2)
    try:
        import distributed
    except ImportError as error:
        return fail(f"Dask is needed (Debian: python3-distributed): {error}", 2)
    if args.scheduler:
        try:
            timeout = max(1.0, _CONNECT_SECONDS - (time.monotonic() - started) - 0.5)
            client = distributed.Client(args.scheduler, timeout=timeout)
        except (OSError, ValueError, TypeError) as error:
            return fail(f"no scheduler at {args.scheduler}: {error}", 2)
        connection = client
    else:
        connection = _local_cluster()
    try:
        with connection as client:
            failures = job.run(client)
    except Exception as error:  # a task's own error, e.g. a file a worker cannot read
        return fail(_message(error), 1)
    for failure in failures:
        print(f"{_PROGRAM}: {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    # Through the package's own name, so that the workers import the tasks'
    # functions from encrypt.cluster rather than receive copies of __main__.
    from encrypt.cluster import main as cluster_main

    sys.exit(cluster_main())

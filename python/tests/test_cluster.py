"""encrypt.cluster on a Dask scheduler and two workers of the tests' own, and
the GNU parallel recipe through an sshd of their own, against encrypt-lines
itself (the command named by ENCRYPT_LINES). Every server listens on
127.0.0.1 only and is stopped by its PID when the tests end, pass or fail."""

import getpass
import math
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
from types import SimpleNamespace

import pytest

import encrypt
from encrypt.cluster import Failure, encrypt_files

ENCRYPT_LINES = os.environ.get("ENCRYPT_LINES", "")
pytestmark = pytest.mark.skipif(
    not os.access(ENCRYPT_LINES, os.X_OK), reason="ENCRYPT_LINES does not name the encrypt-lines command"
)

# Small blocks: every input of a few KiB spans several, and some lines
# span several blocks.
BLOCK = 4096
DASK_MISSING = "Dask (Debian's python3-distributed) is not installed"
# Random bytes .translate()d to letters: texts without a separator.
LETTERS = bytes(b"abcdefghijklmnop"[i % 16] for i in range(256))


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def run(args, **options):
    return subprocess.run(args, capture_output=True, timeout=120, **options)


def cluster_command(args, cwd):
    return run([sys.executable, "-m", "encrypt.cluster", *args], cwd=cwd)


def parts(directory, count):
    """The parts in order, once it is clear that there are `count` of them,
    numbered without a gap, and no temporary file left beside them."""
    names = os.listdir(directory)
    assert sorted(name for name in names if name.startswith("part-")) == [f"part-{i:05d}" for i in range(count)]
    assert [name for name in names if name.startswith(".")] == []
    return [(directory / f"part-{i:05d}").read_bytes() for i in range(count)]


def block_count(directory, files):
    return sum(math.ceil(os.path.getsize(directory / name) / BLOCK) for name in files)


@pytest.fixture(scope="module")
def servers(tmp_path_factory):
    """Starts processes, their output in a log of their own, and stops each
    by its PID at the end, the last started first (workers before their
    scheduler: a worker stopped along with it may hang): SIGTERM, then
    SIGKILL after 10 s."""
    logs = tmp_path_factory.mktemp("logs")
    started = []

    def start(name, args, **options):
        with open(logs / f"{name}.log", "ab") as log:
            process = subprocess.Popen(args, stdout=log, stderr=subprocess.STDOUT, **options)
        started.append(process)
        return process

    try:
        yield start
    finally:
        for process in reversed(started):
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


@pytest.fixture(scope="module")
def cluster(servers, tmp_path_factory):
    """`dask scheduler` and two single-threaded `dask worker` processes, and
    a client of the tests' own; more workers with start_worker()."""
    distributed = pytest.importorskip("distributed", reason=DASK_MISSING)
    work = tmp_path_factory.mktemp("dask")
    address = f"tcp://127.0.0.1:{free_port()}"
    # The HTTP servers would listen on every interface without an address.
    local = ["--dashboard-address", "127.0.0.1:0"]
    dask = [sys.executable, "-m", "dask"]
    servers("scheduler", [*dask, "scheduler", "--host", "127.0.0.1", "--port", address.rsplit(":", 1)[1],
                          "--no-dashboard", *local], cwd=work)

    def start_worker(name):
        return servers(name, [*dask, "worker", address, "--host", "127.0.0.1", "--nthreads", "1", "--no-nanny",
                              "--no-dashboard", *local, "--local-directory", str(work)], cwd=work)

    start_worker("worker-1")
    start_worker("worker-2")
    with distributed.Client(address, timeout=60) as client:
        client.wait_for_workers(2, timeout=60)
        yield SimpleNamespace(address=address, client=client, start_worker=start_worker)


def ambiguous_line():
    """A line that two texts without a zero byte give: the first such unit."""
    for unit in range(1 << 16):
        line = encrypt.hex(unit.to_bytes(2, "little"))
        try:
            encrypt.decrypt(line)
        except ValueError as error:
            if "texts give this line" in str(error):
                return line.encode()
    raise AssertionError("no unit gives an ambiguous line")


@pytest.fixture(scope="module")
def inputs(tmp_path_factory):
    """Texts to encrypt, and result lines to decrypt, in several files."""
    directory = tmp_path_factory.mktemp("inputs")
    generator = random.Random(28)
    # Line feeds and zero bytes among the bytes: the same files are texts
    # with either separator.
    alphabet = b"abcdefghijklmnop\xc3\xa9\xff\x80\n\0"

    def random_bytes(size, symbols=alphabet):
        return bytes(generator.choice(symbols) for _ in range(size))

    files = {
        "short.txt": random_bytes(3 * BLOCK + 123),
        # Texts longer than a block, and one ending exactly at a block.
        "long.txt": random_bytes(300) + b"\n" + random_bytes(3 * BLOCK + 7, b"qrst") + b"\n"
        + random_bytes(BLOCK - 1, b"uv") + b"\n" + random_bytes(2 * BLOCK, b"wxyz") + b"\0\n",
        "empty.txt": b"",
        "no-final-separator.txt": random_bytes(BLOCK + 50, b"abc\n") + b"last text",
    }
    for name, data in files.items():
        (directory / name).write_bytes(data)
    encrypt_names = list(files)
    lines = subprocess.run([ENCRYPT_LINES, *encrypt_names], cwd=directory, capture_output=True, check=True).stdout
    (directory / "lines.txt").write_bytes(lines)
    # Good lines, in either case and with or without the caption, among
    # lines that no text gives or several do, spread over several blocks;
    # the last one with no line feed.
    good = lines.splitlines(keepends=True)
    bad = [b"xyz\n", ambiguous_line() + b"\n", b"25da76d832c\n", b"121a394b27334" * 10 + b"\n"]
    mixed = []
    caption = encrypt.CAPTION.encode()
    for i in range(160):
        digits = good[i][len(caption):]
        mixed.append((digits, caption + digits.upper(), good[i])[i % 3])
        if i % 29 == 5:
            mixed.append(bad[i % len(bad)])
    (directory / "mixed.txt").write_bytes(b"".join(mixed) + b"\n" + bad[1].rstrip())
    # The same file twice: each time its lines are counted from 1.
    decrypt_names = ["mixed.txt", "empty.txt", "lines.txt", "mixed.txt"]
    return SimpleNamespace(dir=directory, encrypt=encrypt_names, decrypt=decrypt_names)


@pytest.mark.parametrize("options", [[], ["-z"], ["-d"], ["-d", "-z"]], ids=" ".join)
def test_the_command_writes_what_encrypt_lines_does(cluster, inputs, tmp_path, options):
    files = inputs.decrypt if "-d" in options else inputs.encrypt
    # --force writes into a directory that holds something, removing an
    # earlier run's parts and nothing else.
    out = tmp_path / "out"
    out.mkdir()
    (out / "part-00099").write_bytes(b"an earlier run's part")
    (out / "notes").write_bytes(b"kept")
    got = cluster_command(["--scheduler", cluster.address, "--blocksize", str(BLOCK), "-o", str(out), "--force",
                           *options, *files], inputs.dir)
    want = run([ENCRYPT_LINES, *options, *files], cwd=inputs.dir)
    assert got.stderr.replace(b"encrypt.cluster: ", b"encrypt-lines: ") == want.stderr
    got_parts = parts(out, block_count(inputs.dir, files))
    assert b"".join(got_parts) == want.stdout
    # The work was spread: every file of several blocks gave several parts.
    assert sum(1 for part in got_parts if part) > len(files)
    assert (out / "notes").read_bytes() == b"kept"
    assert got.returncode == want.returncode == (1 if "-d" in options else 0)


def test_encrypt_files_returns_failures_or_raises(cluster, inputs, tmp_path, monkeypatch):
    monkeypatch.chdir(inputs.dir)  # the names as given, and a glob among them
    files = ["mixed.txt", "line*.txt"]
    want = run([ENCRYPT_LINES, "-d", "mixed.txt", "lines.txt"])
    failures = encrypt_files(files, tmp_path / "skip", decrypt=True, blocksize=BLOCK, client=cluster.client)
    assert all(isinstance(failure, Failure) for failure in failures)
    assert "".join(f"encrypt-lines: {failure}\n" for failure in failures).encode() == want.stderr
    with pytest.raises(ValueError, match=rf"^{failures[0]} \(and {len(failures) - 1} more lines\)$"):
        encrypt_files(files, tmp_path / "strict", decrypt=True, blocksize=BLOCK, client=cluster.client,
                      errors="strict")
    count = block_count(inputs.dir, ["mixed.txt", "lines.txt"])
    assert b"".join(parts(tmp_path / "skip", count)) == b"".join(parts(tmp_path / "strict", count)) == want.stdout


def test_a_line_failing_after_its_text_went_out_ends_the_output(cluster, tmp_path, monkeypatch):
    # Past 16 MiB a text goes out as it comes; the letter at the end of its
    # line makes it no result line.
    generator = random.Random(16)
    first, huge, last = (generator.randbytes(size).translate(LETTERS) for size in (10, 17 << 20, 10))
    monkeypatch.chdir(tmp_path)
    (tmp_path / "huge.txt").write_bytes(encrypt.encrypt_lines(first) + encrypt.encrypt_lines(huge).rstrip() + b"g\n"
                                        + encrypt.encrypt_lines(last) + b"zz\n")
    failures = encrypt_files("huge.txt", "out", decrypt=True, blocksize=32 << 20, client=cluster.client)
    want = run([ENCRYPT_LINES, "-d", "huge.txt"])
    assert [f"encrypt-lines: {failure}\n".encode() for failure in failures] == [want.stderr]
    # The parts end inside its text, as the command's output does: nothing
    # of the blocks after it runs on from that text.
    got = b"".join((tmp_path / "out" / f"part-{i:05d}").read_bytes() for i in range(3))
    assert got == want.stdout and got.startswith(first + b"\n") and huge.startswith(got[len(first) + 1 :])


def test_a_worker_killed_mid_job(cluster, inputs, tmp_path):
    doomed = cluster.start_worker("doomed-worker")
    cluster.client.wait_for_workers(3, timeout=60)
    big = tmp_path / "big.txt"
    big.write_bytes((inputs.dir / "short.txt").read_bytes() * 100)
    count = math.ceil(big.stat().st_size / BLOCK)
    out = tmp_path / "out"
    job = subprocess.Popen(
        [sys.executable, "-m", "encrypt.cluster", "--scheduler", cluster.address, "--blocksize", str(BLOCK),
         "-o", str(out), str(big)],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        deadline = time.monotonic() + 60
        while not (out.is_dir() and any(name.startswith("part-") for name in os.listdir(out))):
            assert job.poll() is None and time.monotonic() < deadline, "no part appeared"
            time.sleep(0.002)
        os.kill(doomed.pid, signal.SIGKILL)
        parts_at_the_kill = len(os.listdir(out))
        _, stderr = job.communicate(timeout=120)
    finally:
        if job.poll() is None:
            job.kill()
            job.wait()
    assert doomed.wait(10) == -signal.SIGKILL
    assert parts_at_the_kill < count, "the job had ended before the kill"
    assert job.returncode == 0, stderr
    assert b"".join(parts(out, count)) == run([ENCRYPT_LINES, str(big)]).stdout


NOT_EMPTY = re.escape("the output directory is not empty (force=True, --force, writes into it)")


# (arguments, the message as a regular expression)
@pytest.mark.parametrize(
    "args, message",
    [
        (["-o", "out"], "no input files"),
        (["-o", "out", "short.txt", "missing.txt"], r"missing\.txt: No such file or directory"),
        (["-o", "out", "nothing-*.txt"], r"nothing-\*\.txt: no file matches"),
        (["-o", ".", "short.txt"], rf"\.: {NOT_EMPTY}"),
        (["--scheduler", "UNREACHABLE", "-o", "out", "short.txt"],
         r"no scheduler at UNREACHABLE: Timed out trying to connect to UNREACHABLE after (?P<seconds>[\d.]+) s"),
    ],
    ids=["no inputs", "a missing file", "a glob matching nothing", "a non-empty output", "no scheduler"],
)
def test_bad_input_exits_2_writing_nothing(inputs, args, message):
    if "UNREACHABLE" in args:
        pytest.importorskip("distributed", reason=DASK_MISSING)
        address = f"tcp://127.0.0.1:{free_port()}"  # nothing listens there
        args = [arg.replace("UNREACHABLE", address) for arg in args]
        message = message.replace("UNREACHABLE", address)
    before = sorted(os.listdir(inputs.dir))
    got = cluster_command(args, inputs.dir)
    assert got.returncode == 2
    assert got.stdout == b""
    match = re.fullmatch(rf"encrypt\.cluster: {message}\n", got.stderr.decode())
    assert match, got.stderr
    # Given up on within 10 s of the start, Python's own start-up included.
    assert float(match.groupdict().get("seconds", 0)) < 10
    assert sorted(os.listdir(inputs.dir)) == before


def test_parallel_recipe_over_ssh(servers, inputs, tmp_path):
    tools = {name: shutil.which(name, path=os.environ.get("PATH", "") + ":/usr/sbin")
             for name in ("sshd", "ssh", "ssh-keygen", "parallel")}
    if not all(tools.values()):
        pytest.skip("needs " + ", ".join(name for name, path in tools.items() if not path))
    for key in ("host_key", "user_key"):
        run([tools["ssh-keygen"], "-q", "-t", "ed25519", "-N", "", "-f", str(tmp_path / key)]).check_returncode()
    port = free_port()
    (tmp_path / "sshd_config").write_text(
        f"""Port {port}
ListenAddress 127.0.0.1
HostKey {tmp_path / "host_key"}
AuthorizedKeysFile {tmp_path / "user_key.pub"}
PidFile {tmp_path / "sshd.pid"}
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
"""
    )
    if os.geteuid() == 0:
        # sshd run by root needs the directory that Debian's service makes.
        os.makedirs("/run/sshd", mode=0o755, exist_ok=True)
    sshd = servers("sshd", [tools["sshd"], "-D", "-e", "-f", str(tmp_path / "sshd_config")])
    deadline = time.monotonic() + 20
    while True:
        with socket.socket() as probe:
            if probe.connect_ex(("127.0.0.1", port)) == 0:
                break
        assert sshd.poll() is None and time.monotonic() < deadline, "sshd did not start"
        time.sleep(0.05)

    ssh = (f"{tools['ssh']} -F /dev/null -p {port} -i {tmp_path / 'user_key'} -o IdentitiesOnly=yes "
           "-o BatchMode=yes -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR")
    # Two logins, which parallel takes for two machines, and each way input
    # for three of its 8 MiB blocks: texts of some 250 bytes, and the lines
    # of a quarter of them.
    logins = ["--sshlogin", "1/127.0.0.1", "--sshlogin", f"1/{getpass.getuser()}@127.0.0.1"]
    texts = tmp_path / "texts"
    texts.write_bytes(random.Random(28).randbytes(17 << 20).translate(b"\n" + LETTERS[1:]))
    lines = tmp_path / "lines"
    with open(texts, "rb") as stdin:
        lines.write_bytes(run([ENCRYPT_LINES], stdin=stdin).stdout[: 17 << 20].rpartition(b"\n")[0])
    for source, options in ((texts, []), (lines, ["-d"])):
        one_process = run([ENCRYPT_LINES, *options, str(source)])
        assert one_process.returncode == 0
        with open(source, "rb") as stdin:
            got = run([tools["parallel"], "--pipe", "--keep-order", "--block", "8M", "--ssh", ssh, *logins,
                       ENCRYPT_LINES, *options], stdin=stdin, env={**os.environ, "HOME": str(tmp_path)})
        assert got.returncode == 0, got.stderr
        assert got.stdout == one_process.stdout

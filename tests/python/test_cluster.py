"""python3 -m vornix.cluster against a real Dask scheduler and two workers, each its own
process on 127.0.0.1, over recordings vornix gen makes."""

import json
import os
import signal
import socket
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

import pytest

from vornix import cluster

VORNIX_CLI = os.environ.get("VORNIX_CLI", "vornix")
# Every wait polls; these only bound how long a broken set-up can hang the suite.
START_TIMEOUT = 30.0
RUN_TIMEOUT = 120.0


def wait_until(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for %s" % what)
        time.sleep(0.01)


class LocalCluster:
    """A scheduler and workers started as Dask's own commands, each in a process group of
    its own so that killing one takes everything it started with it."""

    def __init__(self, directory, preload=None):
        self.directory = directory
        self.preload = preload
        self.scheduler_file = directory / "scheduler.json"
        self.processes = {}
        self.address = None

    def _spawn(self, name, arguments):
        log = open(self.directory / (name + ".log"), "wb")
        process = subprocess.Popen([sys.executable, "-m"] + arguments, stdout=log,
                                   stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                   start_new_session=True)
        log.close()
        self.processes[name] = process
        return process

    def log(self, name):
        return (self.directory / (name + ".log")).read_text(errors="replace")

    def start(self, workers=2):
        self._spawn("scheduler", ["distributed.cli.dask_scheduler", "--host", "127.0.0.1",
                                  "--port", "0", "--no-dashboard",
                                  "--scheduler-file", str(self.scheduler_file),
                                  # Should this test itself be killed, nothing stays behind
                                  # for long: the scheduler ends once idle, the workers
                                  # once it has gone.
                                  "--idle-timeout", "120s"])
        self.address = wait_until(self._scheduler_address, START_TIMEOUT, "the scheduler")
        names = ["worker-%d" % number for number in range(workers)]
        for name in names:
            arguments = ["distributed.cli.dask_worker", "--scheduler-file",
                         str(self.scheduler_file), "--host", "127.0.0.1", "--no-nanny",
                         "--nthreads", "1", "--no-dashboard", "--name", name,
                         "--local-directory", str(self.directory / name),
                         "--death-timeout", "30s"]
            if self.preload:
                arguments += ["--preload", str(self.preload)]
            self._spawn(name, arguments)
        for name in names:
            wait_until(lambda: self._check(name) and "Registered to" in self.log(name),
                       START_TIMEOUT, name)
        return names

    def _scheduler_address(self):
        self._check("scheduler")
        try:
            return json.loads(self.scheduler_file.read_text())["address"]
        except (OSError, ValueError, KeyError):
            return None

    def _check(self, name):
        if self.processes[name].poll() is not None:
            raise AssertionError("%s ended early:\n%s" % (name, self.log(name)))
        return True

    def kill(self, name):
        os.killpg(self.processes[name].pid, signal.SIGKILL)
        self.processes[name].wait()

    def stop(self):
        for process in self.processes.values():
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGTERM)
        for process in self.processes.values():
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()


@pytest.fixture
def local_cluster(tmp_path):
    made = []

    def start(preload=None):
        directory = tmp_path / ("cluster-%d" % len(made))
        directory.mkdir()
        made.append(LocalCluster(directory, preload))
        return made[-1], made[-1].start()

    try:
        yield start
    finally:
        for each in made:
            each.stop()


def make_recordings(directory, count):
    """count one-second recordings, each with its own three keys and noise, named by
    their number; returns the names relative to directory."""
    (directory / "recordings").mkdir()
    names = ["recordings/call-%03d.wav" % number for number in range(count)]

    def generate(number):
        subprocess.run([VORNIX_CLI, "gen", "dtmf", "%03d" % number, "--lead", "400",
                        "--duration", "100", "--gap", "100", "--noise", "-50", "--seed",
                        str(number + 1), "-o", names[number]], cwd=directory, check=True)

    with ThreadPoolExecutor(max_workers=2) as pool:
        list(pool.map(generate, range(count)))
    return names


def command_lines(directory, names, *options):
    """What one vornix decode --json run gives for each file, as parsed lines."""
    done = subprocess.run([VORNIX_CLI, "decode", "--json", "-q"] + list(options) + names,
                          cwd=directory,
                          check=True, capture_output=True, text=True)
    expected = {name: [] for name in names}
    for line in done.stdout.splitlines():
        event = json.loads(line)
        expected[event["file"]].append(list(event.items()))
    return expected


def output_lines(path):
    return [list(json.loads(line).items()) for line in path.read_text().splitlines()]


def run_cluster(directory, address, names, output, *options, background=False):
    listing = directory / "list.txt"
    listing.write_text("".join(name + "\n" for name in names))
    arguments = [sys.executable, "-m", "vornix.cluster", "--scheduler", address,
                 "--files-from", str(listing), "--output-dir", str(output)] + list(options)
    if background:
        return subprocess.Popen(arguments, cwd=directory, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
    return subprocess.run(arguments, cwd=directory, capture_output=True, text=True,
                          timeout=RUN_TIMEOUT)


def files_below(directory):
    return [str(path.relative_to(directory)) for path in directory.rglob("*") if path.is_file()]


def status_of(output, name):
    return json.loads((output / (cluster.output_name(name) + cluster.STATUS_SUFFIX)).read_text())


# Loaded into each worker (Dask may load a preload twice): every decode waits 10 ms first.
PACED_DECODE = """
import time
import vornix
if not hasattr(vornix, "unpaced_decode"):
    vornix.unpaced_decode = vornix.decode
    def decode(*args, **kwargs):
        time.sleep(0.01)
        return vornix.unpaced_decode(*args, **kwargs)
    vornix.decode = decode
"""


def test_a_lost_worker_loses_nothing_and_duplicates_nothing(tmp_path, local_cluster):
    names = make_recordings(tmp_path, 300)
    expected = command_lines(tmp_path, names)
    # Each decode waits a little on the workers, so the run lasts long enough to kill a
    # worker in the middle of it.
    preload = tmp_path / "paced_decode.py"
    preload.write_text(PACED_DECODE)
    dask, workers = local_cluster(preload)
    victim = "%s:%d" % (socket.gethostname(), dask.processes[workers[0]].pid)
    output = tmp_path / "out"

    command = run_cluster(tmp_path, dask.address, names, output, "--files-per-task", "10",
                          background=True)
    try:
        def victim_has_written():
            statuses = list(output.rglob("*" + cluster.STATUS_SUFFIX))
            for path in statuses:
                try:
                    if json.loads(path.read_text())["worker"] == victim:
                        return len(statuses)
                except (OSError, ValueError):
                    pass
            return 0
        written = wait_until(victim_has_written, RUN_TIMEOUT, "the first worker's output")
        dask.kill(workers[0])
        assert written < len(names), "the run ended before the worker was killed"
        stdout, stderr = command.communicate(timeout=RUN_TIMEOUT)
    finally:
        if command.poll() is None:
            command.kill()
            command.wait()

    assert command.returncode == 0, stderr
    assert "vornix.cluster: 300 files, 0 failed," in stderr
    wanted = {cluster.output_name(name) + suffix for name in names
              for suffix in (cluster.JSONL_SUFFIX, cluster.STATUS_SUFFIX)}
    assert sorted(files_below(output)) == sorted(wanted)
    for name in names:
        assert output_lines(output / (cluster.output_name(name) + cluster.JSONL_SUFFIX)) == \
            expected[name], name
        status = status_of(output, name)
        assert status["ok"] and status["file"] == name
        assert status["events"] == len(expected[name]) == 3


def test_failing_files_are_listed_with_their_errors_and_a_resumed_run_decodes_only_what_is_missing(
        tmp_path, local_cluster):
    names = make_recordings(tmp_path, 30)
    (tmp_path / "recordings" / "broken.wav").write_text("not a recording\n")
    bad = ["recordings/broken.wav", "recordings/missing.wav"]
    listed = names[:15] + bad + names[15:]
    # A tuning option goes through to every worker's decoder: each line then says its channel.
    expected = command_lines(tmp_path, names, "--channel", "both")
    dask, _ = local_cluster()
    output = tmp_path / "out"

    first = run_cluster(tmp_path, dask.address, listed, output, "--files-per-task", "4",
                        "--channel", "both")
    assert first.returncode == 1, first.stderr
    assert "vornix.cluster: 32 files, 2 failed, 0.0083 hours of audio," in first.stderr
    for name in bad:
        status = status_of(output, name)
        assert not status["ok"] and status["file"] == name
        # The module's reason, which names the file as the command does.
        assert name in status["error"]
        assert "vornix.cluster: failed: %s: %s" % (name, status["error"]) in first.stderr
        assert not (output / (name + cluster.JSONL_SUFFIX)).exists()
    for name in names:
        assert output_lines(output / (name + cluster.JSONL_SUFFIX)) == expected[name], name

    # As if the first run had stopped before these: only they and the failed files go again.
    missing = names[3:30:6]
    for name in missing:
        (output / (name + cluster.JSONL_SUFFIX)).unlink()
    # What a worker killed while writing leaves aside goes at the end of the run.
    (output / "recordings" / ".call-003.wav.jsonl.lost-1-0.tmp").write_text('{"file":')
    kept = {name: os.stat(output / (name + cluster.JSONL_SUFFIX)) for name in names
            if name not in missing}
    again = run_cluster(tmp_path, dask.address, listed, output, "--skip-existing",
                        "--channel", "both")
    assert again.returncode == 1, again.stderr
    assert "vornix.cluster: 7 files, 2 failed," in again.stderr
    assert "25 skipped (output exists)" in again.stderr
    for name in missing:
        assert output_lines(output / (name + cluster.JSONL_SUFFIX)) == expected[name], name
    for name, before in kept.items():
        after = os.stat(output / (name + cluster.JSONL_SUFFIX))
        assert (after.st_ino, after.st_mtime_ns) == (before.st_ino, before.st_mtime_ns), name
    assert sorted(files_below(output)) == sorted(
        name + suffix for name in listed for suffix in (cluster.JSONL_SUFFIX, cluster.STATUS_SUFFIX)
        if not (name in bad and suffix == cluster.JSONL_SUFFIX))


def test_mistakes_in_the_command_line_or_the_list_stop_the_run_before_it_starts(tmp_path):
    # No scheduler listens there: each mistake must be found first.
    unreachable = "tcp://127.0.0.1:9"
    for options, names, reason in [
            (["--no-such-option", "3"], ["a.wav"], "no_such_option"),
            (["--files-per-task", "0"], ["a.wav"], "at least 1"),
            ([], ["a.wav", "./a.wav"], "would both be written to"),
            ([], ["calls/"], "names no file")]:
        done = run_cluster(tmp_path, unreachable, names, tmp_path / "out", *options)
        assert done.returncode == cluster.EXIT_USAGE, (options, names, done.stderr)
        assert reason in done.stderr, (options, names, done.stderr)
    assert not (tmp_path / "out").exists()


def test_options_and_names_read_as_the_command_reads_them(tmp_path):
    assert cluster.parse_tuning(["--min-duration", "40", "--sensitive", "-3", "--spectrum-bins",
                                 "--tone", "busy", "--tone=dial", "--channel", "both"]) == {
        "min_duration": "40", "sensitive": "-3", "spectrum_bins": True,
        "tone": ["busy", "dial"], "channel": "both"}
    with pytest.raises(cluster.UsageError):
        cluster.parse_tuning(["stray.wav"])

    assert cluster.output_names(["calls/a.wav", "./calls/b.wav", "/data/c.wav", "../d.wav"],
                                cwd="/srv/in") == [
        "calls/a.wav", "calls/b.wav", "data/c.wav", "srv/d.wav"]
    for names in (["a.wav", "x/../a.wav"], [""], ["."], ["a/.."],
                  # a.wav.jsonl would have to be a file and the folder of the other's outputs
                  ["a.wav", "a.wav.jsonl/b.wav"]):
        with pytest.raises(cluster.UsageError):
            cluster.output_names(names)

    listing = tmp_path / "list.txt"
    listing.write_bytes(b"a.wav\r\n\n with spaces .wav\nlast.wav")
    assert cluster.read_file_list(str(listing)) == ["a.wav", " with spaces .wav", "last.wav"]
    listing.write_bytes(b"a.wav\nb\0.wav\n")
    with pytest.raises(cluster.UsageError, match="line 2"):
        cluster.read_file_list(str(listing))

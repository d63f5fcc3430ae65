#!/usr/bin/python3
"""What spreading files over a Dask cluster costs: makes one-second recordings and times,
in the same run, `python3 -m vornix.cluster` on a scheduler and two workers on 127.0.0.1
(one thread each, started as the README's recipe starts them) against `vornix decode -j 2
--output-dir` on the same files, both writing one NAME.jsonl per file, and prints the
cluster's overhead per file. Each side runs RUNS times in turn (A B A B ...) and the median
of the pair-by-pair differences is printed, so a drift in the machine's speed during the run
moves both sides. The cluster's start is not timed: it serves many runs. The outputs of both
are compared, file by file.

    /usr/bin/python3 bench/cluster_overhead.py [BUILD_DIR] [--files N] [--runs R]

BUILD_DIR (default build/) must have the Python module (-DVORNIX_PYTHON=ON); it is
configured and built in release if it has not. Run it on a machine otherwise idle: the load
average is printed before and after.
"""

import argparse
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def build(directory):
    vornix = os.path.join(directory, "tools", "vornix")
    package = os.path.join(directory, "python", "vornix")
    if not (os.access(vornix, os.X_OK) and os.path.exists(os.path.join(package, "cluster.py"))):
        subprocess.run(["cmake", "-S", ROOT, "-B", directory, "-DCMAKE_BUILD_TYPE=Release",
                        "-DVORNIX_PYTHON=ON"], check=True)
        subprocess.run(["cmake", "--build", directory, "-j", str(os.cpu_count() or 1),
                        "--target", "vornix_cli", "vornix_python"], check=True)
    return vornix, os.path.join(directory, "python")


def make_recordings(vornix, work, count):
    """100 different recordings (five keys of 100 ms with 100 ms gaps in noise: one second
    each) copied to count files of their own."""
    pattern = "0123456789*#ABCD"
    seeds = []
    for i in range(100):
        keys = "".join(pattern[(i * 7 + k * 3) % 16] for k in range(5))
        seed = os.path.join(work, "seed-%d.wav" % i)
        subprocess.run([vornix, "gen", "dtmf", keys, "--duration", "100", "--gap", "100",
                        "--noise", "-30", "--seed", str(i + 1), "-o", seed], check=True)
        seeds.append(seed)
    os.makedirs(os.path.join(work, "calls"))
    names = [os.path.join(work, "calls", "call-%d.wav" % n) for n in range(count)]
    for n, name in enumerate(names):
        shutil.copyfile(seeds[n % 100], name)
    listing = os.path.join(work, "list.txt")
    with open(listing, "w") as out:
        out.writelines(name + "\n" for name in names)
    return names, listing


class Cluster:
    """A scheduler and two workers, each in a process group of its own."""

    def __init__(self, work, environment):
        self.work = work
        self.environment = environment
        self.processes = []
        self.scheduler_file = os.path.join(work, "scheduler.json")

    def spawn(self, name, arguments):
        log = open(os.path.join(self.work, name + ".log"), "wb")
        self.processes.append(subprocess.Popen(
            [sys.executable, "-m"] + arguments, stdout=log, stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL, env=self.environment, start_new_session=True))
        log.close()

    def start(self):
        self.spawn("scheduler", ["distributed.cli.dask_scheduler", "--host", "127.0.0.1",
                                 "--port", "0", "--no-dashboard",
                                 "--scheduler-file", self.scheduler_file])
        address = self.wait(self.address, "the scheduler")
        for number in range(2):
            name = "worker-%d" % number
            self.spawn(name, ["distributed.cli.dask_worker", "--scheduler-file",
                              self.scheduler_file, "--host", "127.0.0.1", "--nthreads", "1",
                              "--no-dashboard", "--name", name,
                              "--local-directory", os.path.join(self.work, name)])
        for number in range(2):
            log = os.path.join(self.work, "worker-%d.log" % number)
            self.wait(lambda: "Registered to" in open(log, errors="replace").read(),
                      "worker %d" % number)
        return address

    def address(self):
        try:
            with open(self.scheduler_file) as info:
                return json.load(info)["address"]
        except (OSError, ValueError, KeyError):
            return None

    def wait(self, condition, what):
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if any(process.poll() is not None for process in self.processes):
                raise SystemExit("%s: a process of the cluster ended; see %s" % (what, self.work))
            value = condition()
            if value:
                return value
            time.sleep(0.05)
        raise SystemExit("timed out waiting for %s" % what)

    def stop(self):
        for process in self.processes:
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGTERM)
        for process in self.processes:
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()


def timed(arguments, environment):
    started = time.monotonic()
    done = subprocess.run(arguments, env=environment, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, text=True)
    seconds = time.monotonic() - started
    if done.returncode != 0:
        raise SystemExit("%s failed:\n%s" % (arguments[:4], done.stderr))
    return seconds


def compare(names, command_dir, cluster_dir):
    """How many files the two wrote the same events for, and how many byte for byte."""
    same = identical = 0
    for name in names:
        relative = name.lstrip("/") + ".jsonl"
        with open(os.path.join(command_dir, relative), "rb") as a, \
                open(os.path.join(cluster_dir, relative), "rb") as b:
            left, right = a.read(), b.read()
        identical += left == right
        same += ([list(json.loads(line).items()) for line in left.splitlines()] ==
                 [list(json.loads(line).items()) for line in right.splitlines()])
    return same, identical


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build", nargs="?", default=os.path.join(ROOT, "build"))
    parser.add_argument("--files", type=int, default=10000)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()

    vornix, python_path = build(os.path.abspath(args.build))
    environment = dict(os.environ, PYTHONPATH=python_path, PYTHONDONTWRITEBYTECODE="1")
    print("load average before: %s, %d processors" % (
        " ".join(open("/proc/loadavg").read().split()[:3]), os.cpu_count()))
    work = tempfile.mkdtemp(prefix="vornix-cluster-bench-")
    cluster = Cluster(work, environment)
    try:
        names, listing = make_recordings(vornix, work, args.files)
        address = cluster.start()
        command_dir = os.path.join(work, "out-command")
        cluster_dir = os.path.join(work, "out-cluster")
        batch = [vornix, "decode", "--json", "--quiet", "-j", "2", "--files-from", listing,
                 "--output-dir", command_dir]
        spread = [sys.executable, "-m", "vornix.cluster", "--scheduler", address,
                  "--files-from", listing, "--output-dir", cluster_dir]
        batch_times, cluster_times = [], []
        for _ in range(args.runs):
            for directory in (command_dir, cluster_dir):
                shutil.rmtree(directory, ignore_errors=True)
            batch_times.append(timed(batch, environment))
            cluster_times.append(timed(spread, environment))
        same, identical = compare(names, command_dir, cluster_dir)
    finally:
        cluster.stop()
        shutil.rmtree(work, ignore_errors=True)

    files = args.files
    batch_s = statistics.median(batch_times)
    cluster_s = statistics.median(cluster_times)
    # Pair by pair, so a run slowed by the machine counts against its neighbour only.
    extra_s = statistics.median(c - b for b, c in zip(batch_times, cluster_times))
    ratio = statistics.median(c / b for b, c in zip(batch_times, cluster_times))
    print("input:  %d one-second recordings of 8 kHz 16-bit keys in noise, %d runs of each"
          % (files, args.runs))
    print("vornix decode -j 2 --output-dir:          %8.3f s  %7.0f files/s" % (batch_s, files / batch_s))
    print("vornix.cluster, 2 workers on 127.0.0.1:   %8.3f s  %7.0f files/s" % (cluster_s, files / cluster_s))
    print("overhead of the cluster: %.3f ms per file, %.2f x the time of -j 2 (medians of the pairs; "
          "runs: -j 2 %s s, cluster %s s)"
          % (1000.0 * extra_s / files, ratio, " ".join("%.2f" % t for t in batch_times),
             " ".join("%.2f" % t for t in cluster_times)))
    print("same events in both outputs: %d of %d files (%d byte for byte)" % (same, files, identical))
    print("load average after: %s" % " ".join(open("/proc/loadavg").read().split()[:3]))
    return 0 if same == files else 1


if __name__ == "__main__":
    sys.exit(main())

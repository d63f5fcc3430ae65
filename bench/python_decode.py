#!/usr/bin/python3
"""What the Python module costs over the command, measured in one run:
  files:  vornix.decode on each of N one-second recordings in one process, against one
          `vornix decode --json -j 1` over the same files (both decode one file at a time);
  chunks: one hour of audio through vornix.Decoder in 20 ms chunks (160 samples), against
          the same audio as one array; the difference per chunk is the cost of a feed.
Each pair is timed RUNS times in turn and the median ratio printed.
  PYTHONPATH=build/python bench/python_decode.py [VORNIX_PROGRAM] [FILES] [RUNS]
(defaults: build/tools/vornix, 2000, 3). Run it on a machine otherwise idle."""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

import vornix

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
program = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build", "tools", "vornix")
count = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
runs = int(sys.argv[3]) if len(sys.argv) > 3 else 3


def timed(run):
    start = time.perf_counter()
    result = run()
    return time.perf_counter() - start, result


with tempfile.TemporaryDirectory() as work:
    print(f"load average before: {os.getloadavg()[0]:.2f}, {os.cpu_count()} processors")
    keys = "0123456789*#ABCD"
    seeds = []
    for i in range(20):
        seed = os.path.join(work, f"seed-{i}.wav")
        digits = "".join(keys[(i * 7 + k * 3) % 16] for k in range(5))
        subprocess.run([program, "gen", "dtmf", digits, "--noise", "-30", "--seed", str(i + 1), "-o", seed], check=True)
        seeds.append(open(seed, "rb").read())
    files = []
    for n in range(count):
        files.append(os.path.join(work, f"call-{n}.wav"))
        with open(files[-1], "wb") as f:
            f.write(seeds[n % len(seeds)])

    def command():
        out = subprocess.run([program, "decode", "--json", "-j", "1", *files], check=True, capture_output=True, text=True)
        return [json.loads(line) for line in out.stdout.splitlines()]

    def module():
        return [e for path in files for e in vornix.decode(path)]

    # An hour of the recordings' samples, one after the other.
    hour = np.tile(np.frombuffer(seeds[0][44:], np.int16), 3600)

    def whole():
        return vornix.decode(hour)

    def chunks():
        d = vornix.Decoder(8000)
        return [e for at in range(0, len(hour), 160) for e in d.feed(hour[at:at + 160])] + d.end()

    file_ratios, chunk_costs = [], []
    for _ in range(runs):
        t_command, expected = timed(command)
        t_module, got = timed(module)
        assert got == expected, "the module and the command disagree"
        file_ratios.append(t_module / t_command)
        t_whole, one = timed(whole)
        t_chunks, many = timed(chunks)
        assert one == many
        chunk_costs.append((t_chunks - t_whole) / (len(hour) / 160))
        print(f"files: command {t_command:.3f} s, module {t_module:.3f} s; hour: whole {t_whole:.3f} s, "
              f"20 ms chunks {t_chunks:.3f} s")
    print(f"{count} files: the module takes {statistics.median(file_ratios):.2f}x the command's time (median)")
    print(f"20 ms chunks: {statistics.median(chunk_costs) * 1e6:.1f} us a feed over one array (median), "
          f"{statistics.median(chunk_costs) / 0.020 * 100:.3f} % of the chunk's duration")
    print(f"load average after: {os.getloadavg()[0]:.2f}")

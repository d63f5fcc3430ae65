"""Decodes an archive of recordings on a Dask distributed cluster.

    python3 -m vornix.cluster --scheduler tcp://HOST:8786 --files-from LIST --output-dir DIR

The files are cut into tasks of many files each (a task per file would cost the scheduler
more than decoding a short recording does). A task decodes its files one after the other
with vornix.decode on whichever worker runs it and writes, for each file, DIR/NAME.jsonl
(the lines `vornix decode --json FILE` prints) and DIR/NAME.status.json (whether it decoded,
and the error if not), each written aside and renamed into place. NAME is the file's path as
`vornix decode --output-dir` names it. A task lost with its worker is run again elsewhere
and rewrites the very same files, so nothing is lost and nothing is written twice;
--skip-existing leaves out the files whose NAME.jsonl is already there.

The workers need the vornix module, the recordings at the paths this command sees, and the
output directory shared with it: relative names in the list are made absolute here, against
this command's working directory, and each event's "file" stays the name as listed.
"""

import argparse
import itertools
import json
import os
import posixpath
import socket
import struct
import sys
import time

# For one-second recordings a task of this many files keeps a worker busy for a good
# fraction of a second: long enough that the scheduler's own cost per task stays small,
# short enough that a lost worker costs little and the work spreads evenly.
DEFAULT_FILES_PER_TASK = 64

JSONL_SUFFIX = ".jsonl"
STATUS_SUFFIX = ".status.json"
# What is written aside is hidden and ends with this, so it is never taken for an output
# and what a killed worker left half-written can be found and removed.
TEMPORARY_SUFFIX = ".tmp"
# The longest name a list may hold, in bytes: the longest path Linux opens.
LONGEST_NAME = 4096

EXIT_OK = 0
EXIT_FAILED = 1
EXIT_USAGE = 2


class UsageError(Exception):
    pass


def output_name(listed, cwd=None):
    """Where a listed file's outputs go below the output directory, without their suffix:
    its path taken lexically, an absolute one without its leading /, one that climbs out
    ("../x.wav") as its absolute path, so `calls/a.wav` writes `calls/a.wav.jsonl` as
    `vornix decode --output-dir` does."""
    path = posixpath.normpath(listed) if listed and not listed.endswith("/") else ""
    if path == ".." or path.startswith("../"):
        path = posixpath.normpath(posixpath.join(cwd or os.getcwd(), path))
    path = path.lstrip("/")
    if posixpath.basename(path) in ("", ".", ".."):
        raise UsageError("'%s' names no file to write the events of" % listed)
    return path


def output_names(listed, cwd=None):
    """The output name of every listed file; a UsageError when two would share one, or
    one output would have to be the folder of another."""
    names = []
    owner = {}
    for name in listed:
        relative = output_name(name, cwd)
        if relative in owner:
            raise UsageError("'%s' and '%s' would both be written to %s (give each file once)" %
                             (owner[relative], name, relative + JSONL_SUFFIX))
        owner[relative] = name
        names.append(relative)
    files = {relative + suffix: owner[relative]
             for relative in owner for suffix in (JSONL_SUFFIX, STATUS_SUFFIX)}
    for relative, name in owner.items():
        parent = posixpath.dirname(relative)
        while parent:
            if parent in files:
                raise UsageError("'%s' would be written to %s, the folder of the events of '%s'" %
                                 (files[parent], parent, name))
            parent = posixpath.dirname(parent)
    return names


_temporary_numbers = itertools.count()


def temporary_name(path):
    """The hidden name path is written under first, told apart by machine, process and a
    counter, so neither two workers nor two threads of one ever write the same one."""
    directory, base = os.path.split(path)
    # No dot in what follows the base name, so the name can be told from it (a machine's
    # name may have dots).
    host = socket.gethostname().replace(".", "-")
    return os.path.join(directory, ".%s.%s-%d-%d%s" % (base, host, os.getpid(),
                                                       next(_temporary_numbers), TEMPORARY_SUFFIX))


def write_atomically(path, data, sync_folder=True):
    """Writes bytes as path so that a reader sees either the old file or the whole new one,
    even if the writer dies half-way: written aside in the same folder, flushed to the
    disk, then renamed over the name. The rename itself is on the disk once the folder is
    flushed (sync_folder, or sync_folders later for many files at once)."""
    directory = os.path.dirname(path)
    os.makedirs(directory, exist_ok=True)
    temporary = temporary_name(path)
    try:
        descriptor = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, 0o666)
        with open(descriptor, "wb") as out:
            out.write(data)
            out.flush()
            os.fsync(out.fileno())
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except OSError:
            pass
        raise
    if sync_folder:
        sync_folders([directory])


def sync_folders(directories):
    """Flushes folders, so the renames in them survive a crash; failing that loses only
    that guarantee (a rename lost is a file decoded again on --skip-existing)."""
    for directory in directories:
        try:
            folder = os.open(directory, os.O_RDONLY | os.O_DIRECTORY)
            try:
                os.fsync(folder)
            finally:
                os.close(folder)
        except OSError:
            pass


def event_lines(listed, events):
    """One file's events as the command's JSON lines, "file" being the name as listed."""
    lines = []
    for event in events:
        if event.get("file") != listed:
            event = {"file": listed, **{k: v for k, v in event.items() if k != "file"}}
        lines.append(json.dumps(event, ensure_ascii=False, separators=(",", ":")) + "\n")
    return "".join(lines).encode("utf-8")


def wave_seconds(path):
    """How long a RIFF wave lasts, from its data chunk's size and its format's byte rate
    (any codec); None for anything else. Only the summary's hours of audio use it."""
    try:
        with open(path, "rb") as recording:
            header = recording.read(12)
            if len(header) < 12 or header[:4] != b"RIFF" or header[8:12] != b"WAVE":
                return None
            byte_rate = None
            for _ in range(64):  # a wave holds a handful of chunks; a longer walk is no wave
                chunk = recording.read(8)
                if len(chunk) < 8:
                    return None
                kind, size = chunk[:4], struct.unpack("<I", chunk[4:])[0]
                if kind == b"fmt ":
                    fmt = recording.read(min(size, 16))
                    if len(fmt) < 12:
                        return None
                    byte_rate = struct.unpack("<I", fmt[8:12])[0]
                    recording.seek(size - len(fmt) + (size & 1), os.SEEK_CUR)
                elif kind == b"data":
                    if not byte_rate:
                        return None
                    end = os.fstat(recording.fileno()).st_size
                    return min(size, end - recording.tell()) / float(byte_rate)
                else:
                    recording.seek(size + (size & 1), os.SEEK_CUR)
    except OSError:
        return None
    return None


def decode_files(files, output_dir, detect, tuning):
    """One task: decodes each (listed name, path, output name) and writes its outputs. A
    file that fails is recorded in its status and the task goes on; the task returns one
    result per file for the summary."""
    import vornix
    worker = "%s:%d" % (socket.gethostname(), os.getpid())
    results = []
    # Flushed once each when the task's files are written, rather than twice a file: the
    # folder's flush costs as much as a file's.
    folders = set()
    for listed, path, name in files:
        stem = os.path.join(output_dir, name)
        folders.add(os.path.dirname(stem))
        started = time.monotonic()
        status = {"file": listed, "ok": True, "error": None, "events": 0,
                  "audio_seconds": None, "decode_seconds": None, "worker": worker}
        try:
            events = vornix.decode(path, detect=detect, name=listed, **tuning)
            status["events"] = len(events)
            status["audio_seconds"] = wave_seconds(path)
            write_atomically(stem + JSONL_SUFFIX, event_lines(listed, events), sync_folder=False)
        except Exception as error:  # a failure of one file is that file's, not the task's
            status["ok"] = False
            status["error"] = str(error) or type(error).__name__
            # A file that decoded in an earlier run and fails now keeps no stale events.
            try:
                os.unlink(stem + JSONL_SUFFIX)
            except OSError:
                pass
        status["decode_seconds"] = round(time.monotonic() - started, 6)
        write_atomically(stem + STATUS_SUFFIX,
                         (json.dumps(status, ensure_ascii=False) + "\n").encode("utf-8"),
                         sync_folder=False)
        results.append(status)
    sync_folders(folders)
    return results


def read_file_list(source, stdin=None):
    """The names of a list as the command reads them: one a line, exactly as written, a
    "\\r\\n" line end taken as "\\n", empty lines skipped; "-" reads standard input."""
    if source == "-":
        data = (stdin or sys.stdin.buffer).read()
    else:
        with open(source, "rb") as listing:
            data = listing.read()
    names = []
    for number, line in enumerate(data.split(b"\n"), 1):
        if line.endswith(b"\r"):
            line = line[:-1]
        if not line:
            continue
        if b"\0" in line or len(line) > LONGEST_NAME:
            raise UsageError("%s: line %d is no file name (%s)" % (
                source, number, "a NUL byte" if b"\0" in line else "longer than a path"))
        names.append(os.fsdecode(line))
    return names


def parse_tuning(extra):
    """decode's detection and tuning options given after the cluster's own (--min-duration
    40, --channel right, --spectrum-bins, --tone busy --tone dial) as vornix.decode's
    keywords (min_duration="40"): values stay the text given, which the module hands back
    to the command's own option parser; an option without a value is a switch (True); one
    given again collects its values in a list."""
    tuning = {}
    index = 0
    while index < len(extra):
        option = extra[index]
        index += 1
        if not option.startswith("--") or option == "--":
            raise UsageError("unexpected argument '%s'" % option)
        name, equals, value = option[2:].partition("=")
        if not equals:
            if index < len(extra) and not extra[index].startswith("--"):
                value = extra[index]
                index += 1
            else:
                value = True
        key = name.replace("-", "_")
        if not key.isidentifier() or key == "name":
            raise UsageError("'%s' is no option of decode" % option)
        if key not in tuning:
            tuning[key] = value
        elif isinstance(tuning[key], list):
            tuning[key].append(value)
        else:
            tuning[key] = [tuning[key], value]
    return tuning


def check_options(detect, tuning):
    """Raises UsageError, with the module's reason, for options decode does not take, so a
    mistake stops the run here rather than failing every file on the workers."""
    import vornix
    try:
        vornix.Decoder(detect=detect, **tuning)
    except (ValueError, TypeError) as error:
        raise UsageError(str(error))


def split_into_tasks(files, files_per_task):
    return [files[start:start + files_per_task] for start in range(0, len(files), files_per_task)]


def remove_leftovers(output_dir, names):
    """Removes what workers killed while writing left aside for these outputs."""
    wanted = {}
    for name in names:
        folder, base = posixpath.split(name)
        wanted.setdefault(folder, set()).update((base + JSONL_SUFFIX, base + STATUS_SUFFIX))
    for folder, bases in wanted.items():
        try:
            entries = list(os.scandir(os.path.join(output_dir, folder)))
        except OSError:
            continue
        for entry in entries:
            if not (entry.name.startswith(".") and entry.name.endswith(TEMPORARY_SUFFIX)):
                continue
            # .BASE.HOST-PID-NUMBER.tmp
            parts = entry.name[1:-len(TEMPORARY_SUFFIX)].rsplit(".", 1)
            if len(parts) == 2 and parts[0] in bases:
                try:
                    os.unlink(entry.path)
                except OSError:
                    pass


def summary_line(files, failed, skipped, seconds_of_audio, wall_seconds):
    """The last line, in the words of the command's own summary."""
    factor = seconds_of_audio / wall_seconds if wall_seconds > 0 else 0.0
    line = ("vornix.cluster: %d files, %d failed, %.4f hours of audio, %.3f s, %.1fx real time" %
            (files, failed, seconds_of_audio / 3600.0, wall_seconds, factor))
    if skipped:
        line += ", %d skipped (output exists)" % skipped
    return line


def build_parser():
    parser = argparse.ArgumentParser(
        prog="python3 -m vornix.cluster",
        # Abbreviations would let this parser take decode's options for its own.
        allow_abbrev=False,
        description="Decodes many recordings on a Dask distributed cluster, writing each "
                    "file's events as DIR/NAME.jsonl and its outcome as DIR/NAME.status.json.",
        epilog="Any other option is one of vornix decode's detection and tuning options "
               "(--min-duration 40, --channel right, --spectrum-bins, --tone busy), handed to "
               "vornix.decode as a keyword (min_duration=\"40\"). Exit status: 0 every file decoded, "
               "1 a file failed (the list of them and their errors on stderr), 2 bad usage.")
    parser.add_argument("--scheduler", required=True, metavar="ADDRESS",
                        help="the scheduler's address, e.g. tcp://10.0.0.1:8786")
    parser.add_argument("--files-from", required=True, metavar="LIST",
                        help="the recordings, one name a line; - reads standard input")
    parser.add_argument("--output-dir", required=True, metavar="DIR",
                        help="where the outputs go; shared with every worker")
    parser.add_argument("--detect", default="dtmf", metavar="LIST",
                        help="detectors to run, comma-separated, as for vornix decode "
                             "(default: %(default)s)")
    parser.add_argument("--skip-existing", action="store_true",
                        help="leave out the files whose NAME.jsonl exists (resumes a run)")
    parser.add_argument("--files-per-task", type=int, default=DEFAULT_FILES_PER_TASK,
                        metavar="N", help="files one task decodes (default: %(default)s)")
    parser.add_argument("--connect-timeout", type=float, default=30.0, metavar="SECONDS",
                        help="how long to wait for the scheduler (default: %(default)s)")
    return parser


def run(argv, stdin=None, stderr=None):
    stderr = stderr or sys.stderr
    parser = build_parser()
    args, extra = parser.parse_known_args(argv)
    started = time.monotonic()
    try:
        tuning = parse_tuning(extra)
        if args.files_per_task < 1:
            raise UsageError("--files-per-task must be at least 1")
        detect = tuple(name.strip() for name in args.detect.split(",") if name.strip())
        check_options(detect, tuning)
        try:
            listed = read_file_list(args.files_from, stdin)
        except OSError as error:
            raise UsageError("%s: %s" % (args.files_from, error.strerror or error))
        names = output_names(listed)
    except UsageError as error:
        parser.print_usage(stderr)
        print("vornix.cluster: %s" % error, file=stderr)
        return EXIT_USAGE

    output_dir = os.path.abspath(args.output_dir)
    files = []
    skipped = 0
    for name, output in zip(listed, names):
        if args.skip_existing and os.path.exists(os.path.join(output_dir, output + JSONL_SUFFIX)):
            skipped += 1
        else:
            files.append((name, os.path.abspath(name), output))

    results = []
    if files:
        os.makedirs(output_dir, exist_ok=True)
        try:
            results = run_on_cluster(args.scheduler, args.connect_timeout,
                                     split_into_tasks(files, args.files_per_task),
                                     output_dir, detect, tuning)
        except OSError as error:
            print("vornix.cluster: cannot reach the scheduler %s: %s" % (args.scheduler, error),
                  file=stderr)
            return EXIT_FAILED
        remove_leftovers(output_dir, [output for _, _, output in files])

    failures = [(result["file"], result["error"]) for result in results if not result["ok"]]
    seconds_of_audio = sum(result["audio_seconds"] or 0.0 for result in results if result["ok"])
    for name, error in failures:
        print("vornix.cluster: failed: %s: %s" % (name, error), file=stderr)
    print(summary_line(len(files), len(failures), skipped, seconds_of_audio,
                       time.monotonic() - started), file=stderr)
    return EXIT_FAILED if failures else EXIT_OK


def run_on_cluster(address, timeout, tasks, output_dir, detect, tuning):
    """Runs the tasks on the scheduler's workers and returns every file's result, in the
    list's order. A task the scheduler gives up on (its workers died under it too often, or
    it could not run at all) fails its files with the reason; the others still count."""
    import uuid
    from distributed import Client, wait

    run_id = uuid.uuid4().hex[:12]
    results = []
    with Client(address, timeout=timeout) as client:
        futures = [client.submit(decode_files, task, output_dir, detect, tuning,
                                 key="vornix-decode-%s-%d" % (run_id, number))
                   for number, task in enumerate(tasks)]
        wait(futures)
        for future, task in zip(futures, tasks):
            try:
                results.extend(future.result())
            except Exception as error:  # the task's own failure, or its workers' deaths
                reason = "its task failed: %s" % (str(error) or type(error).__name__)
                results.extend({"file": listed, "ok": False, "error": reason,
                                "audio_seconds": None} for listed, _, _ in task)
    return results


def main():
    return run(sys.argv[1:])


if __name__ == "__main__":
    # Run as vornix.cluster rather than __main__, so the workers find the task's function
    # by its name in their own copy of the module.
    from vornix import cluster
    sys.exit(cluster.main())

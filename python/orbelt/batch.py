"""Runs the pairs of a batch manifest as tasks on a Dask cluster.

    python3 -m orbelt.batch pairs.json --out DIR [--scheduler tcp://HOST:PORT | --workers N]
    python3 -m orbelt.batch --dataset ROOT [--submit NAME] --out DIR [...] [-- RUN OPTIONS]

The manifest is the one ``orbelt-cli batch`` reads (same rules, same
messages; see ``orbelt-cli batch --help`` and the README); --dataset ROOT
runs every set and frame of a dataset folder as ``orbelt-cli batch
--dataset`` does, with the main command's options after ``--``, and
--submit NAME adds the Middlebury 2014 submission tree DIR/submission/.
Each pair is one task: a worker runs ``orbelt-cli`` on it in a private
temporary folder, so that a pair that fails, or even crashes, fails its own
row and nothing else, and hands back every file the run wrote there (its
map, run summary, a KITTI frame's 16-bit map, its submission files) and its
log. The client writes them at the same paths below DIR (DIR/<name>.pfm,
DIR/<name>.json, DIR/<name>.log, DIR/submission/...), each through a
temporary file and a rename, and then DIR/summary.csv, the table
``orbelt-cli batch`` writes. DIR is made when it is missing; only the
client writes into it, so it need not be shared with the workers (the
input files must be readable by them at the paths the manifest gives).

With --scheduler the tasks go to an existing cluster (started with
``dask-scheduler`` and ``dask-worker``); otherwise a local cluster of N
worker processes on the loopback interface runs them. A worker lost
part-way has its pair run again elsewhere (Dask reschedules the tasks of a
lost worker); an error of the task itself (not a failing pair) is retried
--retries times.

Exit status: 0 every pair ran, 1 a pair failed (DIR/<name>.log says why),
2 usage or manifest error (nothing runs).
"""

import argparse
import logging
import os
import shutil
import socket
import subprocess
import sys
import tempfile

from . import _orbelt

try:
    from . import _paths
except ImportError:  # a package copied without its build folder
    _paths = None

#: Status of a pair whose task was lost for good (its worker died each time it ran).
LOST = -1


def default_cli():
    """orbelt-cli: $ORBELT_CLI, else the one built beside this package, else on PATH."""
    candidates = [os.environ.get("ORBELT_CLI"), getattr(_paths, "ORBELT_CLI", None), shutil.which("orbelt-cli")]
    for candidate in candidates:
        if candidate and os.path.isfile(candidate):
            return candidate
    return candidates[1] or "orbelt-cli"


def run_pair(cli, args, name):
    """One pair, on a worker: orbelt-cli in a temporary folder (its outputs,
    named relative to it, land there), then the files' contents.

    Returns a dict: status (the process's exit status, 128 + signal when a
    signal ended it), files (each file the run wrote, by its path relative
    to the folder, as bytes), log (bytes of its standard output and error)
    and worker (the host name)."""
    folder = tempfile.mkdtemp(prefix="orbelt-pair-")
    try:
        log_path = os.path.join(folder, name + ".log")
        # The child dies with the worker thread that started it, so a lost
        # worker leaves no run behind.
        guard = ["setpriv", "--pdeathsig", "KILL"] if shutil.which("setpriv") else []
        with open(log_path, "wb") as log:
            try:
                status = subprocess.run(guard + [cli] + list(args), cwd=folder, stdin=subprocess.DEVNULL,
                                        stdout=log, stderr=subprocess.STDOUT).returncode
            except OSError as error:
                log.write(("cannot start %s: %s\n" % (cli, error)).encode())
                status = 2
        if status < 0:
            status = 128 - status

        files = {}
        for place, _, names in os.walk(folder):
            for file in names:
                path = os.path.join(place, file)
                with open(path, "rb") as f:
                    files[os.path.relpath(path, folder)] = f.read()
        log = files.pop(name + ".log", b"")
        return dict(status=status, files=files, log=log, worker=socket.gethostname())
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def write_atomically(path, data):
    """Writes `data` to `path` through a temporary file in the same folder
    and a rename: readers see the old file or the whole new one."""
    folder, base = os.path.split(path)
    descriptor, temporary = tempfile.mkstemp(prefix="." + base + ".", suffix=".tmp", dir=folder or ".")
    try:
        with os.fdopen(descriptor, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except OSError:
            pass
        raise


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog="python3 -m orbelt.batch",
        description="Runs every pair of a JSON manifest (the one orbelt-cli batch reads), or every set and frame "
                    "of a dataset folder, as a task on a Dask cluster and writes one summary table.",
        epilog="Options after '--' go to every run of a --dataset batch (e.g. -- --seed 1). "
               "Exit status: 0 every pair ran, 1 a pair failed (see OUT/<name>.log), 2 usage or manifest error.")
    parser.add_argument("manifest", nargs="?", help="the manifest (.json); or give --dataset")
    parser.add_argument("--dataset", metavar="ROOT",
                        help="run every Middlebury set and KITTI frame of this folder instead of a manifest")
    parser.add_argument("--submit", metavar="NAME",
                        help="with --dataset: also write the Middlebury 2014 submission of method NAME into "
                             "OUT/submission/")
    parser.add_argument("--out", default=".", help="folder for each pair's .pfm, .json and .log (made when missing)")
    parser.add_argument("--summary", help="summary table, .csv or .json (default OUT/summary.csv)")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--scheduler", metavar="ADDRESS", help="an existing cluster's scheduler, e.g. tcp://host:8786")
    where.add_argument("--workers", type=int, metavar="N",
                       help="worker processes of a local cluster on the loopback interface (default 2)")
    parser.add_argument("--threads", type=int, metavar="T",
                        help="threads per pair (costs and moves) unless its options say otherwise (default: with a local "
                             "cluster, cores / N; on a cluster, the worker's cores)")
    parser.add_argument("--retries", type=int, default=2, metavar="R",
                        help="times a task that raised is run again (default 2)")
    parser.add_argument("--cli", default=None, metavar="PATH",
                        help="orbelt-cli as the workers see it (default: $ORBELT_CLI, the one built with this "
                             "package, or orbelt-cli on PATH)")
    # What follows "--" is for the runs, not for the batch.
    split = argv.index("--") if "--" in argv else len(argv)
    options = parser.parse_args(argv[:split])
    options.run_options = argv[split + 1:]
    if (options.manifest is None) == (options.dataset is None):
        parser.error("give either a manifest or --dataset ROOT")
    if options.dataset is None and options.submit is not None:
        parser.error("--submit goes with --dataset")
    if options.dataset is None and options.run_options:
        parser.error("options after '--' go with --dataset; a manifest gives its own in \"defaults\"")
    if options.workers is None:
        options.workers = 2
    if options.workers < 1:
        parser.error("--workers must be 1 or more")
    if options.threads is not None and options.threads < 0:
        parser.error("--threads must be 0 or more")
    if options.retries < 0:
        parser.error("--retries must be 0 or more")
    return options


def refuse(message):
    print("orbelt.batch: " + message, file=sys.stderr)
    return 2


def prepare_output(options):
    """Makes the output folder; returns the summary's path and whether it is JSON, or raises ValueError."""
    try:
        os.makedirs(options.out, exist_ok=True)
    except OSError as error:
        raise ValueError('cannot create the output folder "%s": %s' % (options.out, error.strerror or error))
    if not os.path.isdir(options.out):
        raise ValueError('cannot create the output folder "%s": a file of that name is in the way' % options.out)
    summary = options.summary or os.path.join(options.out, "summary.csv")
    extension = os.path.splitext(summary)[1].lower()
    if extension not in (".csv", ".json"):
        raise ValueError('the summary table "%s" must end in .csv or .json' % summary)
    folder = os.path.dirname(summary) or "."
    if not os.path.isdir(folder):
        raise ValueError('the summary table "%s" cannot be written: its folder "%s" is not there' % (summary, folder))
    return summary, extension == ".json"


def start_client(options):
    from distributed import Client, LocalCluster

    if options.scheduler:
        return Client(options.scheduler), None
    cluster = LocalCluster(n_workers=options.workers, threads_per_worker=1, processes=True, host="127.0.0.1",
                           dashboard_address=None, silence_logs=logging.ERROR)
    return Client(cluster), cluster


def main(argv=None):
    options = parse_arguments(sys.argv[1:] if argv is None else argv)
    try:
        summary_path, summary_json = prepare_output(options)
        # Read twice by the same rules: as given, for the summary (whose mask
        # column then reads as orbelt-cli batch's), and from its absolute
        # path, so that the input paths mean the same on every worker. The
        # outputs are named bare ("<name>.pfm"): the run writes them into its
        # own folder, and its summary then names them beside itself.
        if options.dataset is not None:
            listed = _orbelt.batch_dataset(options.dataset, "", options.run_options, options.submit or "")
            pairs = _orbelt.batch_dataset(os.path.abspath(options.dataset), "", options.run_options,
                                          options.submit or "")
        else:
            listed = _orbelt.batch_manifest(options.manifest, "")
            pairs = _orbelt.batch_manifest(os.path.abspath(options.manifest), "")
    except ValueError as error:
        return refuse(str(error))
    cli = options.cli or default_cli()
    threads = options.threads
    if threads is None and not options.scheduler:
        threads = max(1, (os.cpu_count() or 1) // options.workers)
    for pair in pairs:
        if threads is not None and "--threads" not in pair["args"]:
            pair["args"] += ["--threads", str(threads)]

    from distributed import as_completed

    client, cluster = start_client(options)
    outcomes = [(LOST, "")] * len(pairs)
    try:
        print("running %d pairs on %s" % (len(pairs), options.scheduler or "%d local workers" % options.workers),
              file=sys.stderr)
        futures = {}
        for index, pair in enumerate(pairs):
            future = client.submit(run_pair, cli, pair["args"], pair["name"], pure=False, retries=options.retries,
                                   key="orbelt-pair-%s-%s" % (pair["name"], os.urandom(4).hex()))
            futures[future] = index
        for future in as_completed(futures):
            index = futures[future]
            name = pairs[index]["name"]
            stem = os.path.join(options.out, name)
            try:
                done = future.result()
            except Exception as error:  # the task itself was lost or raised each time it ran
                write_atomically(stem + ".log", ("the task of this pair was lost: %r\n" % (error,)).encode())
                print("FAILED %s (task lost: %s)" % (name, type(error).__name__), file=sys.stderr)
                continue
            write_atomically(stem + ".log", done["log"])
            for relative, data in sorted(done["files"].items()):
                path = os.path.join(options.out, relative)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                write_atomically(path, data)
            status = done["status"]
            outcomes[index] = (status, done["files"].get(name + ".json", b"").decode("utf-8", "replace"))
            print("%s %s (status %d, on %s)" % ("finished" if status == 0 else "FAILED", name, status, done["worker"]),
                  file=sys.stderr)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()

    text = _orbelt.batch_summary(listed, outcomes, summary_json, options.manifest or options.dataset, "1/1")
    write_atomically(summary_path, text.encode())
    print("wrote %s" % summary_path)
    return 0 if all(status == 0 for status, _ in outcomes) else 1


if __name__ == "__main__":
    sys.exit(main())

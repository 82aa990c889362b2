#!/usr/bin/env python3
"""Times brackwell-cli against rhash and md5sum on the same page-cached files
(many files and one file through the lane engines, with the best engine and
with AVX2 forced; the AICH root's cost too),
the default job count against -j 1 on many sparse files, with peak memory, and
every job count against -j 1 on many large, many small and a mix of files.

Each round runs every command once, in turn, so that a noisy neighbour slows
all of them alike; the report gives the median time of each command and the
median of the per-round ratios. Run from the repository root after a release
build:  python3 bench/compare.py [--runs N] [--dir DIR] [--lanes-only] [--jobs-only] [--window-only]
The last part times the window: from paths added to every entry listed (2,000
files of 512 KiB and one file of 1 GiB, beside brackwell-cli and rhash, and
the longest the interface thread went without serving its events), and its
list at 100,000 entries.
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run(argv, env=None):
    """Runs argv with stdout discarded; returns (seconds, peak resident KiB)."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    if proc.returncode not in (0,):
        sys.exit(f"{' '.join(argv[:3])}... failed ({proc.returncode}): {err}")
    return elapsed, usage.ru_maxrss


def peak_rss(argv):
    """(seconds, peak resident KiB) of argv alone. GNU time reports the program's
    own peak; the rusage of a child forked from this interpreter would also
    count the interpreter's pages from before the exec."""
    if os.path.exists("/usr/bin/time"):
        start = time.perf_counter()
        out = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE, text=True, check=True)
        return time.perf_counter() - start, int(out.stderr.strip().splitlines()[-1])
    return run(argv)


def warm(paths):
    for path in paths:
        with open(path, "rb") as f:
            while f.read(1 << 24):
                pass


def make_file(path, size):
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    with open(path, "wb") as f:
        left = size
        while left:
            n = min(left, 1 << 24)
            f.write(os.urandom(n))
            left -= n


def compare(title, commands, runs, bar=None, env=None, env_all=False):
    """commands: {label: argv}; the first label is ours, compared with the rest
    (and the only one run with env, when given, unless env_all)."""
    times = {label: [] for label in commands}
    ours = next(iter(commands))
    for _ in range(runs):
        for label, argv in commands.items():
            times[label].append(run(argv, env if label == ours or env_all else None)[0])
    print(f"\n{title}")
    for label, values in times.items():
        print(f"  {label:<34} median {statistics.median(values):7.3f} s")
    for label in list(commands)[1:]:
        ratios = [a / b for a, b in zip(times[ours], times[label])]
        ratio = statistics.median(ratios)
        verdict = ""
        if bar and label in bar:
            limit = bar[label]
            verdict = f"  (bar <= {limit:.2f}: {'met' if ratio <= limit else 'NOT met'})"
        print(f"  ratio {ours} / {label}: {ratio:.3f}{verdict}")


def lanes(cli, workdir, runs, engine):
    """The runs the lane engines are for, with the engine named by engine
    ("avx512", "avx2" or "scalar"; None: the best the CPU has)."""
    env = dict(os.environ, BRACKWELL_LANE_ENGINE=engine) if engine else None
    name = f" ({engine} lanes)" if engine else ""
    big = os.path.join(workdir, "big.bin")
    eights = []
    folder = os.path.join(workdir, "eights")
    os.makedirs(folder, exist_ok=True)
    for i in range(256):
        eights.append(os.path.join(folder, f"e{i:03d}.bin"))
        make_file(eights[-1], 8 << 20)
    smalls = [os.path.join(workdir, "many", f"f{i:04d}.bin") for i in range(2000)]
    os.makedirs(os.path.dirname(smalls[0]), exist_ok=True)
    for path in smalls:
        make_file(path, 512 * 1024)
    warm([big] + eights + smalls)
    compare("256 files of 8 MiB, both hashes" + name, {
        "brackwell-cli": [cli, "--format=hashes"] + eights,
        "rhash --ed2k --md5": ["rhash", "--ed2k", "--md5"] + eights,
    }, runs, bar={"rhash --ed2k --md5": 0.1}, env=env)
    compare("2,000 files of 512 KiB, both hashes" + name, {
        "brackwell-cli": [cli, "--format=hashes"] + smalls,
        "rhash --ed2k --md5": ["rhash", "--ed2k", "--md5"] + smalls,
    }, runs, bar={"rhash --ed2k --md5": 0.15}, env=env)
    compare("One file of 1 GiB, ed2k alone" + name, {
        "brackwell-cli --no-fs": [cli, "--no-fs", "--format=hashes", big],
        "rhash --ed2k": ["rhash", "--ed2k", big],
    }, runs, bar={"rhash --ed2k": 0.3}, env=env)
    compare("One file of 1 GiB, both hashes" + name, {
        "brackwell-cli": [cli, "--format=hashes", big],
        "rhash --ed2k --md5": ["rhash", "--ed2k", "--md5", big],
    }, runs, bar={"rhash --ed2k --md5": 0.58}, env=env)
    compare("256 files of 8 MiB, with the AICH root" + name, {
        "brackwell-cli --aich": [cli, "--aich", "--format=hashes"] + eights,
        "brackwell-cli": [cli, "--format=hashes"] + eights,
        "rhash --ed2k --md5 --aich": ["rhash", "--ed2k", "--md5", "--aich"] + eights,
    }, runs, env=env)


def sparse_many(cli, workdir, runs):
    """32 sparse files of 200 MiB: the default job count against -j 1 (never
    slower), and peak memory by job count (about one file's figure per job)."""
    folder = os.path.join(workdir, "sparse32")
    os.makedirs(folder, exist_ok=True)
    paths = []
    for i in range(32):
        path = os.path.join(folder, f"s{i:02d}.bin")
        with open(path, "wb") as f:
            f.truncate(200 << 20)
        paths.append(path)
    compare("32 sparse files of 200 MiB, both hashes", {
        "brackwell-cli (-j cores)": [cli, "--format=hashes"] + paths,
        "brackwell-cli -j 1": [cli, "--format=hashes", "-j", "1"] + paths,
    }, runs, bar={"brackwell-cli -j 1": 1.05})
    for jobs in ("1", str(os.cpu_count()), "32"):
        seconds, peak = peak_rss([cli, "--format=hashes", "-j", jobs] + paths)
        print(f"  -j {jobs:<3} peak resident {peak / 1024:6.1f} MiB ({seconds:.2f} s)")


def job_counts(title, cli, paths, counts, runs):
    """Times brackwell-cli -r PATHS with each job count ("" for the default) in
    alternating rounds: none may be slower than -j 1 (by more than 3%), and the
    default must be the fastest or within 3% of it (paired with each)."""
    labels = [f"-j {c}" if c else "default" for c in counts]
    argvs = [[cli, "--format=hashes", "-r"] + (["-j", c] if c else []) + paths for c in counts]
    times = {label: [] for label in labels}
    for _ in range(runs):
        for label, argv in zip(labels, argvs):
            times[label].append(run(argv)[0])
    base = times["-j 1"]
    print(f"\n{title}")
    for label in labels:
        ratio = statistics.median([a / b for a, b in zip(times[label], base)])
        verdict = "" if label == "-j 1" else f"  (bar <= 1.03: {'met' if ratio <= 1.03 else 'NOT met'})"
        print(f"  {label:<10} median {statistics.median(times[label]):7.3f} s, / -j 1: {ratio:.3f}{verdict}")
    # The default against each other count, paired round by round.
    worst = max(statistics.median([a / b for a, b in zip(times["default"], times[label])])
                for label in labels if label != "default")
    print(f"  default / each other count, at most: {worst:.3f}  (bar <= 1.03: {'met' if worst <= 1.03 else 'NOT met'})")


def jobs(cli, workdir, runs):
    """Job counts on many large files, many small ones and a mix: the lanes of
    one job fill before a second job starts."""
    cores = str(os.cpu_count())
    sparse16 = os.path.join(workdir, "sparse16")
    os.makedirs(sparse16, exist_ok=True)
    for i in range(16):
        with open(os.path.join(sparse16, f"s{i:02d}.bin"), "wb") as f:
            f.truncate(160 << 20)
    sparse32 = os.path.join(workdir, "sparse32")
    os.makedirs(sparse32, exist_ok=True)
    for i in range(32):
        with open(os.path.join(sparse32, f"s{i:02d}.bin"), "wb") as f:
            f.truncate(200 << 20)
    small = os.path.join(workdir, "small20k")
    os.makedirs(small, exist_ok=True)
    for i in range(20000):
        make_file(os.path.join(small, f"f{i:05d}.bin"), 4096)
    big = os.path.join(workdir, "big.bin")
    make_file(big, 1 << 30)
    warm([big] + [os.path.join(small, name) for name in os.listdir(small)])
    job_counts("Jobs: 16 sparse files of 160 MiB", cli, [sparse16], ["1", "", "32"], runs)
    job_counts("Jobs: 32 sparse files of 200 MiB", cli, [sparse32], ["1", "", "32"], runs)
    job_counts("Jobs: 20,000 files of 4 KiB", cli, [small], ["1", "", "1024"], runs)
    job_counts("Jobs: 1 GiB and 20,000 files of 4 KiB", cli, [big, small], ["1", "", "1024"], runs)
    if cores not in ("1", "2"):
        job_counts("Jobs: 20,000 files of 4 KiB, -j 2", cli, [small], ["1", "", "2"], runs)


def google_benchmark(build):
    exe = os.path.join(build, "bench", "brackwell_bench")
    if not os.path.exists(exe):
        print("\n(no bench/brackwell_bench in the build: digest MB/s skipped)")
        return
    print("\nDigest throughput (Google Benchmark, one core)")
    out = subprocess.run([exe, "--benchmark_filter=Digest", "--benchmark_min_time=1"], capture_output=True, text=True).stdout
    for line in out.splitlines():
        if "bytes_per_second" in line or "/s" in line:
            print("  " + line.strip())


def window_env():
    """The window's environment: an empty settings store (both hashes,
    nothing else), off screen, and Qt's runtime folder so that it stays quiet."""
    home = tempfile.mkdtemp(prefix="brackwell-window-")
    runtime = os.path.join(home, "runtime")
    os.makedirs(runtime, mode=0o700)
    return dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=os.path.join(home, "config"),
                XDG_RUNTIME_DIR=runtime)


def window_add(build, cli, workdir, runs):
    """The window from paths to listed entries (bench/window/window_add.cpp:
    the paths queued as a drop queues them, the clock stopped once the window
    would accept a close), side by side with brackwell-cli and rhash."""
    exe = os.path.join(build, "bench", "brackwell_window_add")
    if not os.path.exists(exe):
        print("\n(no bench/brackwell_window_add in the build: the window's runs skipped)")
        return
    env = window_env()
    big = os.path.join(workdir, "big.bin")
    make_file(big, 1 << 30)
    smalls = [os.path.join(workdir, "many", f"f{i:04d}.bin") for i in range(2000)]
    os.makedirs(os.path.dirname(smalls[0]), exist_ok=True)
    for path in smalls:
        make_file(path, 512 * 1024)
    warm([big] + smalls)
    compare("The window: 2,000 files of 512 KiB, both hashes, until it may close", {
        "window": [exe, "--quiet"] + smalls,
        "brackwell-cli": [cli, "--format=hashes"] + smalls,
        "rhash --ed2k --md5": ["rhash", "--ed2k", "--md5"] + smalls,
    }, runs, bar={"rhash --ed2k --md5": 0.4}, env=env)
    compare("The window: one file of 1 GiB, both hashes, until it may close", {
        "window": [exe, "--quiet", big],
        "brackwell-cli": [cli, "--format=hashes", big],
    }, runs, bar={"brackwell-cli": 1.05}, env=env)
    # The longest pause of the interface thread while the 2,000 files go
    # through, the worst of the runs.
    pauses = []
    for _ in range(runs):
        out = subprocess.run([exe] + smalls, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                             env=env, check=True).stderr
        found = re.search(r"longest pause of the interface thread ([\d.]+) ms", out)
        if found:
            pauses.append(float(found.group(1)))
    if pauses:
        worst = max(pauses)
        print(f"  longest pause of the interface thread, 2,000 files: median {statistics.median(pauses):.1f} ms,"
              f" worst {worst:.1f} ms  (bar < 50 ms: {'met' if worst < 50 else 'NOT met'})")


def window_big_jobs(build, cli, workdir, runs):
    """The window on big jobs: Add Folder on 2,000 files of 512 KiB beside
    rhash -r; a tree of 100,000 small files beside brackwell-cli -r (every
    entry listed, the longest pause of the interface thread through the walk
    and the hashing, peak memory); a file of 40 GiB first and 3,000 small ones
    after (all the small ones listed while the big one is hashed); Stop during
    24 sparse files of 3 GiB; the progress line's cost."""
    exe = os.path.join(build, "bench", "brackwell_window_add")
    if not os.path.exists(exe):
        return
    env = window_env()
    many = os.path.join(workdir, "many")
    compare("The window: Add Folder of 2,000 files of 512 KiB, both hashes, until it may close", {
        "window --add-folder": [exe, "--quiet", "--add-folder", many],
        "rhash -r --ed2k --md5": ["rhash", "-r", "--ed2k", "--md5", many],
    }, runs, bar={"rhash -r --ed2k --md5": 0.4}, env=env)

    tree = os.path.join(workdir, "tree")
    if not os.path.exists(os.path.join(tree, "099", "0999.txt")):
        for i in range(100):
            folder = os.path.join(tree, f"{i:03d}")
            os.makedirs(folder, exist_ok=True)
            for j in range(1000):
                with open(os.path.join(folder, f"{j:04d}.txt"), "wb") as f:
                    f.write(b"%d.%d\n" % (i, j) * (1 + j % 50))
    compare("The window: Add Folder of a tree of 100,000 small files, until it may close", {
        "window --add-folder": [exe, "--quiet", "--add-folder", tree],
        "brackwell-cli -r": [cli, "-r", tree],
    }, runs, bar={"brackwell-cli -r": 1.3}, env=env)
    out = subprocess.run(["/usr/bin/time", "-f", "peak %M KiB", exe, "--add-folder", tree],
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, env=env, check=True).stderr
    listed = re.search(r"window: (\d+) entries listed in ([\d.]+) s; longest pause of the interface thread ([\d.]+) ms",
                       out)
    peak = re.search(r"peak (\d+) KiB", out)
    print("\nThe window: Add Folder of a tree of 100,000 small files")
    if listed and peak:
        pause = float(listed.group(3))
        mib = int(peak.group(1)) / 1024
        print(f"  {listed.group(1)} entries listed in {listed.group(2)} s (bar: 100000 listed:"
              f" {'met' if listed.group(1) == '100000' else 'NOT met'})")
        print(f"  longest pause of the interface thread {pause:.1f} ms (bar < 50 ms: {'met' if pause < 50 else 'NOT met'})")
        print(f"  peak memory {mib:.0f} MiB (bar < 150 MiB: {'met' if mib < 150 else 'NOT met'})")
    else:
        print("  " + out.strip().replace("\n", "\n  "))

    first = os.path.join(workdir, "bigfirst")
    os.makedirs(first, exist_ok=True)
    with open(os.path.join(first, "0big.bin"), "wb") as f:
        f.truncate(40 << 30)
    for i in range(3000):
        path = os.path.join(first, f"s{i:04d}.txt")
        if not os.path.exists(path):
            with open(path, "wb") as f:
                f.write(b"%d\n" % i * 100)
    out = subprocess.run([exe, "--add-folder", "--stop-when-listed=3000", first], stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True, env=env, check=True).stderr
    print("\nThe window: Add Folder of a sparse file of 40 GiB first and 3,000 small files after")
    stopped = re.search(r"Stop at ([\d.]+) s", out)
    left = "Stopped: 1 file(s) not hashed" in out
    if stopped:
        print(f"  the 3,000 small files listed in {stopped.group(1)} s, the big one "
              f"{'still hashed then' if left else 'NOT still hashed'} (bar: listed while it is hashed:"
              f" {'met' if left else 'NOT met'})")
    else:
        print("  " + out.strip().replace("\n", "\n  "))

    sparse = os.path.join(workdir, "sparse")
    os.makedirs(sparse, exist_ok=True)
    for i in range(24):
        with open(os.path.join(sparse, f"s{i:02d}.bin"), "wb") as f:
            f.truncate(3 << 30)
    idle = []
    for _ in range(runs):
        out = subprocess.run([exe, "--add-folder", "--stop-after=3", sparse], stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE, text=True, env=env, check=True).stderr
        found = re.search(r"idle ([\d.]+) ms after Stop", out)
        if found:
            idle.append(float(found.group(1)))
    print("\nThe window: Stop 3 s into 24 sparse files of 3 GiB")
    if idle:
        print(f"  idle after Stop: median {statistics.median(idle):.1f} ms, worst {max(idle):.1f} ms"
              f"  (bar < 1000 ms: {'met' if max(idle) < 1000 else 'NOT met'})")

    big = os.path.join(workdir, "big.bin")
    smalls = [os.path.join(many, name) for name in sorted(os.listdir(many))]
    compare("The window, shown: one file of 1 GiB and 2,000 of 512 KiB, with the progress line and without", {
        "window": [exe, "--quiet", "--show", big] + smalls,
        "window --no-progress": [exe, "--quiet", "--show", "--no-progress", big] + smalls,
    }, runs, bar={"window --no-progress": 1.02}, env=env, env_all=True)


def window_benchmark(build):
    """The window's list at 100,000 entries, with the bars it is held to."""
    exe = os.path.join(build, "bench", "brackwell_bench_window")
    if not os.path.exists(exe):
        print("\n(no bench/brackwell_bench_window in the build: list figures skipped)")
        return
    print("\nThe window's list at 100,000 entries")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    out = subprocess.run([exe], capture_output=True, text=True, env=env, check=True).stdout
    for line in out.splitlines():
        verdict = ""
        insertion = re.search(r"one insertion at \d+ rows: median ([\d.]+) us", line)
        deletion = re.search(r"Delete of \d+ rows: ([\d.]+) ms", line)
        slices = re.search(r"the longest slice ([\d.]+) ms", line)
        if slices:
            verdict = f"  (bar < 50 ms: {'met' if float(slices.group(1)) < 50 else 'NOT met'})"
        if insertion:
            verdict = f"  (bar < 1000 us: {'met' if float(insertion.group(1)) < 1000 else 'NOT met'})"
        elif deletion:
            verdict = f"  (bar < 250 ms: {'met' if float(deletion.group(1)) < 250 else 'NOT met'})"
        print("  " + line + verdict)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=7, help="alternating rounds per comparison")
    parser.add_argument("--dir", default=None, help="folder for the test files (default: a temporary one)")
    parser.add_argument("--build", default=os.path.join(ROOT, "build"), help="release build folder")
    parser.add_argument("--skip-sparse", action="store_true", help="skip the 32 sparse files comparison")
    parser.add_argument("--window-only", action="store_true",
                        help="only the window's figures: its runs from paths to listed entries, and its list")
    parser.add_argument("--lanes-only", action="store_true",
                        help="only the runs of the lane engines, with the best engine and with AVX2")
    parser.add_argument("--jobs-only", action="store_true", help="only the job counts against -j 1")
    args = parser.parse_args()

    cli = os.path.join(args.build, "cli", "brackwell-cli")
    if not os.path.exists(cli):
        sys.exit(f"{cli} not found: build first (cmake -B build -DCMAKE_BUILD_TYPE=Release && ninja -C build)")
    workdir = args.dir or tempfile.mkdtemp(prefix="brackwell-bench-")
    os.makedirs(workdir, exist_ok=True)
    print(f"machine: {os.cpu_count()} cores; files in {workdir}")

    if args.window_only:
        window_add(args.build, cli, workdir, args.runs)
        window_big_jobs(args.build, cli, workdir, args.runs)
        window_benchmark(args.build)
        return

    if args.jobs_only:
        jobs(cli, workdir, args.runs)
        return

    big = os.path.join(workdir, "big.bin")
    make_file(big, 1 << 30)
    warm([big])
    for _ in range(2):
        run(["md5sum", big])

    lanes(cli, workdir, args.runs, None)
    lanes(cli, workdir, args.runs, "avx2")
    if args.lanes_only:
        return

    compare("One file of 1 GiB, both hashes, against md5sum", {
        "brackwell-cli (ed2k + md5)": [cli, "--format=hashes", big],
        "md5sum": ["md5sum", big],
    }, args.runs, bar={"md5sum": 1.05})

    compare("One file of 1 GiB, MD5 alone", {
        "brackwell-cli --no-ed2k": [cli, "--no-ed2k", "--format=hashes", big],
        "md5sum": ["md5sum", big],
    }, args.runs, bar={"md5sum": 1.0})

    compare("One file of 1 GiB, with the AICH root", {
        "brackwell-cli --aich": [cli, "--aich", "--format=hashes", big],
        "brackwell-cli (ed2k + md5)": [cli, "--format=hashes", big],
        "rhash --ed2k --md5 --aich": ["rhash", "--ed2k", "--md5", "--aich", big],
    }, args.runs, bar={"brackwell-cli (ed2k + md5)": 1.1, "rhash --ed2k --md5 --aich": 0.5})

    if not args.skip_sparse:
        sparse_many(cli, workdir, args.runs)
    jobs(cli, workdir, args.runs)

    sparse = os.path.join(workdir, "sparse5g.bin")
    with open(sparse, "wb") as f:
        f.truncate(5 << 30)
    seconds, peak = peak_rss([cli, "--format=hashes", sparse])
    print(f"\nMemory: 5 GiB sparse file hashed in {seconds:.2f} s, peak resident {peak / 1024:.1f} MiB"
          f" (bar < 32 MiB: {'met' if peak < 32 * 1024 else 'NOT met'})")
    os.remove(sparse)

    google_benchmark(args.build)
    window_add(args.build, cli, workdir, args.runs)
    window_big_jobs(args.build, cli, workdir, args.runs)
    window_benchmark(args.build)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Hashes a file while another process rewrites it in place, and counts the
runs that printed a hash with exit status 0 anyway.

A writer rewrites a 200 KB file in place (64 KiB writes, never truncating),
two contents in turn, as fast as it can; meanwhile brackwell-cli hashes the
file again and again. Every run overlaps the writes, so none should print a
hash: each should end with exit status 1 and say that the file changed while
it was read. A hash that is printed is sorted by its MD5: of the first content,
of the second, or of neither (a torn read).

    python3 scripts/rewrite_race.py [--cli build/cli/brackwell-cli] [--runs 200] [--reopen] [--as-user nobody]

With --as-user (as root), brackwell-cli runs as that user, who does not own
the file: the system then cannot tell whether another program holds it open
for writing.
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SIZE = 200 * 1000
PIECE = 64 * 1024


def writer(path, contents, reopen):
    """Rewrites path in place, content after content, until killed; with
    reopen, opens the file for each content and closes it after."""
    fd = os.open(path, os.O_WRONLY)
    turn = 0
    while True:
        data = contents[turn % 2]
        if reopen:
            fd = os.open(path, os.O_WRONLY)
        for at in range(0, len(data), PIECE):
            os.pwrite(fd, data[at:at + PIECE], at)
        if reopen:
            os.close(fd)
        turn += 1


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", default=os.path.join(ROOT, "build", "cli", "brackwell-cli"))
    parser.add_argument("--runs", type=int, default=200)
    parser.add_argument("--dir", help="where the file is made (default: a temporary folder)")
    parser.add_argument("--reopen", action="store_true",
                        help="the writer opens the file for each content and closes it after")
    parser.add_argument("--as-user", help="run brackwell-cli as this user (a copy of it, in the file's folder)")
    args = parser.parse_args()

    contents = [os.urandom(SIZE), os.urandom(SIZE)]
    md5s = [hashlib.md5(c).hexdigest() for c in contents]
    with tempfile.TemporaryDirectory(dir=args.dir) as folder:
        os.chmod(folder, 0o755)  # readable by a brackwell-cli run as another user
        path = os.path.join(folder, "rewritten.bin")
        with open(path, "wb") as f:
            f.write(contents[0])
        command = [args.cli]
        if args.as_user:
            command = ["runuser", "-u", args.as_user, "--", shutil.copy(args.cli, os.path.join(folder, "cli"))]
        pid = os.fork()
        if pid == 0:
            try:
                writer(path, contents, args.reopen)
            finally:
                os._exit(0)
        try:
            time.sleep(0.1)
            counts = {"first": 0, "second": 0, "neither": 0, "failed": 0}
            reasons = {}
            for _ in range(args.runs):
                run = subprocess.run(command + ["--format=hashes", path], capture_output=True, text=True)
                if run.returncode != 0:
                    counts["failed"] += 1
                    reason = run.stderr.strip().splitlines()[-1] if run.stderr.strip() else run.stdout.strip()
                    reasons[reason] = reasons.get(reason, 0) + 1
                    continue
                md5 = run.stdout.split("\t")[1]
                counts["first" if md5 == md5s[0] else "second" if md5 == md5s[1] else "neither"] += 1
        finally:
            os.kill(pid, 9)
            os.waitpid(pid, 0)
    published = counts["first"] + counts["second"] + counts["neither"]
    print(f"{published} of {args.runs} runs printed a hash with exit 0 "
          f"(first content {counts['first']}, second {counts['second']}, neither {counts['neither']}); "
          f"{counts['failed']} failed")
    for reason, n in sorted(reasons.items(), key=lambda r: -r[1]):
        print(f"  {n:4d}  {reason}")
    return 1 if published else 0


if __name__ == "__main__":
    sys.exit(main())

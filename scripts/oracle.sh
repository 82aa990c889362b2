#!/usr/bin/env bash
# The outside oracle: every value brackwell-cli prints (ed2k, MD5, AICH, part
# hashes, size, name, every link) compared with rhash's on a generated corpus
# (the sizes where chunks, AICH blocks and digest blocks end, a few hundred
# random files, two sparse files over 4 GiB), on every hashing path: many files
# and one, eDonkey2000 alone, the same file twice, every lane engine the CPU
# has, -j 1, 2 and 8, -r, --export and --check; magnet links against rhash
# --magnet, and --check of them; --verify-data of descriptors built from corpus
# files (chosen chunks spoiled, missing or cut short) against rhash's digest of
# each chunk; and the window's list, headless,
# over the corpus at once, the corpus folder through Add Folder, and each edge
# size twice. Prints every difference and
# exits 1 on any, 2 when it cannot run. The corpus (about 600 MB, the sparse
# files taking almost nothing) lives in a temporary folder under $TMPDIR.
#
#   bash scripts/oracle.sh [--cli PATH] [--window PATH] [--seed N] [--keep] [--no-big]
#
# --cli defaults to build/cli/brackwell-cli of this tree, --window to
# build/bench/brackwell_window_add (left out, with a note, when not built).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
exec python3 "$root/scripts/oracle.py" "$@"

#!/usr/bin/env bash
# Builds the libFuzzer targets of the .part.met reader and of the share-list
# link reader with clang under ASan + UBSan and runs each on a fresh corpus (the
# descriptor reader's grown from its seeds), for a bounded time and memory. Exits non-zero on any finding (crash, sanitizer report, leak,
# timeout, memory limit, broken invariant).
#
#   FUZZ_SECONDS  run time of each target in seconds (default 60)
#   BUILD_DIR     build folder (default build-fuzz at the top of the tree)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DBRACKWELL_BUILD_FUZZ=ON \
  -DBRACKWELL_SANITIZE=address,undefined \
  -DBRACKWELL_BUILD_BENCH=OFF >/dev/null
ninja -C "$build" partmet_fuzz partmet_write_seeds linkreader_fuzz

work=$build/fuzz-run
rm -rf "$work"
mkdir -p "$work/seeds" "$work/artifacts"
"$build/tests/fuzz/partmet_write_seeds" "$work/seeds"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:quarantine_size_mb=64}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
for target in partmet_fuzz linkreader_fuzz; do
  mkdir -p "$work/corpus-$target"
  inputs=("$work/corpus-$target")
  [ "$target" = partmet_fuzz ] && inputs+=("$work/seeds")
  "$build/tests/fuzz/$target" \
    -max_total_time="$seconds" -rss_limit_mb=512 -malloc_limit_mb=256 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$work/artifacts/$target-" \
    "${inputs[@]}" || status=$?
done

if [ "$status" -ne 0 ] || [ -n "$(ls -A "$work/artifacts")" ]; then
  echo "fuzz: finding(s) in $work/artifacts (exit status $status)" >&2
  exit 1
fi
echo "fuzz: no findings in ${seconds} s per target"

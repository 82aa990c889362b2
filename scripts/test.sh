#!/usr/bin/env bash
# Builds and runs every test: the release build, the outside oracle (every
# value brackwell-cli prints, and every hash the window lists, compared with
# rhash's, scripts/oracle.sh), a file rewritten while it is hashed
# (scripts/rewrite_race.py), the whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer with
# bounds-checked standard containers, again under ThreadSanitizer
# (all but the window tests: Debian's Qt is not built for it), the core and
# CLI suites cross-built for Windows and run under wine64, a bounded run of the
# fuzzers, then builds the Debian package, installs it, checks it and removes
# it again. Window tests run headless. Where scripts/windows-qt.sh has built
# Qt for Windows, the window for Windows too: its test suites under wine64,
# and a run of it and of its installer as a person would use them
# (scripts/windows-check.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

jobs=$(nproc)
failed=()
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# Runs a stage in this shell (stages share variables), its output kept in a
# log too, so that the lines that tell why a stage failed can be printed
# again at the very end, where a CI summary shows them.
step() {
  local name=$1 log status=0; shift
  log=$logs/${name//[^A-Za-z0-9]/_}.log
  echo "=== $name"
  "$@" > >(tee "$log") 2>&1 || status=$?
  wait $! # tee, to the end of the stage's output
  if [ $status -eq 0 ]; then echo "=== $name: ok"; else echo "=== $name: FAILED"; failed+=("$name"); fi
}

# Why each failed stage failed: the lines that say so, and where it ended.
failures() {
  local name log
  for name in "${failed[@]}"; do
    log=$logs/${name//[^A-Za-z0-9]/_}.log
    echo "--- $name, its last lines:"
    tail -n 8 "$log"
    echo "--- $name, the lines that failed:"
    grep -E 'FAILED|Failed|FAIL!|error:|Error|not ok|Timeout|Assertion|ERROR' "$log" | grep -v '^=== ' | tail -n 12
  done
}

build() { # dir, extra cmake arguments...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null && cmake --build "$dir" -j "$jobs"
}

release_built=0
release() {
  build build -DCMAKE_BUILD_TYPE=Release && release_built=1 &&
  ctest --test-dir build -j "$jobs" --output-on-failure
}

# Every value the release brackwell-cli prints, and the window's list, against
# rhash, on every path.
outside_oracle() {
  if [ "$release_built" != 1 ]; then
    echo "no release build to check"
    return 1
  fi
  local started=$SECONDS status=0
  bash scripts/oracle.sh || status=$?
  echo "oracle stage: $((SECONDS - started)) s"
  return $status
}

# A file rewritten in place while it is hashed, again and again: no run may
# print a hash. Also as a user who does not own the file, for whom the
# system cannot tell whether another program holds it open for writing.
rewrite_race() {
  if [ "$release_built" != 1 ]; then
    echo "no release build to check"
    return 1
  fi
  local status=0 mode
  for mode in "" --reopen; do
    python3 scripts/rewrite_race.py --runs 100 $mode || status=1
    if [ "$(id -u)" = 0 ] && id nobody >/dev/null 2>&1; then
      python3 scripts/rewrite_race.py --runs 100 $mode --as-user nobody || status=1
    fi
  done
  return $status
}

sanitized() {
  build build-asan -DCMAKE_BUILD_TYPE=Debug -DBRACKWELL_SANITIZE=address,undefined -DBRACKWELL_BUILD_BENCH=OFF &&
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan -j "$jobs" --output-on-failure
}

threads() {
  build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRACKWELL_SANITIZE=thread -DBRACKWELL_BUILD_BENCH=OFF -DBRACKWELL_BUILD_UI=OFF &&
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan -j "$jobs" --output-on-failure --label-exclude ui
}

# The core, brackwell-cli and their suites for Windows (MinGW-w64, no Qt),
# run under wine64 in a prefix of the build's own.
windows() {
  build build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release &&
  # wine itself now and then fails a run that passes on the next: a test
  # counts as failed only when it fails twice.
  ctest --test-dir build-win -j "$jobs" --output-on-failure --timeout 600 --repeat until-pass:2
}

# The window for Windows against the Qt that scripts/windows-qt.sh keeps in
# its cache: its QtTest suites under wine64 (headless), and a run of the
# program and of its installer under wine64 as a person would use them.
# Without that Qt the stage is skipped (it never builds Qt: 35 minutes to more
# than 2 hours on 2 cores). The work controller's suite is left to the Linux
# stages: nothing in it is Windows' own but the walk of folders, which the
# window's suite covers too, and its 20,000 small files take 4 to 6 minutes
# under wine, whose every file call goes through its server.
windows_window() {
  local qt started=$SECONDS status=0
  qt=$(bash scripts/windows-qt.sh --print-prefix)
  if [ ! -f "$qt/.complete" ]; then
    echo "skipped: no Qt for Windows in $qt; build it once with: bash scripts/windows-qt.sh"
    return 0
  fi
  BUILD=build-winqt TESTS=1 bash scripts/windows.sh || status=$?
  if [ $status -eq 0 ]; then
    local tested=$SECONDS
    # As in the command-line stage: a suite fails only when it fails twice.
    ctest --test-dir build-winqt -L ui -E brackwell_workcontroller_tests --output-on-failure \
      --timeout 600 --repeat until-pass:2 || status=$?
    echo "window suites under wine64: $((SECONDS - tested)) s"
    bash scripts/windows-check.sh build-winqt || status=$?
  fi
  echo "Windows window stage: $((SECONDS - started)) s"
  return $status
}

step "release build and tests" release
step "outside oracle (rhash)" outside_oracle
step "files rewritten while they are hashed" rewrite_race
step "address and undefined-behaviour sanitizers" sanitized
step "thread sanitizer" threads
step "Windows build, tests under wine64" windows
step "the window for Windows under wine64" windows_window
if [ -f scripts/fuzz.sh ]; then
  step "descriptor fuzzing" bash scripts/fuzz.sh
fi

debian_package() {
  local started=$SECONDS status=0
  bash scripts/package.sh && REMOVE=1 bash scripts/checkpackage.sh || status=$?
  echo "Debian package stage: $((SECONDS - started)) s"
  return $status
}
step "Debian package" debian_package

if [ ${#failed[@]} -gt 0 ]; then
  failures
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all test stages passed"

#!/usr/bin/env bash
# Builds the Windows programs and their installer in one command:
#
#   BUILD/app/brackwell.exe         the window (Qt linked in statically)
#   BUILD/cli/brackwell-cli.exe     the command line
#   BUILD/brackwell-VERSION-setup.exe   the installer (NSIS, per user)
#
# BUILD is build-winqt unless BUILD=DIR says otherwise. The Qt for Windows
# comes from scripts/windows-qt.sh's cache, which this runs first when the
# cache is missing (about 35 minutes on 2 cores, once per machine), or from
# BRACKWELL_WINDOWS_QT=PREFIX (any Qt 6 built for MinGW-w64 x86_64 with the
# version of this machine's own Qt tools). TESTS=1 also builds the window's
# test programs (scripts/test.sh runs them under wine64).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
started=$SECONDS
bash scripts/setup.sh

qt=${BRACKWELL_WINDOWS_QT:-}
if [ -z "$qt" ]; then
  qt=$(bash scripts/windows-qt.sh --print-prefix)
  [ -f "$qt/.complete" ] || bash scripts/windows-qt.sh
fi
[ -d "$qt/lib/cmake/Qt6" ] || { echo "windows: no Qt 6 in $qt" >&2; exit 1; }

build=${BUILD:-build-winqt}
tests=OFF
targets=(brackwell brackwell-cli brackwell_installer)
if [ "${TESTS:-0}" = 1 ]; then
  tests=ON
  targets+=(brackwell_windows_window_tests)
fi
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
built=$SECONDS
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DBRACKWELL_WINDOWS_QT="$qt" -DBRACKWELL_BUILD_TESTS=$tests "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

echo "windows: built in $((SECONDS - built)) s ($((SECONDS - started)) s in all):"
ls -1 "$build"/app/brackwell.exe "$build"/cli/brackwell-cli.exe "$build"/brackwell-*-setup.exe

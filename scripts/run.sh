#!/usr/bin/env bash
# Builds Brackwell and starts it on the files given.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" --target brackwell-cli
if [ $# -eq 0 ]; then
  exec "$root/build/cli/brackwell-cli" --help
fi
exec "$root/build/cli/brackwell-cli" "$@"

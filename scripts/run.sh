#!/usr/bin/env bash
# Builds Brackwell and opens its window, hashing FILE at once when one is given.
# The window needs a desktop session (X11 or Wayland); without one, use the
# command-line front end: build/cli/brackwell-cli FILE...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" --target brackwell brackwell-cli
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no desktop session (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
  echo "run: hash from the command line instead: $root/build/cli/brackwell-cli FILE..." >&2
  exit 1
fi
exec "$root/build/app/brackwell" "$@"

#!/usr/bin/env bash
# Installs what is needed, builds, and starts the application on the images
# given; without any, an empty Batchline gets the sample photographs of
# samples/. Without a display it says so and points to tavelin-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build >/dev/null
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are not set), so the window cannot open." >&2
  echo "Use the command-line tool instead: $(pwd)/build/tavelin-cli --help" >&2
  exit 2
fi
if [ $# -eq 0 ]; then
  exec ./build/tavelin --samples "$(pwd)/samples"
fi
exec ./build/tavelin "$@"

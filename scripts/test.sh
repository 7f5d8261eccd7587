#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test; the last
# lines are ctest's summary. Usage: scripts/test.sh [ctest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
cd build
ctest -j"$(nproc)" --output-on-failure "$@"

#!/usr/bin/env bash
# Builds the whole release preset (what scripts/build.sh builds, and the
# tests, benchmarks and fuzz replay programs it leaves out) and runs every
# test, as many at once as there are cores.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release
cmake --build --preset release
ctest --preset release -j "$(nproc)"

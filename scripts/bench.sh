#!/usr/bin/env bash
# Builds the release preset's read_bench (with the plug-in and the generator
# it needs) and times the plug-in on a generated 1 GiB file, made once into
# build/release/bench-data/. Options pass on: --size 256M, --repeat 5,
# --data DIR, --plugin PATH.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release
cmake --build --preset release --target read_bench
build/release/bin/read_bench "$@"

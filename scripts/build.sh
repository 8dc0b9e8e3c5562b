#!/usr/bin/env bash
# Sets up a fresh machine, builds the release preset.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release
cmake --build --preset release

#!/usr/bin/env bash
# Sets up a fresh machine, builds the release preset and lists the scans of
# the bundled example with the command-line host.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release
cmake --build --preset release
echo "== orvo-host scans examples/sample.mzXML"
build/release/bin/orvo-host --format table scans examples/sample.mzXML

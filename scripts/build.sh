#!/usr/bin/env bash
# Sets up a fresh machine, builds the product of the release preset (the
# plug-in, the platform library, orvo-host, orvo-mkmzxml and the orvo Python
# module, without the tests, benchmarks and fuzz helpers, which
# scripts/test.sh builds) and lists the scans of the bundled example with
# the command-line host; the orvo Python module is made importable by
# python3.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release
cmake --build --preset release --target product
bash scripts/python-path.sh build/release
echo "== orvo-host scans examples/sample.mzXML"
build/release/bin/orvo-host --format table scans examples/sample.mzXML

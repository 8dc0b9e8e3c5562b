#!/usr/bin/env bash
# Makes the orvo package of a build importable by the python3 on PATH: an
# orvo.pth file in that interpreter's site-packages names the build's python
# folder. An installed orvo needs none. A python3 without a numpy of its own (a pyenv build, say) of the
# same version as Debian's interpreter gets Debian's numpy through a folder
# that holds only a link to it.
#   scripts/python-path.sh [BUILD_DIR]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
if ! ls "$build"/python/orvo/_orvo.*.so >/dev/null 2>&1; then
  echo "python: no orvo module in $build/python (needs python3-dev, pybind11-dev, python3-numpy)"
  exit 0
fi
module_dir=$(cd "$build/python" && pwd)
py=$(command -v python3)
built_for=$(sed -n 's/^ORVO_PYTHON_EXECUTABLE:FILEPATH=//p' "$build/CMakeCache.txt")
version() { "$1" -c 'import sys; print("%d.%d" % sys.version_info[:2])'; }
if [ "$(version "$py")" != "$(version "$built_for")" ]; then
  echo "python: the module is for Python $(version "$built_for") ($built_for), python3 is $(version "$py");"
  echo "python: run it with PYTHONPATH=$module_dir $built_for"
  exit 0
fi
lines=("$module_dir")
if ! "$py" -c 'import numpy' 2>/dev/null; then
  numpy_dir=$("$built_for" -c 'import numpy, os; print(os.path.dirname(numpy.__file__))')
  mkdir -p "$build/python-deps"
  ln -sfn "$numpy_dir" "$build/python-deps/numpy"
  lines+=("$(cd "$build/python-deps" && pwd)")
fi
site=$("$py" - <<'PY'
import os, site
dirs = [d for d in site.getsitepackages() if os.access(d, os.W_OK)]
print(dirs[0] if dirs else site.getusersitepackages())
PY
)
mkdir -p "$site"
printf '%s\n' "${lines[@]}" >"$site/orvo.pth"
echo "python: orvo is importable by $py (through $site/orvo.pth)"

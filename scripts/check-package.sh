#!/usr/bin/env bash
# Installs the Debian package into this machine (dpkg -i), uses it from the
# installed files alone, in an empty folder with a bare environment, then
# removes it: orvo-host on the example, the orvo package with Debian's
# python3, the man page and completion, pkg-config, and examples/engine-host
# built against the installed CMake package and run on the example.
#   scripts/check-package.sh [DEB]   (default build/release/packages/orvo_*.deb)
set -euo pipefail
cd "$(dirname "$0")/.."

deb=${1:-$(ls build/release/packages/orvo_*.deb 2>/dev/null | head -1)}
if [[ ! -f $deb ]]; then
  echo "check-package: no package (make it with scripts/package.sh deb)" >&2
  exit 1
fi
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
if dpkg-query -W -f='${Status}' orvo 2>/dev/null | grep -q "install ok installed"; then
  echo "check-package: orvo is installed already; remove it first (dpkg -r orvo)" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/orvo-package.XXXXXX")
cleanup() {
  echo "== check-package: dpkg --purge orvo"
  $sudo_cmd dpkg --purge orvo >/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
echo "== check-package: dpkg -i $deb"
$sudo_cmd dpkg -i "$deb"

cp examples/sample.mzXML "$work/"
cp -r examples/engine-host "$work/engine-host"
cd "$work"
# Nothing of the source or build tree on any path.
run() { env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$work" LANG=C.UTF-8 "$@"; }

echo "== check-package: orvo-host"
run which orvo-host
run orvo-host --version
run orvo-host check sample.mzXML

echo "== check-package: import orvo (Debian's python3, no PYTHONPATH)"
run /usr/bin/python3 - <<'PY'
import subprocess
import orvo
assert orvo.__file__.startswith("/usr/lib/python3/dist-packages/orvo/"), orvo.__file__
# One version number: the package's, the host's and the module's.
host = subprocess.run(["orvo-host", "--version"], capture_output=True, text=True).stdout.split()
assert host[-1] == orvo.__version__, (host, orvo.__version__)
with orvo.open("sample.mzXML") as run:
    print(f"orvo {orvo.__version__} from {orvo.__file__}:", run.info["scan_count"],
          "scans in sample.mzXML")
PY

echo "== check-package: man orvo-host, bash completion, pkg-config"
run man -w orvo-host
run env MANPAGER=cat MANWIDTH=80 man orvo-host | head -n 12
run bash -c 'source /usr/share/bash-completion/completions/orvo-host && complete -p orvo-host'
echo "orvo-pal $(run pkg-config --modversion orvo-pal), plug-in $(run pkg-config --variable=plugin orvo-pal)"

echo "== check-package: examples/engine-host against the installed CMake package"
run cmake -S engine-host -B engine-host-build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
run cmake --build engine-host-build
run engine-host-build/engine-host sample.mzXML

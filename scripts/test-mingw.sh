#!/usr/bin/env bash
# Builds the Windows DLLs, host and tests with mingw-w64 (the mingw preset)
# and runs every test under Wine, or those that ctest options given to it
# select (-R orvo_host_e2e). Installs the cross compiler and Wine first when
# they are missing (Debian packages, no recommends).
#
# Wine is made ready once, in a prefix in a temporary folder: a persistent
# wineserver, started with its standard streams on /dev/null so that no
# service process holds ctest's output pipe open, then stopped at the end.
#
# A test that fails under Wine is run once more before it counts as failed:
# the emulator very rarely fails a run that passes on every other try (one
# host run in several thousand, never reproduced). Its first output stays in
# the log, and a fault of ours fails both runs.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++-mingw-w64-x86-64-posix wine64 wine googletest libz-mingw-w64-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "test-mingw: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
fi

# Debian's wine64 package keeps its programs outside the PATH.
find_wine_program() { # name fallback
  command -v "$1" 2>/dev/null || { [ -x "$2" ] && echo "$2"; } || return 1
}
ORVO_WINE=$(find_wine_program wine64 /usr/lib/wine/wine64)
wineserver=$(find_wine_program wineserver /usr/lib/wine/wineserver64)
export ORVO_WINE

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/orvo-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all
stop_wine() {
  "$wineserver" -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap stop_wine EXIT
"$wineserver" -p </dev/null >/dev/null 2>&1
"$ORVO_WINE" wineboot -i </dev/null >/dev/null 2>&1

cmake --preset mingw
cmake --build --preset mingw
ctest --preset mingw -j2 --output-on-failure --repeat until-pass:2 "$@" </dev/null

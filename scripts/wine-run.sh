#!/usr/bin/env bash
# Runs a Windows program of the mingw build under Wine: the emulator of the
# cross build, for ctest and for programs the build runs. The compiler's
# runtime DLLs are found through WINEPATH (set here, as a ";" inside the
# emulator setting would split it into arguments).
set -euo pipefail
if [[ -z "${ORVO_WINE:-}" ]]; then
  # Debian's wine64 package puts its loader outside the PATH.
  for candidate in wine64 /usr/lib/wine/wine64 wine; do
    if command -v "$candidate" >/dev/null 2>&1; then
      ORVO_WINE=$(command -v "$candidate")
      break
    fi
  done
fi
if [[ -z "${ORVO_WINE:-}" ]]; then
  echo "wine-run.sh: no wine64 found (apt-get install wine64 wine)" >&2
  exit 127
fi
if [[ -z "${ORVO_WINE_RUNTIME:-}" ]]; then
  dirs=()
  for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    file=$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")
    dir=$(cd "$(dirname "$file")" && pwd -P)
    dirs+=("Z:${dir//\//\\}")
  done
  ORVO_WINE_RUNTIME=$(printf '%s\n' "${dirs[@]}" | sort -u | paste -sd';')
fi
export WINEPATH="${ORVO_WINE_RUNTIME}${WINEPATH:+;$WINEPATH}"
export WINEDEBUG="${WINEDEBUG:--all}"
exec "$ORVO_WINE" "$@"

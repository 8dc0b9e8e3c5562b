#!/usr/bin/env bash
# Makes the packages with CPack: the Debian package of the release build
# (build/release/packages/orvo_<version>_<arch>.deb) and the ZIP of the
# Windows build (build/mingw/packages/orvo-<version>-windows-x86_64.zip).
#   scripts/package.sh [deb] [zip]   (default both)
set -euo pipefail
cd "$(dirname "$0")/.."

kinds=("$@")
((${#kinds[@]})) || kinds=(deb zip)

install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "package: installing ${missing[*]}"
    local sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends \
      "${missing[@]}"
  fi
}

for kind in "${kinds[@]}"; do
  case $kind in
  deb)
    bash scripts/setup.sh
    # dpkg-shlibdeps names the packages of the libraries the files link.
    install_missing dpkg-dev
    cmake --preset release
    cmake --build --preset release
    (cd build/release && cpack -G DEB)
    echo "package: $(ls build/release/packages/*.deb)"
    ;;
  zip)
    # The catalogs' message files are written by a tool of the build, run under Wine.
    install_missing g++-mingw-w64-x86-64-posix wine64 wine
    cmake --preset mingw
    cmake --build --preset mingw
    (cd build/mingw && cpack -G ZIP)
    echo "package: $(ls build/mingw/packages/*.zip)"
    ;;
  *)
    echo "package: no such package kind '$kind' (deb, zip)" >&2
    exit 2
    ;;
  esac
done

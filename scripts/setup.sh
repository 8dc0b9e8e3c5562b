#!/usr/bin/env bash
# Installs the Debian packages and locales the build and the tests need, only
# those that are missing, so a prepared machine is not slowed down.
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev locales tzdata
  pkg-config libcli11-dev libfmt-dev nlohmann-json3-dev nettle-dev zlib1g-dev libdeflate-dev
  python3 libxml2-utils util-linux clang-14 libclang-rt-14-dev
  python3-dev pybind11-dev python3-numpy python3-pytest
  python3-pandas python3-dask python3-distributed
  libexpat1-dev libmsnumpress-dev openms-common)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
else
  echo "setup: all packages present"
fi

# Locales the tests use: a Latin-1 code page (characters it cannot map) and a
# German one (a decimal comma). Tests skip with a message where they are absent.
want_locale() { # name input charmap
  local norm
  norm=$(echo "$1" | tr 'A-Z' 'a-z' | tr -d '-')
  if ! locale -a 2>/dev/null | tr 'A-Z' 'a-z' | tr -d '-' | grep -qx "$norm"; then
    echo "setup: generating locale $1"
    if [ "$(id -u)" -eq 0 ]; then
      localedef -i "$2" -f "$3" "$1" || echo "setup: could not generate $1 (tests that need it skip)"
    else
      echo "setup: not root, locale $1 not generated (tests that need it skip)"
    fi
  fi
}
want_locale en_US.ISO-8859-1 en_US ISO-8859-1
want_locale de_DE.UTF-8 de_DE UTF-8
want_locale en_US.UTF-8 en_US UTF-8

#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the
# window need and the machine lacks. Safe to run again: it installs nothing
# when everything is there. `install-deps.sh fuzz` also installs clang and its
# fuzzing runtime, which only scripts/fuzz.sh needs.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libsqlite3-dev sqlite3
  postgresql-15 postgresql-client-15 libpq-dev
  qt6-base-dev libgl-dev fonts-dejavu-core fonts-liberation
  libcli11-dev nlohmann-json3-dev libfmt-dev
  libgtest-dev
  clang-format ccache
  mdbtools
)
if [[ ${1:-} == fuzz ]]; then
  packages+=(clang-14 libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

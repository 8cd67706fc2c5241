#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the console need; installs only what
# is missing, so a second run costs nothing.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-qpa-plugins fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libfuzzer-14-dev libclang-rt-14-dev clang-format
  xvfb xauth
  dpkg-dev file lintian desktop-file-utils man-db
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq "${missing[@]}"
fi

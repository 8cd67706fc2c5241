#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the console need; installs only what
# is missing, so a second run costs nothing.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libfuzzer-14-dev libclang-rt-14-dev clang-format
  xvfb xauth
  dpkg-dev file lintian desktop-file-utils man-db
)
# The console on Windows: the cross compiler, Ninja and Qt's host tools to build Qt from Debian's
# source, GoogleTest's sources to build for it, NSIS for the installer, and wine with fonts that
# have Cyrillic; the real console is looked at in a virtual screen (xdotool, ImageMagick,
# Tesseract). All without their recommendations (sound and graphics libraries a headless run
# does not need).
lean_packages=(
  g++-mingw-w64-x86-64-posix ninja-build qt6-base-dev-tools googletest nsis
  wine wine64 fonts-wine fonts-liberation xdotool imagemagick tesseract-ocr
)

missing_of() {
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      echo "$p"
    fi
  done
}
mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t missing_lean < <(missing_of "${lean_packages[@]}")

if [ $((${#missing[@]} + ${#missing_lean[@]})) -gt 0 ]; then
  echo "Installing: ${missing[*]} ${missing_lean[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  if [ ${#missing[@]} -gt 0 ]; then
    $sudo apt-get install -y -qq "${missing[@]}"
  fi
  if [ ${#missing_lean[@]} -gt 0 ]; then
    $sudo apt-get install -y -qq --no-install-recommends "${missing_lean[@]}"
  fi
fi

#!/usr/bin/env bash
# Qt for 64-bit Windows, built from Debian's own qt6-base source (the version the Linux build
# uses) with the mingw-w64 posix-thread cross compilers and the host's Qt tools. Only what the
# console needs: Core, Gui, Widgets, the windows platform plugin and the minimal one (the batch
# mode and the tests under wine draw there), as DLLs a user may replace. Installed into a cache folder keyed
# by the source version and this script's configure line, so a second run costs nothing.
#
# Prints the install prefix on its last line. scripts/build-windows.sh calls it.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${TR_JOBS:-2}
home=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
cache=${TR_QT_CACHE:-${XDG_CACHE_HOME:-$home/.cache}/tr7042k}

say() { echo "$@" >&2; }

need=()
for p in dpkg-dev ninja-build g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  say "Installing: ${need[*]}"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >&2
fi

# The source version is the installed Linux Qt's: the Windows DLLs are the same Qt.
source_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
upstream=${source_version%%+*}
upstream=${upstream%%-*}

# What Qt is configured with. Everything the console does not use is left out; Debian's source
# lacks some bundled third-party parts (FreeType, the tablet library, SQLite, ...), so those
# features are switched off rather than fetched. Without FreeType, DirectWrite 3 must go too
# (its font database needs FreeType's); text is drawn through GDI and DirectWrite 2.
configure_args=(
  -release -shared -xplatform win32-g++ -qt-host-path /usr
  -nomake examples -nomake tests -no-pch
  -no-opengl -no-dbus -no-icu -no-vulkan -no-zstd
  -no-freetype -no-feature-directwrite3 -qt-harfbuzz -no-fontconfig
  -qt-zlib -qt-pcre -qt-libpng -no-libjpeg -no-feature-gif -no-feature-ico
  -no-feature-sql -no-feature-network -no-feature-printsupport
  -no-feature-testlib -no-feature-concurrent -no-feature-xml
  -no-feature-tabletevent -no-feature-sessionmanager
)
# The cross compilers, recorded in the prefix beside Qt: the toolchain file Qt installs loads it,
# so the cached Qt does not depend on the checkout that built it.
toolchain='set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)'
# Debian keeps the host Qt's CMake packages under the multiarch folder, not under /usr/lib/cmake.
host_cmake=$(dirname "$(dirname "$(dpkg -L qt6-base-dev | grep -m1 '/Qt6HostInfo/')")")
compiler=$(x86_64-w64-mingw32-g++-posix --version | head -n 1)
key=$(printf '%s\n' "$source_version" "$compiler" "$toolchain" "${configure_args[@]}" | sha256sum | cut -c1-12)
prefix=$cache/qt-$upstream-mingw-$key

# One build at a time: a second run waits for the first and then finds its result.
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9

if [ -f "$prefix/.complete" ]; then
  say "-- Qt $upstream for Windows: cached in $prefix"
  echo "$prefix"
  exit 0
fi

started=$(date +%s)
work=$cache/qt-$upstream-mingw-$key.build
rm -rf "$work" "$prefix"
mkdir -p "$work/source" "$prefix"

# Debian's source package, through apt. A deb-src entry for the suite the installed Qt came from
# is added when apt has none.
if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -q '^Sources$'; then
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  say "-- adding a deb-src entry for $suite"
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s %s-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$suite" "$suite" | $sudo tee /etc/apt/sources.list.d/tr7042k-deb-src.sources >/dev/null
  $sudo apt-get update -qq >&2
fi
(cd "$work" && apt-get source --download-only "qt6-base=$source_version" >&2)
orig=$(ls "$work"/qt6-base_*.orig.tar.* | head -n 1)
tar -xf "$orig" -C "$work/source" --strip-components=1
printf '%s\n' "$toolchain" >"$prefix/mingw-w64-posix.cmake"

say "-- configuring Qt $upstream for Windows"
mkdir -p "$work/build"
(cd "$work/build" && "$work/source/configure" -prefix "$prefix" "${configure_args[@]}" \
  -- -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64-posix.cmake" -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" >"$work/configure.log" 2>&1) || {
  tail -n 40 "$work/configure.log" >&2
  say "Qt's configure failed; the whole log: $work/configure.log"
  exit 1
}
say "-- building Qt (Core, Gui, Widgets, platform plugins) on $jobs cores"
cmake --build "$work/build" --parallel "$jobs" >"$work/build.log" 2>&1 || {
  tail -n 40 "$work/build.log" >&2
  say "Qt's build failed; the whole log: $work/build.log"
  exit 1
}
cmake --install "$work/build" >"$work/install.log" 2>&1
cp "$work/source/LICENSES/LGPL-3.0-only.txt" "$prefix/LGPL-3.0.txt" 2>/dev/null ||
  cp "$work/source/LICENSE.LGPL3" "$prefix/LGPL-3.0.txt"
cp "$work/source/LICENSES/GPL-3.0-only.txt" "$prefix/GPL-3.0.txt" 2>/dev/null ||
  cp "$work/source/LICENSE.GPL3" "$prefix/GPL-3.0.txt" 2>/dev/null || true
{
  echo "qt6-base $source_version"
  echo "configure ${configure_args[*]}"
} >"$prefix/build-info.txt"
rm -rf "$work"
touch "$prefix/.complete"
say "-- Qt $upstream for Windows built in $(($(date +%s) - started)) s"
echo "$prefix"

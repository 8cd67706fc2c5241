#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh built: lintian finds no error, it holds
# exactly the expected files with safe modes and owners, built again it gives the same bytes,
# its dependencies were computed from the binaries, its desktop
# entry is valid, and each program, unpacked with dpkg -x into a scratch root, answers --help
# and --version from there.
set -euo pipefail
cd "$(dirname "$0")/.."
# The time stamp scripts/package.sh gave the package, for building it again.
SOURCE_DATE_EPOCH=$(cat build/package/source-date-epoch)
export SOURCE_DATE_EPOCH

deb=$(ls build/package/tr7042k_*.deb)
version=$(dpkg-deb -f "$deb" Version)
programs=(tr7042k-console tr7042k-sim tr7042k-ports tr7042k-burnin)

echo "-- lintian"
lintian --fail-on error "$deb"

echo "-- contents"
expected=(
  ./usr/bin/tr7042k-burnin ./usr/bin/tr7042k-console ./usr/bin/tr7042k-ports ./usr/bin/tr7042k-sim
  ./usr/share/applications/tr7042k-burnin.desktop ./usr/share/applications/tr7042k-console.desktop
  ./usr/share/doc/tr7042k/changelog.gz ./usr/share/doc/tr7042k/copyright
  ./usr/share/icons/hicolor/scalable/apps/tr7042k-console.svg
  ./usr/share/man/man1/tr7042k-console.1.gz ./usr/share/man/man1/tr7042k-ports.1.gz
  ./usr/share/man/man1/tr7042k-sim.1.gz ./usr/share/man/man1/tr7042k-burnin.1.gz
  ./usr/share/man/ru/man1/tr7042k-burnin.1.gz
  ./usr/share/man/ru/man1/tr7042k-console.1.gz ./usr/share/man/ru/man1/tr7042k-ports.1.gz
  ./usr/share/man/ru/man1/tr7042k-sim.1.gz
)
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
if [ "$actual" != "$(printf '%s\n' "${expected[@]}" | sort)" ]; then
  echo "The package holds other files than expected:" >&2
  diff <(printf '%s\n' "${expected[@]}" | sort) <(echo "$actual") >&2 || true
  exit 1
fi
echo "-- modes and owners"
# Every file belongs to root; programs are rwxr-xr-x, everything else rw-r--r--, folders
# rwxr-xr-x: no setuid, setgid or sticky bit, nothing anyone may write.
wrong=$(dpkg-deb -c "$deb" | awk '
  { mode = $1; owner = $2; name = $6 }
  owner != "root/root" { print name ": owner " owner; next }
  mode ~ /^l/ { next }
  mode ~ /^d/ { if (mode != "drwxr-xr-x") print name ": " mode; next }
  name ~ /^\.\/usr\/bin\// { if (mode != "-rwxr-xr-x") print name ": " mode; next }
  mode != "-rw-r--r--" { print name ": " mode }')
if [ -n "$wrong" ]; then
  echo "Files with wrong modes or owners:" >&2
  echo "$wrong" >&2
  exit 1
fi

echo "-- reproducible"
# The package again from the same build, every file in it given a new time stamp: the same
# bytes, since every time stamp in it is the last commit's.
first=$(sha256sum <"$deb")
cp "$deb" "$deb.first"
find build/package -path build/package/scratch-root -prune -o -type f \
  \( -name 'tr7042k-*' -o -name '*.gz' \) -exec touch {} +
(cd build/package && cpack -G DEB >/dev/null)
if [ "$(sha256sum <"$deb")" != "$first" ]; then
  echo "Two builds of one commit differ:" >&2
  diff <(dpkg-deb -c "$deb.first") <(dpkg-deb -c "$deb") >&2 || true
  cmp "$deb.first" "$deb" >&2 || true
  exit 1
fi
rm -f "$deb.first"

depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6widgets6 qt6-qpa-plugins; do
  case "$depends" in *"$library"*) ;; *) echo "Depends lacks $library: $depends" >&2; exit 1 ;; esac
done

root=build/package/scratch-root
rm -rf "$root"
dpkg -x "$deb" "$root"
for entry in tr7042k-console tr7042k-burnin; do
  desktop-file-validate "$root/usr/share/applications/$entry.desktop"
done
grep -qx 'Exec=tr7042k-burnin --window' "$root/usr/share/applications/tr7042k-burnin.desktop"
for page in "$root"/usr/share/man/man1/*.1.gz "$root"/usr/share/man/ru/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$page: $warnings" >&2; exit 1; }
done

echo "-- the programs, from the unpacked package"
for program in "${programs[@]}"; do
  # No display: --help and --version must not need one.
  help=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$root/usr/bin/$program" --help)
  case "$help" in "Использование: $program"*) ;; *) echo "$program --help: $help" >&2; exit 1 ;; esac
  [ "$("$root/usr/bin/$program" --version)" = "$program $version" ] ||
    { echo "$program --version is not $version" >&2; exit 1; }
  echo "$program: --help and --version answer"
done
echo "-- a burn-in from the unpacked package, without a display, against its simulated printer"
scratch=$(mktemp -d)
XDG_CONFIG_HOME=$scratch/config "$root/usr/bin/tr7042k-sim" --port COM1 --fast >/dev/null 2>&1 &
sim=$!
for _ in $(seq 100); do [ -L "$scratch/config/tr7042k/ports/com1" ] && break; sleep 0.1; done
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u TR7042K_CONSOLE XDG_CONFIG_HOME="$scratch/config" \
  TR7042K_TIMER_WAIT_MS=0 "$root/usr/bin/tr7042k-burnin" --delay 0 --out "$scratch/out" COM1 \
  >"$scratch/burnin.log" 2>&1 || status=$?
kill "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true
if [ "$status" -ne 0 ] || ! grep -q '"verdict": "passed"' "$scratch/out/report.json"; then
  echo "tr7042k-burnin from the package did not pass a healthy printer (exit $status):" >&2
  cat "$scratch/burnin.log" >&2
  rm -rf "$scratch"
  exit 1
fi
rm -rf "$scratch"
echo "tr7042k-burnin: a healthy simulated printer passed"
echo "-- package $deb passed"

#!/usr/bin/env bash
# The printer link on Windows: cross-builds the link, its test and the timing program with
# mingw-w64 and runs them under wine against simulated printers, one per COM port, each on a
# pseudo-terminal that wine's registry maps to the port. scripts/test.sh calls it; it also runs
# on its own (after scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$(date +%s)
jobs=2

echo "== the printer link on Windows (mingw-w64, wine)"

# The simulated printer and the timing program, native.
if [ ! -f build/test/CMakeCache.txt ]; then
  cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build/test -j"$jobs" --target tr7042k-sim bench_port >/dev/null
sim=$root/build/test/sim/tr7042k-sim

# The link's Windows side and its test, cross-built.
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DTR_CONSOLE=OFF >/dev/null
cmake --build build/windows -j"$jobs" --target link_tests_win bench_port >/dev/null
built=$(date +%s)
echo "-- built in $((built - started)) s"

# Wine in a prefix of its own: 64-bit, no display needed (the test's window is message-only),
# no Mono or Gecko add-ons to fetch.
export WINEPREFIX=$root/build/windows/wine WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=wine
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot -i >/dev/null 2>&1
  wineserver -w
fi

booted=$(date +%s)
echo "-- wine ready in $((booted - built)) s"

scratch=$(mktemp -d)
mkdir -p "$scratch/work"
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# One simulated printer per port, as the test expects them; each links its pseudo-terminal as
# comN in a scratch config folder.
start_sim() {
  local port=$1
  shift
  XDG_CONFIG_HOME=$scratch/config "$sim" --port "COM$port" --fast "$@" \
    >"$scratch/sim$port.log" 2>&1 &
  sims+=($!)
}
start_sim 1
start_sim 2 --nak
start_sim 3 --bad-checksum
start_sim 4 --silent
start_sim 5 --hang-up
start_sim 12
ports=(1 2 3 4 5 12)

{
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
  for n in "${ports[@]}"; do
    link=$scratch/config/tr7042k/ports/com$n
    for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.1; done
    [ -L "$link" ] || { echo "the simulated printer on COM$n did not start" >&2; exit 1; }
    printf '"COM%d"="%s"\n' "$n" "$(readlink "$link")"
  done
} >"$scratch/ports.reg"
"$wine" reg import "$scratch/ports.reg" >/dev/null 2>&1
# Wine maps its COM ports when it starts: restart it so the new mapping holds. Started here,
# the server's own messages at its end go nowhere.
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -p >/dev/null 2>&1

(cd "$scratch/work" && timeout 300 "$wine" "$root/build/windows/tests/windows/link_tests_win.exe")

# The device decoded the Windows-1251 text the test sent to its display.
if ! grep -q 'Дисплей: \[Проверка 1251 №1' "$scratch/sim1.log"; then
  echo "the simulated printer on COM1 did not show the test's display text" >&2
  exit 1
fi

# Exchange times: the same program natively and under wine, against the printer on COM1.
echo "-- exchange times (a measurement, not a test; other builds may share the machine)"
(cd "$scratch/work" && XDG_CONFIG_HOME=$scratch/config "$root/build/test/tests/bench/bench_port" 1 200 |
  sed 's/^/   native: /')
(cd "$scratch/work" && timeout 120 "$wine" "$root/build/windows/tests/bench/bench_port.exe" 1 200 |
  tr -d '\r' | sed 's/^/   wine:   /')

echo "== the printer link on Windows passed in $(($(date +%s) - started)) s"

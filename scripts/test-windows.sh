#!/usr/bin/env bash
# The console on Windows: builds it with Qt built from Debian's own source (scripts/build-windows.sh:
# the program folder, the zip and the installer) and proves it under wine against simulated
# printers, each on a pseudo-terminal that wine's registry maps to a COM port:
#   - the link's Windows test and the port helper's, on COM1..COM5 and COM12;
#   - the console's own tests of its pages and the full device test, on COM6;
#   - tr7042k-burnin.exe, one pass without fiscal receipts, on COM7 and COM8;
#   - the real tr7042k-console.exe in a virtual screen: connected on COM1, its information page
#     shows the printer's factory number;
#   - the installer, silently, and its uninstaller.
# scripts/test.sh calls it; it also runs on its own (after scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$(date +%s)
jobs=2

echo "== the console on Windows (Qt from Debian's source, mingw-w64, wine)"

# The simulated printer and the timing program, native.
if [ ! -f build/test/CMakeCache.txt ]; then
  cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build/test -j"$jobs" --target tr7042k-sim bench_port >/dev/null
sim=$root/build/test/sim/tr7042k-sim

scripts/build-windows.sh
version=$(sed -n 's/^project(tr7042k VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=$root/build/windows
stage=$out/tr7042k-$version-win64
tree=$out/build
built=$(date +%s)
echo "-- built in $((built - started)) s"

scratch=$(mktemp -d)
mkdir -p "$scratch/work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# A virtual screen for everything wine runs: a Qt program makes windows even when it shows
# none (the tests, the burn-in's consoles), and wine draws them through X. It must be there
# before wine's first program, whose desktop every later one shares.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

# Wine in a prefix of its own: 64-bit, no Mono or Gecko add-ons to fetch.
export WINEPREFIX=$out/wine WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=wine
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
wineserver -k >/dev/null 2>&1 || true # one left from an earlier run has no screen
wineserver -w
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot -i >/dev/null 2>&1
  wineserver -w
fi
booted=$(date +%s)
echo "-- wine ready in $((booted - built)) s"
winpath() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# One simulated printer per port; each links its pseudo-terminal as comN in a scratch config
# folder, and wine's registry maps COMn to it.
factory=TR31415926
start_sim() {
  local port=$1
  shift
  XDG_CONFIG_HOME=$scratch/config "$sim" --port "COM$port" --fast "$@" \
    >"$scratch/sim$port.log" 2>&1 &
  pids+=($!)
}
start_sim 1 --factory-number "$factory"
start_sim 2 --nak
start_sim 3 --bad-checksum
start_sim 4 --silent
start_sim 5 --hang-up
start_sim 6 --trace --factory-number "$factory"
start_sim 7
start_sim 8 --status-bits 45:0,2,0,0,0,0
start_sim 12
ports=(1 2 3 4 5 6 7 8 12)
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

# The test programs run from a copy of the program folder, beside the DLLs, plugins and qt.conf
# they use, as the programs do.
bin=$scratch/bin
cp -r "$stage" "$bin"
cp "$tree"/tests/windows/*.exe "$tree/tests/bench/bench_port.exe" "$bin/"

echo "-- the real console in a virtual screen: COM1, the information page"
# The printer's factory number, as the page shows it and text recognition reads it back.
console_started=$(date +%s%N)
(cd "$scratch/work" && "$wine" "$stage/tr7042k-console.exe" \
  >"$scratch/console.log" 2>&1) &
pids+=($!)
title="Тест регистратора расчетных операций TR7042K"
window=
for _ in $(seq 300); do
  window=$(xdotool search --name "^$title\$" 2>/dev/null | head -n 1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "the console's window did not appear" >&2; exit 1; }
echo "   the window appeared after $((($(date +%s%N) - console_started) / 1000000)) ms"
sleep 2
xdotool mousemove --window "$window" 330 414 click 1 # "Подключить"
sleep 1
# To "Общая информация", a page at a time: each page turned to is the technician's, and the
# information page reads the printer when it is shown.
for _ in 1 2 3; do
  xdotool key --window "$window" ctrl+Tab
  sleep 1.5
done
shot=$scratch/info.png
read_back=
for _ in $(seq 20); do
  sleep 0.5
  import-im6.q16 -display "$display" -window "$window" "$shot" 2>/dev/null || continue
  # The factory number's field (Edit12 on its page, as the window draws it), enlarged, read
  # as letters and digits; once as it is and once in black and white.
  for threshold in "" "-threshold 65%"; do
    # shellcheck disable=SC2086
    convert-im6.q16 "$shot" -crop 190x28+232+60 +repage -colorspace Gray -resize 400% \
      -normalize $threshold "$scratch/ocr.png"
    read_back=$(tesseract "$scratch/ocr.png" - --psm 7 \
      -c tessedit_char_whitelist=ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 2>/dev/null | tr -d ' ')
    [ "$read_back" = "$factory" ] && break 2
  done
done
if [ "$read_back" != "$factory" ]; then
  echo "the information page does not show the factory number $factory; it reads:" >&2
  echo "$read_back" >&2
  cp "$shot" "$out/information-page.png" 2>/dev/null && echo "(screenshot: $out/information-page.png)" >&2
  exit 1
fi
echo "   the information page shows the factory number $factory"
[ -s "$scratch/work/fpllog.dat" ] || { echo "the console wrote no fpllog.dat in its folder" >&2; exit 1; }
xdotool key --window "$window" alt+F4 >/dev/null 2>&1 || true
wineserver -k >/dev/null 2>&1 || true
wineserver -w

echo "-- the link on COM ports"
(cd "$scratch/work" && timeout 300 "$wine" "$bin/link_tests_win.exe" --gtest_brief=1)
# The device decoded the Windows-1251 text the test sent to its display.
if ! grep -q 'Дисплей: \[Проверка 1251 №1' "$scratch/sim1.log"; then
  echo "the simulated printer on COM1 did not show the test's display text" >&2
  exit 1
fi
echo "-- tr7042k-ports on COM ports"
(cd "$scratch/work" && timeout 300 "$wine" "$bin/ports_tests_win.exe" --gtest_brief=1)
timeout 300 tests/windows/ports-under-wine.sh "$wine" "$stage/tr7042k-ports.exe"

echo "-- the console's pages and the full device test on COM6"
(cd "$scratch/work" && TR_SIM_OUTPUT=$(winpath "$scratch/sim6.log") TR_SIM_PORT=6 \
  TR_SIM_FACTORY_NUMBER=$factory QT_QPA_PLATFORM=minimal:enable_fonts \
  timeout 600 "$wine" "$bin/console_tests_win.exe" --gtest_brief=1)

echo "-- tr7042k-burnin.exe: one pass without fiscal receipts on COM7 and COM8"
batch=$scratch/batch
set +e
(cd "$scratch/work" && TR7042K_TIMER_WAIT_MS=1000 timeout 300 "$wine" "$stage/tr7042k-burnin.exe" \
  --passes 1 --delay 0 --no-fiscal --out "$(winpath "$batch")" COM7 COM8 >"$scratch/burnin.log" 2>&1)
code=$?
set -e
tr -d '\r' <"$scratch/burnin.log" | tail -n 4 | sed 's/^/   /'
# COM8 refuses X reports: failed steps, exit code 1; COM7 passes.
report=$batch/report.json
if [ "$code" != 1 ] || [ ! -f "$report" ] ||
  ! grep -q '"verdict": "passed"' "$report" || ! grep -q '"verdict": "failed"' "$report"; then
  echo "the burn-in under wine ended with $code; its report:" >&2
  cat "$report" >&2 2>/dev/null || true
  exit 1
fi
journal=$(find "$batch" -path '*COM7-*' -name 'COM7*.txt' | head -n 1)
if [ -z "$journal" ] || ! iconv -f cp1251 -t utf-8 "$journal" | grep -q 'Общее количество ошибок: 0'; then
  echo "the burn-in's journal of COM7 does not end its pass without errors" >&2
  exit 1
fi
if ! grep -q $'\r$' "$journal"; then
  echo "the burn-in's journal of COM7 is not in CR LF lines" >&2
  exit 1
fi

echo "-- the installer, silently, and its uninstaller"
setup=$out/tr7042k-$version-setup.exe
"$wine" "$setup" /S
programs=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Programs/TR7042K
[ -d "$programs" ] || programs=$(find "$WINEPREFIX/drive_c/users" -maxdepth 5 -type d -path '*/Programs/TR7042K' | head -n 1)
shortcut=$(find "$WINEPREFIX/drive_c/users" -name 'Сервисная консоль TR7042K.lnk' | head -n 1)
if [ ! -f "$programs/tr7042k-console.exe" ] || [ ! -f "$programs/platforms/qwindows.dll" ] ||
  [ -z "$shortcut" ] || ! "$wine" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TR7042K' \
  /v QuietUninstallString >/dev/null 2>&1; then
  echo "the silent install did not put the console, its shortcut and its uninstall entry in place" >&2
  exit 1
fi
"$wine" "$programs/uninstall.exe" /S
# The uninstaller runs on from a copy of itself: wait for it.
for _ in $(seq 100); do [ ! -e "$programs" ] && [ ! -e "$shortcut" ] && break; sleep 0.2; done
if [ -e "$programs" ] || [ -e "$shortcut" ] ||
  "$wine" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TR7042K' >/dev/null 2>&1; then
  echo "the silent uninstall left the console, its shortcut or its uninstall entry behind" >&2
  exit 1
fi

# Exchange times: the same program natively and under wine, against the printer on COM1. A
# measurement, not a test: a run that cannot measure says so and the stage goes on.
echo "-- exchange times (a measurement, not a test; other builds may share the machine)"
(cd "$scratch/work" && XDG_CONFIG_HOME=$scratch/config "$root/build/test/tests/bench/bench_port" 1 200 |
  sed 's/^/   native: /') || echo "   native: not measured"
(cd "$scratch/work" && timeout 120 "$wine" "$bin/bench_port.exe" 1 200 2>/dev/null |
  tr -d '\r' | sed 's/^/   wine:   /') || echo "   wine: not measured"

echo "== the console on Windows passed in $(($(date +%s) - started)) s"

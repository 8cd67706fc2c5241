#!/usr/bin/env bash
# tr7042k-ports.exe as a technician runs it, under wine: list, probe, line, a port held by another
# of our programs and let go on Ctrl-C, and the commands that belong to Linux.
#
#   tests/windows/ports-under-wine.sh WINE TR7042K-PORTS.EXE
#
# With the ports mapped as scripts/test-windows.sh maps them (COM1 a healthy printer, COM4 a
# silent one, no COM200) and WINEPREFIX and the rest of wine's environment set.
set -euo pipefail
wine=$1
exe=$(realpath "$2")
scratch=$(mktemp -d)
# probe and line append the exchange log fpllog.dat to the folder they run in.
mkdir "$scratch/work"
cd "$scratch/work"
holder=
cleanup() {
  [ -n "$holder" ] && kill "$holder" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "tr7042k-ports.exe: $*" >&2
  exit 1
}

# Runs the program: its output in $scratch/out and $scratch/err, its exit code in $code.
run() {
  code=0
  "$wine" "$exe" "$@" >"$scratch/out" 2>"$scratch/err" || code=$?
  tr -d '\r' <"$scratch/out" >"$scratch/out.txt"
  tr -d '\r' <"$scratch/err" >"$scratch/err.txt"
}
expect_code() {
  [ "$code" = "$1" ] || fail "'$2' gave exit code $code, not $1: $(cat "$scratch/out.txt" "$scratch/err.txt")"
}
expect_out() {
  grep -qF -- "$1" "$scratch/out.txt" || fail "no '$1' in the output of '$2':
$(cat "$scratch/out.txt")"
}

run list
expect_code 0 list
expect_out "COM1  " list
expect_out "    в wine ведёт к: /dev/pts/" list
expect_out "    доступ:         есть (порт свободен)" list
grep -q "COM200" "$scratch/out.txt" && fail "list shows COM200, which is not mapped"

run probe COM1
expect_code 0 "probe COM1"
expect_out "    принтер отвечает на 19200 бод" "probe COM1"
expect_out "    заводской номер:  TR" "probe COM1"

run probe COM4
expect_code 2 "probe COM4"
expect_out "    нет ответа ни на одной скорости" "probe COM4"

run line COM1 --count 20
expect_code 0 "line COM1"
expect_out "Вердикт: Линия в порядке." "line COM1"

for command in "map COM3 x" "unmap COM3" "check COM1"; do
  # shellcheck disable=SC2086
  run $command
  expect_code 1 "$command"
  [ "$(wc -l <"$scratch/err.txt")" = 1 ] || fail "'$command' said more than one line"
  grep -qF "команда ${command%% *} - только для Linux" "$scratch/err.txt" ||
    fail "'$command' did not say it belongs to Linux: $(cat "$scratch/err.txt")"
done

run --help
expect_code 0 --help
expect_out "Диспетчере устройств" --help

# A second program of ours holds COM1: the listing and probe say so; Ctrl-C ends its run with
# the report of what it did.
"$wine" "$exe" line COM1 --count 100000 >"$scratch/held" 2>&1 &
holder=$!
for _ in $(seq 100); do grep -q "запросов состояния" "$scratch/held" && break; sleep 0.1; done
run list
expect_out "    доступ:         нет - COM1 занят другой программой TR7042K" "list while held"
run probe COM1
expect_code 2 "probe COM1 while held"
kill -INT "$holder"
code=0
wait "$holder" || code=$?
holder=
expect_code 1 "line stopped by Ctrl-C"
grep -q "Прервано после" "$scratch/held" || fail "line did not stop on Ctrl-C: $(cat "$scratch/held")"
run list
expect_out "    доступ:         есть (порт свободен)" "list once let go"

# On a console the text goes out as UTF-16 (WriteConsoleW), whatever the console's code page:
# wine's console on a terminal (here script's) shows it in the terminal's UTF-8. Last: wine's
# services started in script's session would end with it.
if command -v script >/dev/null; then
  LANG=C.UTF-8 timeout 120 script -qc "'$wine' '$exe' list" /dev/null </dev/null >"$scratch/console" 2>&1 ||
    true
  grep -qF "    доступ:         есть (порт свободен)" "$scratch/console" ||
    fail "list on a console is not readable: $(cat -v "$scratch/console")"
fi

echo "tr7042k-ports.exe under wine: list, probe, line, a held port and the Linux commands passed"

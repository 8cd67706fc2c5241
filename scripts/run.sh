#!/usr/bin/env bash
# Builds the console and the simulated printer, starts the simulator on COM1 and opens the
# console. Press "Подключить" with the defaults to talk to the simulated printer; closing the
# console stops the simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build/run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTR_TESTS=OFF >/dev/null
cmake --build build/run -j2 --target tr7042k-console tr7042k-sim

sim=build/run/sim/tr7042k-sim
console=build/run/app/tr7042k-console

"$sim" --port COM1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true' EXIT

# Wait until the simulator has made its link, so that the first connect finds it.
link="${XDG_CONFIG_HOME:-$HOME/.config}/tr7042k/ports/com1"
for _ in $(seq 50); do
  [ -e "$link" ] && break
  sleep 0.1
done

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$console"
else
  echo "No display found: running the console under Xvfb (nothing will be visible)." >&2
  xvfb-run -a "$console"
fi

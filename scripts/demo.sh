#!/usr/bin/env bash
# Sets everything up, makes a demo card in your home folder, lists its songs,
# exports a mix of its first song and opens the window.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
# Only the two programs; scripts/test.sh builds the tests.
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target trx5card trx5-card-manager

card="$HOME/TRX5-Demo-Card"
mix="$HOME/TRX5-Demo-Mix.wav"
bin=build/bin
# A demo card made by an earlier run is used again; the tool never writes
# over a folder that holds something.
if [ -e "$card" ] && "$bin/trx5card" songs "$card" >/dev/null 2>&1; then
  echo "Using the demo card made before."
else
  "$bin/trx5card" demo "$card"
fi
echo "Demo card: $card"
echo "Songs:"
"$bin/trx5card" songs "$card"
first=$("$bin/trx5card" songs "$card" | sort | head -n 1 | cut -d' ' -f1)
mapfile -t takes < <("$bin/trx5card" takes "$card" "$first" | awk '{split($1, tv, "-"); if (!seen[tv[1]]++) print $1}')
echo "Takes of song $first: ${takes[*]}"
"$bin/trx5card" export "$card" "$first" "${takes[@]}" -o "$mix"

if [ -x "$bin/trx5-card-manager" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Opening the window on $card."
  "$bin/trx5-card-manager" "$card"
elif [ -x "$bin/trx5-card-manager" ]; then
  echo "No display found; on your desktop, run: $bin/trx5-card-manager \"$card\""
fi

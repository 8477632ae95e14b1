#!/usr/bin/env bash
# Measures the window's audition with real sound: starts a private PulseAudio
# server whose only sink writes into a FIFO (at 32000 Hz for HiFi, then at
# 16000 Hz for LONG, so nothing is resampled) and runs trx5_audio_measure
# against it: knob-to-sound latency, underruns while the knobs turn, and
# processor time.
#
#   scripts/measure-audio.sh [BUILD_DIR] [SECONDS] [latency] [underruns] [cpu] [load[=N]]
#
# Without a choice, all three are measured (the latency for HiFi and LONG).
# With load, N busy processes (3 unless told) run at normal priority for the
# whole measurement, as other programs on a loaded machine do: each is
# `yes` writing into /dev/null.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
seconds="${2:-60}"
shift $(($# < 2 ? $# : 2))
what=()
load=0
for choice in "$@"; do
  case "$choice" in
    load) load=3 ;;
    load=*) load="${choice#load=}" ;;
    *) what+=("$choice") ;;
  esac
done
[ ${#what[@]} -gt 0 ] || what=(latency underruns cpu)

for program in pulseaudio pactl; do
  if ! command -v "$program" >/dev/null; then
    echo "measure-audio: $program is not installed (scripts/setup.sh installs it)" >&2
    exit 1
  fi
done

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j2 --target trx5_audio_measure >/dev/null
measure="$build/bin/trx5_audio_measure"

work="$(mktemp -d /tmp/trx5measure-XXXXXX)"
server=""
stop_server() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    server=""
  fi
}
busy=()
stop_load() {
  for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${busy[@]}"; do wait "$pid" 2>/dev/null || true; done
  busy=()
}
trap 'stop_load; stop_server; rm -rf "$work"' EXIT

if [ "$load" -gt 0 ]; then
  echo "== with $load busy processes"
  for _ in $(seq "$load"); do
    yes >/dev/null &
    busy+=($!)
  done
fi

# Starts the server for one rate in a runtime folder of its own and waits
# until it answers.
start_server() {
  local rate="$1"
  export XDG_RUNTIME_DIR="$work/run-$rate"
  unset PULSE_SERVER
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  fifo="$work/sink-$rate.fifo"
  mkfifo "$fifo"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    --log-target=stderr --load="module-native-protocol-unix" \
    --load="module-pipe-sink file=$fifo format=s16le rate=$rate channels=2 sink_name=trx5_capture" \
    2>"$work/server-$rate.log" &
  server=$!
  for _ in $(seq 200); do
    if PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native" pactl info 2>/dev/null |
      grep -q "Default Sink: trx5_capture"; then
      return 0
    fi
    if ! kill -0 "$server" 2>/dev/null; then break; fi
    sleep 0.1
  done
  echo "measure-audio: the server did not start:" >&2
  tail -n 8 "$work/server-$rate.log" >&2
  exit 1
}

echo "== HiFi (32000 Hz)"
start_server 32000
"$measure" --fifo "$fifo" --rate 32000 --seconds "$seconds" "${what[@]}"
stop_server

if [[ " ${what[*]} " == *" latency "* ]]; then
  echo "== LONG (16000 Hz)"
  start_server 16000
  "$measure" --fifo "$fifo" --rate 16000 --seconds "$seconds" latency
  stop_server
fi

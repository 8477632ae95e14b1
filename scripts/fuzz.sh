#!/usr/bin/env bash
# Builds the libFuzzer harnesses of tests/fuzz with clang into build-fuzz/ and
# runs each for FUZZ_SECONDS (default 60) on a fixed seed, two at a time,
# starting from a copy of its seed corpus. Any crash, leak, timeout or
# memory blow-up fails the script; the input that caused it is printed (copy
# it to tests/fuzz/regressions/<harness>/ so the tests replay it).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build-fuzz
seconds=${FUZZ_SECONDS:-60}
jobs=2

# Largest input per harness: enough for several blocks or chunks, small
# enough to keep one run fast.
declare -A max_len=(
  [audio_reader_fuzz]=32768
  [take_file_fuzz]=4096
  [card_info_fuzz]=512
  [take_codec_fuzz]=6144
  [audio_text_fuzz]=4096
  [import_export_fuzz]=16384
  [carver_fuzz]=8192
  [fs_rescue_fuzz]=65537
)
harnesses=(audio_reader_fuzz take_file_fuzz card_info_fuzz take_codec_fuzz audio_text_fuzz
           import_export_fuzz carver_fuzz fs_rescue_fuzz)

CXX=clang++ cmake -S . -B "$build_dir" -DTRX5_BUILD_FUZZ=ON -DTRX5_BUILD_GUI=OFF \
  -DTRX5_BUILD_TESTS=OFF -DTRX5_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --target trx5_fuzzers -j"$(nproc)"

runs=$build_dir/fuzz-runs
rm -rf "$runs"
mkdir -p "$runs"
# The harnesses' temporary files go to memory when it can be had, and are
# removed at the end whatever happens.
tmp=$(mktemp -d /dev/shm/trx5-fuzz.XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$tmp"' EXIT

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0

run_one() {
  local h=$1 dir=$runs/$1
  mkdir -p "$dir/corpus" "$dir/artifacts" "$tmp/$h"
  cp -R "tests/fuzz/corpus/$h/." "$dir/corpus/"
  local rc=0
  TMPDIR=$tmp/$h "$build_dir/bin/$h" -seed=1 -max_total_time="$seconds" \
    -max_len="${max_len[$h]}" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$dir/artifacts/" "$dir/corpus" >"$dir/log" 2>&1 || rc=$?
  echo "$rc" >"$dir/rc"
}

start=$SECONDS
for h in "${harnesses[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  echo "Fuzzing $h for ${seconds}s"
  run_one "$h" &
done
wait

failed=0
for h in "${harnesses[@]}"; do
  dir=$runs/$h
  rc=$(cat "$dir/rc" 2>/dev/null || echo missing)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log")
  cov=$(grep -o 'cov: [0-9]*' "$dir/log" | tail -n 1 || true)
  findings=$(find "$dir/artifacts" -type f \( -name 'crash-*' -o -name 'leak-*' \
    -o -name 'timeout-*' -o -name 'oom-*' \) | sort)
  if [ "$rc" != 0 ] || [ -n "$findings" ]; then
    failed=1
    echo "FAIL $h (exit $rc); log: $dir/log"
    grep -E 'ERROR|SUMMARY|check failed|runtime error' "$dir/log" | head -n 20 || true
    for f in $findings; do echo "  input: $f"; done
  else
    echo "ok   $h: ${execs:-?} runs, ${cov:-cov: ?}"
  fi
done
echo "Fuzzing took $((SECONDS - start))s"
exit "$failed"

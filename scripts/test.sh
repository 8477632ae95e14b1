#!/usr/bin/env bash
# Sets everything up and runs all tests: once in the normal build, once built
# with AddressSanitizer and UndefinedBehaviorSanitizer (any report fails).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
# The sound tests fail here, rather than skip, when the private sound server
# cannot be had: setup.sh installs it.
export TRX5_REQUIRE_SOUND=1
jobs=$(nproc)

BUILD_DIR=build ./scripts/build.sh
(cd build && ctest --output-on-failure -j"$jobs")

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
BUILD_DIR=build-asan ./scripts/build.sh -DTRX5_SANITIZE=ON -DTRX5_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
(cd build-asan && ctest --output-on-failure -j"$jobs")
./scripts/fuzz.sh

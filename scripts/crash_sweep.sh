#!/usr/bin/env bash
# The editor's whole crash sweep: the scripted session cut short after every
# operation (process death), after every operation with 256 power-loss seeds
# each, and with each operation failing in turn, with and without block reuse;
# then the editing loop killed with SIGKILL a hundred times. CI runs the same
# stop points with a few seeds each (ctest).
#   scripts/crash_sweep.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j2 ravelin_dat_tests editor_kill_driver >/dev/null
RAVELIN_CRASH_SWEEP=full "$build/dat/ravelin_dat_tests" --gtest_filter='Editor/CrashSweep.*:CrashSweepSession.*' \
  | grep -E '^crash sweep:|^\[  (PASSED|FAILED)|^\[==========\]'
tools/editor_kill_test.sh "$build/dat/editor_kill_driver" 100

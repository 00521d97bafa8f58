#!/usr/bin/env bash
# ThreadSanitizer over the code that bakes on several threads: the session
# tests and bake-all on all cores, from a TSan build of just those targets.
#   scripts/tsan.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-tsan}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRAVELIN_TSAN=ON -DRAVELIN_BUILD_BENCH=OFF >/dev/null
ninja -C "$dir" ravelin_event_bake_tests ravelin-bake >/dev/null
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
"$dir/event_bake/ravelin_event_bake_tests" --gtest_filter='Session*:*Session*' --gtest_brief=1
tools/bake_all_test.sh "$dir/tools/ravelin-bake" "$dir/bake_all_test"
echo "tsan: session tests and bake-all clean"

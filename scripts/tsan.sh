#!/usr/bin/env bash
# ThreadSanitizer over the code that bakes on several threads: the session
# and diff tests, bake-all and diff on all cores, from a TSan build of just
# those targets.
#   scripts/tsan.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-tsan}
# Line tables are all a report needs, and quicker to compile than full debug information.
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRAVELIN_TSAN=ON -DRAVELIN_BUILD_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" >/dev/null
ninja -C "$dir" ravelin_event_bake_tests ravelin-bake >/dev/null
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
"$dir/event_bake/ravelin_event_bake_tests" --gtest_filter='Session*:*Session*:WorldDiff*:BakeInputRecords*' --gtest_brief=1
tools/bake_all_test.sh "$dir/tools/ravelin-bake" "$dir/bake_all_test"
tools/diff_test.sh "$dir/tools/ravelin-bake" "$dir/diff_test" tools/testdata/diff
echo "tsan: session tests, diff and bake-all clean"

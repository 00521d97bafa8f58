// determinism_100x: the two determinism checks as GoogleTest tests, in this
// order. A failed check becomes a failed assertion carrying the check's message.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iostream>

#include "ravelin/event_bake/landblock.h"
#include "runner/determinism_checks.h"

namespace {

using namespace ravelin;

runner::CheckEnv process_env() {
  return {&std::cerr, runner::site_dirs_from_environment(), event_bake::bake_landblock_events_simple,
          event_bake::bake_landblock_events};
}

void assert_passed(const runner::CheckResult& result) {
  if (result) return;
  const runner::CheckFailure& failure = result.error();
  if (!failure.equality || failure.equality->this_run == failure.equality->baseline) {
    ADD_FAILURE() << failure.message;
    return;
  }
  const std::string& this_run = failure.equality->this_run;
  const std::string& baseline = failure.equality->baseline;
  EXPECT_EQ(this_run, baseline) << failure.message;
}

bool asks_for_help(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    for (const char* flag : {"--help", "-h", "-?", "/?", "--gtest_help"}) {
      if (std::strcmp(argv[i], flag) == 0) return true;
    }
  }
  return false;
}

}  // namespace

TEST(ravelin_event_bake, determinism_100x_tessmark_a9b4_real_dats) {
  assert_passed(runner::run_real_dats_check(process_env()));
}

TEST(ravelin_event_bake, determinism_100x_tessmark_a9b4_with_spawns_manifest) {
  assert_passed(runner::run_spawns_manifest_check(process_env()));
}

int main(int argc, char** argv) {
  // The site-specific places first, then GoogleTest's own help (which also
  // keeps the checks from running).
  if (asks_for_help(argc, argv)) std::fputs(runner::site_dirs_help().c_str(), stdout);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

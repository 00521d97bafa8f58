#include "tools/bake_all/loop.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>
#include <mutex>
#include <string>
#include <vector>

#include "test_support/test_world.h"
#include "tools/interrupt.h"

namespace ravelin::tools {
namespace {

using test_support::BakeWorld;
using namespace std::chrono_literals;

// Records what the loop did with it; fails one step when told.
class ScriptedSink final : public BakeAllSink {
 public:
  enum class Step { None, Open, Prepare, Add, Finish };
  ScriptedSink(std::string name, std::vector<std::string>& calls, std::mutex& mutex)
      : name_(std::move(name)), calls_(calls), mutex_(mutex) {}

  Step fail = Step::None;
  std::size_t fail_at = 1;  // the item (1-based) whose prepare or add fails
  bool interrupt_on_first_prepare = false;
  std::size_t prepared = 0, added = 0;
  common::JobEnd end;

  common::SinkResult open() override { return step(Step::Open, "open"); }
  common::SinkResult prepare(LandblockOutcome&) override {
    const std::lock_guard lock(mutex_);
    if (interrupt_on_first_prepare && prepared++ == 0) {
      // As Ctrl-C comes: to the process, whose handler runs on a thread that
      // takes signals; this one waits until it has.
      ::kill(::getpid(), SIGINT);
      for (int i = 0; i < 500 && InterruptCatcher::caught() == 0; ++i) std::this_thread::sleep_for(10ms);
    }
    if (fail == Step::Prepare && ++prepared == fail_at) return std::unexpected(name_ + " prepare failed");
    return {};
  }
  common::SinkResult add(const LandblockOutcome&) override {
    if (fail == Step::Add && ++added == fail_at) return std::unexpected(name_ + " add failed");
    if (fail != Step::Add) ++added;
    return {};
  }
  common::SinkResult finish(const common::JobEnd& e) override {
    end = e;
    return step(Step::Finish, "finish");
  }
  void abandon() override { record("abandon"); }

 private:
  common::SinkResult step(Step which, const char* what) {
    record(what);
    if (fail == which) return std::unexpected(name_ + " " + what + " failed");
    return {};
  }
  void record(const char* what) {
    const std::lock_guard lock(mutex_);
    calls_.push_back(name_ + " " + what);
  }

  std::string name_;
  std::vector<std::string>& calls_;
  std::mutex& mutex_;
};

// Three landblocks of plain terrain, baked without objects.
class BakeLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    world_.add_region(test_support::sample_region_def());
    for (const std::uint32_t id : ids_) world_.add_uniform_terrain(test_support::terrain_word(0, 0), id);
    world_.write();
    auto session = event_bake::BakeSession::open({world_.dir(), {}, test_support::kBakeRegion, true});
    ASSERT_TRUE(session.has_value());
    session_ = std::move(*session);
  }

  BakeWorld world_;
  std::vector<std::uint32_t> ids_ = {0xA9B40000, 0xA9B50000, 0xA9B60000};
  std::unique_ptr<event_bake::BakeSession> session_;
};

TEST_F(BakeLoopTest, SinksFinishLastFirstOrAreAllAbandoned) {
  using Step = ScriptedSink::Step;
  struct Case {
    const char* name;
    Step step;                       // of the second sink
    std::vector<std::string> calls;  // open, finish and abandon calls, in order
    const char* error;               // null: the run completes
  };
  const std::vector<Case> cases = {
      {"complete", Step::None, {"a open", "b open", "c open", "c finish", "b finish", "a finish"}, nullptr},
      {"open fails", Step::Open, {"a open", "b open", "b abandon", "a abandon"}, "b open failed"},
      {"prepare fails", Step::Prepare,
       {"a open", "b open", "c open", "c abandon", "b abandon", "a abandon"}, "b prepare failed"},
      {"add fails", Step::Add, {"a open", "b open", "c open", "c abandon", "b abandon", "a abandon"}, "b add failed"},
      {"finish fails", Step::Finish, {"a open", "b open", "c open", "c finish", "b finish", "a abandon"},
       "b finish failed"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> calls;
    std::mutex mutex;
    ScriptedSink a("a", calls, mutex), b("b", calls, mutex), sink_c("c", calls, mutex);
    b.fail = c.step;
    b.fail_at = 2;
    BakeAllSink* const sinks[] = {&a, &b, &sink_c};
    const auto end = run_bake_loop(*session_, ids_, sinks, {.jobs = 2, .keep_bakes = false});
    EXPECT_EQ(calls, c.calls) << c.name;
    if (c.error == nullptr) {
      ASSERT_TRUE(end.has_value()) << c.name;
      EXPECT_TRUE(end->complete()) << c.name;
      EXPECT_EQ(end->done, ids_.size()) << c.name;
      EXPECT_EQ(sink_c.added, ids_.size()) << c.name;
    } else {
      ASSERT_FALSE(end.has_value()) << c.name;
      EXPECT_EQ(end.error(), c.error) << c.name;
      // Nothing is added after the failure.
      if (c.step == Step::Add) {
        EXPECT_EQ(sink_c.added, 1u) << c.name;
      }
    }
  }
}

TEST_F(BakeLoopTest, AnInterruptFinishesTheSinksWithWhatWasBaked) {
  std::vector<std::string> calls;
  std::mutex mutex;
  ScriptedSink a("a", calls, mutex);
  a.interrupt_on_first_prepare = true;
  BakeAllSink* const sinks[] = {&a};
  // One job: the signal comes while the first landblock is prepared, so it
  // is finished and added, and no other starts.
  const auto end = run_bake_loop(*session_, ids_, sinks, {.jobs = 1, .keep_bakes = false});
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->interrupted_by, "SIGINT");
  EXPECT_EQ(end->done, 1u);
  EXPECT_EQ(end->total, ids_.size());
  EXPECT_EQ(a.end.interrupted_by, "SIGINT");
  EXPECT_EQ(a.added, end->done);
  EXPECT_EQ(calls, (std::vector<std::string>{"a open", "a finish"}));
}

}  // namespace
}  // namespace ravelin::tools

#include "tools/interrupt.h"

#include <csignal>

#include <atomic>

namespace ravelin::tools {
namespace {

// Lock-free, so storing it is safe inside a signal handler.
std::atomic<int> g_caught{0};
static_assert(std::atomic<int>::is_always_lock_free);

struct sigaction g_previous_int;
struct sigaction g_previous_term;

extern "C" void record_signal(int signal) {
  int none = 0;
  g_caught.compare_exchange_strong(none, signal);
  // Whichever comes next, SIGINT or SIGTERM, ends the process (sigaction is
  // async-signal-safe).
  struct sigaction default_action = {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(SIGINT, &default_action, nullptr);
  sigaction(SIGTERM, &default_action, nullptr);
}

}  // namespace

InterruptCatcher::InterruptCatcher() {
  g_caught = 0;
  struct sigaction action = {};
  action.sa_handler = record_signal;
  sigemptyset(&action.sa_mask);
  // Restart interrupted reads and writes.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &g_previous_int);
  sigaction(SIGTERM, &action, &g_previous_term);
  // A signal ignored by whoever started us (nohup, a shell's background job)
  // stays ignored.
  if (g_previous_int.sa_handler == SIG_IGN) sigaction(SIGINT, &g_previous_int, nullptr);
  if (g_previous_term.sa_handler == SIG_IGN) sigaction(SIGTERM, &g_previous_term, nullptr);
}

InterruptCatcher::~InterruptCatcher() {
  sigaction(SIGINT, &g_previous_int, nullptr);
  sigaction(SIGTERM, &g_previous_term, nullptr);
}

int InterruptCatcher::caught() { return g_caught.load(); }

const char* InterruptCatcher::name(int signal) { return signal == SIGTERM ? "SIGTERM" : "SIGINT"; }

}  // namespace ravelin::tools

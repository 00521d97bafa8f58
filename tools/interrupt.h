// Ctrl-C and SIGTERM turned into a flag that long runs poll, so that they can
// stop between landblocks and leave their outputs whole.
#pragma once

namespace ravelin::tools {

// While one lives, the first SIGINT or SIGTERM is recorded instead of ending
// the process; both dispositions then go back to the default, so a second
// signal of either kind ends it at once. A signal that was ignored when it was made stays ignored.
// The previous dispositions are restored on destruction.
class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

  // The signal caught, or 0. Safe from any thread.
  static int caught();
  // "SIGINT" or "SIGTERM" for a caught signal.
  static const char* name(int signal);
};

}  // namespace ravelin::tools

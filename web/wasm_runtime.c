/* Debian's wasm32 compiler runtime (libclang-rt-19-dev-wasm32) is built with
 * the stack protector: its 128-bit division, which std::format and
 * std::to_chars reach, refers to a stack guard and a failure handler that
 * wasi-libc does not define. They are defined here. The guard only needs to
 * be a value a buffer overrun is unlikely to write; a failed check traps, as
 * any fault of the module does. */
#include <stdint.h>

uintptr_t __stack_chk_guard = 0x52a9b4e1u;

_Noreturn void __stack_chk_fail(void) { __builtin_trap(); }

/* A thread_local object with a destructor (the body compressor keeps its hash
 * table per thread) registers that destructor here; wasi-libc, built without
 * threads, has no such registry. The module has one thread and is a reactor:
 * it never exits, so the thread's end never comes and there is nothing to run. */
int __cxa_thread_atexit(void (*destructor)(void*), void* object, void* dso_handle) {
  (void)destructor;
  (void)object;
  (void)dso_handle;
  return 0;
}

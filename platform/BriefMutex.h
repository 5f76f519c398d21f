#pragma once

#include <mutex>

// A mutex for state that threads hold for microseconds at a time: a thread that finds it taken
// tries a while before it sleeps, because a sleep and a wake-up through the kernel cost far more
// than the wait (most of all in a virtual machine). Lockable, so std::lock_guard and
// std::unique_lock take it, and std::condition_variable_any waits on it.
class TBriefMutex {
 public:
  void lock() {
    for (int tries = 0; tries < kTries; ++tries) {
      if (mutex_.try_lock()) return;
      Pause();
    }
    mutex_.lock();
  }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  // About a microsecond or two of trying: longer than the lock is held, far shorter than a
  // time slice lost to a holder that was preempted.
  static constexpr int kTries = 200;
  static void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
  }
  std::mutex mutex_;
};

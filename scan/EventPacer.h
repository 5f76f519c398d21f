#pragma once

#include <chrono>

// Spaces out event processing and display refreshes during a long walk or deletion: a person
// reads at most a few dozen updates a second, and each one costs the walk.
class TEventPacer {
 public:
  using Clock = std::chrono::steady_clock;

  explicit TEventPacer(Clock::duration interval) : interval_(interval) {}

  // True when the interval has passed since the last time it answered true (and at the first
  // call); an interval of zero answers true every time.
  bool Due() {
    if (interval_ <= Clock::duration::zero()) return true;
    const Clock::time_point now = Clock::now();
    if (started_ && now - last_ < interval_) return false;
    started_ = true;
    last_ = now;
    return true;
  }

 private:
  Clock::duration interval_;
  Clock::time_point last_{};
  bool started_ = false;
};

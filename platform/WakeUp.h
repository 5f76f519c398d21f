#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// A signal that a worker thread raises for the GUI thread: the GUI thread never blocks on a
// worker, it runs its event loop until the worker raises the signal (through the notifier, which
// the signal calls on the raising thread). Threads that have no event loop to run (tests) wait
// on the signal itself.
class TWakeUp {
 public:
  // Any thread. Raises the signal and calls the notifier, if one is set.
  void Raise();
  // Takes the signal down; true when it was raised.
  bool Take();
  // Blocks the calling thread until the signal is raised or the timeout passes, and takes it down.
  bool WaitBlocking(std::chrono::milliseconds timeout);
  // The notifier is called on the raising thread, under the signal's lock, so it must only post
  // (an event, a queued call). Setting it when the signal is already raised calls it at once.
  void SetNotifier(std::function<void()> notifier);

 private:
  std::mutex mutex_;
  std::condition_variable raised_;
  std::function<void()> notifier_;
  bool up_ = false;
};

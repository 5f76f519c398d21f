#include "platform/WakeUp.h"

void TWakeUp::Raise() {
  std::lock_guard lock(mutex_);
  up_ = true;
  if (notifier_) notifier_();
  raised_.notify_all();
}

bool TWakeUp::Take() {
  std::lock_guard lock(mutex_);
  const bool was = up_;
  up_ = false;
  return was;
}

bool TWakeUp::WaitBlocking(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  raised_.wait_for(lock, timeout, [this] { return up_; });
  const bool was = up_;
  up_ = false;
  return was;
}

void TWakeUp::SetNotifier(std::function<void()> notifier) {
  std::lock_guard lock(mutex_);
  notifier_ = std::move(notifier);
  if (up_ && notifier_) notifier_();
}

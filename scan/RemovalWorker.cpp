#include "scan/RemovalWorker.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/WorkerThreads.h"

namespace {

// While the GUI thread waits, it is woken this often with results to show.
constexpr size_t kWakeEvery = 256;

}  // namespace

struct TRemovalWorker::State {
  std::shared_ptr<TWakeUp> wake;
  std::mutex mutex;
  std::condition_variable work;
  std::vector<Job> jobs;
  std::vector<char> removed;
  std::atomic<size_t> done{0};
  std::atomic<bool> cut{false};
  std::atomic<bool> asked{false};
  bool running = false;  // a batch is being worked on
  bool over = true;
  bool quit = false;

  void Loop() {
    std::unique_lock lock(mutex);
    for (;;) {
      work.wait(lock, [this] { return quit || running; });
      if (quit) return;
      const size_t count = jobs.size();
      lock.unlock();
      size_t i = done;
      for (; i < count && !cut; ++i) {
        removed[i] = jobs[i]() ? 1 : 0;
        done.store(i + 1, std::memory_order_release);
        if ((i + 1) % kWakeEvery == 0 && asked.exchange(false)) wake->Raise();
      }
      lock.lock();
      running = false;
      over = true;
      asked = false;
      wake->Raise();
    }
  }
};

TRemovalWorker::TRemovalWorker(std::shared_ptr<TWakeUp> wake) : state_(std::make_shared<State>()) {
  state_->wake = std::move(wake);
  StartWorkerThread([state = state_] { state->Loop(); });
}

TRemovalWorker::~TRemovalWorker() {
  {
    std::lock_guard lock(state_->mutex);
    state_->quit = true;
    state_->cut = true;
  }
  state_->work.notify_all();
}

void TRemovalWorker::Start(std::vector<Job> jobs) {
  {
    std::lock_guard lock(state_->mutex);
    state_->jobs = std::move(jobs);
    state_->removed.assign(state_->jobs.size(), 0);
    state_->done = 0;
    state_->cut = false;
    state_->asked = false;
    state_->over = false;
    state_->running = true;
  }
  state_->work.notify_all();
}

void TRemovalWorker::Cut() {
  state_->cut = true;
}

size_t TRemovalWorker::Done() {
  return state_->done.load(std::memory_order_acquire);
}

bool TRemovalWorker::Over() {
  std::lock_guard lock(state_->mutex);
  if (!state_->over) state_->asked = true;
  return state_->over;
}

bool TRemovalWorker::Removed(size_t i) const {
  return state_->removed[i] != 0;
}

#include "platform/WorkerThreads.h"

#include <atomic>
#include <thread>

namespace {

std::atomic<int> g_running{0};

}  // namespace

void StartWorkerThread(std::function<void()> body) {
  ++g_running;
  std::thread([body = std::move(body)] {
    body();
    --g_running;
  }).detach();
}

int RunningWorkerThreads() {
  return g_running;
}

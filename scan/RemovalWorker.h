#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/WakeUp.h"

// Runs the removals the GUI thread decides on (unlinks, moves to the trash) on a thread of its
// own, in batches, so that a call that blocks (a dead network server, a failing disk) keeps no
// window from painting. The GUI thread hands over a batch, waits for results with its event
// loop running, and reads them in order; it can cut a batch short (Stop, a pause for events), and
// the job running then still ends and counts. A call stuck in the kernel is waited for, never
// abandoned: what it returns decides the entry's fate. The thread goes when the worker does (a
// stuck one ends on its own when its call returns).
class TRemovalWorker {
 public:
  // Runs on the worker thread; true when the file is gone afterwards.
  using Job = std::function<bool()>;

  // wake is raised when the batch is over, and every few results while the GUI thread waits.
  explicit TRemovalWorker(std::shared_ptr<TWakeUp> wake);
  ~TRemovalWorker();
  TRemovalWorker(const TRemovalWorker&) = delete;
  TRemovalWorker& operator=(const TRemovalWorker&) = delete;

  // A new batch; the previous one must be over.
  void Start(std::vector<Job> jobs);
  // Starts no further job of the batch.
  void Cut();
  // How many jobs of the batch have ended, and whether the batch is over (every job ended, or
  // the batch was cut and the job running then has ended). Asking and finding the batch not over
  // asks for a wake-up.
  size_t Done();
  bool Over();
  // The outcome of job i < Done().
  bool Removed(size_t i) const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "helper/FileRemover.h"
#include "helper/FoundFile.h"
#include "platform/WakeUp.h"
#include "scan/HelperClient.h"

// Hands the removals the GUI thread decides on (unlinks, moves to the trash, the cache
// cleaning's deletions) to the helper in batches, so that a call that blocks (a dead network
// server, a failing disk) keeps no window from painting: the GUI thread starts a batch, waits for
// results with its event loop running, and reads them in order. It can cut a batch short (a
// pause for events), and the removal running then still ends and counts. Stop and the program's
// end cut it at once: a helper that does not end the batch within THelperClient::kAnswerTime is
// killed, and what it had not reported done counts as not done.
class TRemovalWorker {
 public:
  // A file of the cache cleaning: a name in a folder the helper keeps open.
  struct CachedFile {
    std::shared_ptr<const std::uint32_t> folder;
    std::string name;
  };

  // wake is raised when the batch is over, and every few hundred results while the GUI thread
  // waits.
  TRemovalWorker(std::shared_ptr<THelperClient> helper, std::shared_ptr<TWakeUp> wake);
  ~TRemovalWorker();
  TRemovalWorker(const TRemovalWorker&) = delete;
  TRemovalWorker& operator=(const TRemovalWorker&) = delete;

  // A new batch; the previous one must be over. newCommand: the first batch of a Delete
  // command (the trash is looked at afresh).
  void Start(const std::vector<TFoundFile>& files, Removal how, bool newCommand);
  void Start(const std::vector<CachedFile>& files);
  // Starts no further removal of the batch.
  void Cut();
  // The same for Stop and the program's end: the helper must end the batch at once.
  void CutNow();
  // How many removals of the batch have ended, and whether the batch is over (every removal
  // ended, or the batch was cut and the one running then has ended, or the helper is gone).
  // Asking and finding the batch not over asks for a wake-up.
  size_t Done() const;
  bool Over();
  // The outcome of removal i < Done(): true when no file of that name is left.
  bool Removed(size_t i) const;
  // The helper is gone (killed, or ended on its own): nothing more of the batch will be done.
  bool HelperGone() const { return helper_->Gone(); }
  // It ended unexpectedly (crashed, killed from outside).
  bool HelperFailed() const { return helper_->EndedUnexpectedly(); }

 private:
  struct Batch;
  void Begin(size_t count);

  std::shared_ptr<THelperClient> helper_;
  std::shared_ptr<TWakeUp> wake_;
  std::shared_ptr<Batch> batch_;
  std::uint32_t id_ = 0;
};

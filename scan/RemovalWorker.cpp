#include "scan/RemovalWorker.h"

#include <cstring>
#include <mutex>

namespace {

// While the GUI thread waits, it is woken this often with results to show.
constexpr size_t kWakeEvery = 256;

}  // namespace

struct TRemovalWorker::Batch : THelperClient::Stream {
  THelperClient* client = nullptr;
  std::shared_ptr<TWakeUp> wake;
  std::uint32_t id = 0;
  std::vector<char> removed;  // written by the receiving thread up to done, then published
  std::atomic<size_t> done{0};
  std::atomic<bool> over{false};
  std::atomic<bool> asked{false};
  size_t lastWake = 0;

  void Receive(channel::Message type, std::string_view body) override {
    if (type == channel::Message::Removed) {
      channel::Reader in(body);
      const std::uint32_t first = in.U32();
      const std::string_view results = in.Rest();
      if (first != done.load() || first + results.size() > removed.size()) return;
      std::memcpy(removed.data() + first, results.data(), results.size());
      done.store(first + results.size(), std::memory_order_release);
      if (done - lastWake >= kWakeEvery && asked.exchange(false)) {
        lastWake = done;
        wake->Raise();
      }
    } else if (type == channel::Message::BatchOver) {
      client->Answered(id);
      End();
      client->Close(id);
    }
  }
  void Gone(bool) override { End(); }
  void End() {
    over = true;
    asked = false;
    wake->Raise();
  }
};

TRemovalWorker::TRemovalWorker(std::shared_ptr<THelperClient> helper, std::shared_ptr<TWakeUp> wake)
    : helper_(std::move(helper)), wake_(std::move(wake)) {}

TRemovalWorker::~TRemovalWorker() {
  // A batch still running is cut: nothing waits for it.
  if (batch_ && !batch_->over) Cut();
}

void TRemovalWorker::Begin(size_t count) {
  batch_ = std::make_shared<Batch>();
  batch_->client = helper_.get();
  batch_->wake = wake_;
  batch_->removed.assign(count, 0);
  id_ = helper_->Open(batch_);
  batch_->id = id_;
}

void TRemovalWorker::Start(const std::vector<TFoundFile>& files, Removal how, bool newCommand) {
  Begin(files.size());
  channel::Writer out;
  out.Begin(channel::Message::RemoveFiles, id_);
  out.U8(how == Removal::Trash ? 1 : 0);
  out.U8(newCommand ? 1 : 0);
  out.U32(static_cast<std::uint32_t>(files.size()));
  for (const TFoundFile& file : files) channel::PutFoundFile(out, file);
  out.End();
  helper_->Send(out);
}

void TRemovalWorker::Start(const std::vector<CachedFile>& files) {
  Begin(files.size());
  channel::Writer out;
  out.Begin(channel::Message::RemoveCached, id_);
  out.U32(static_cast<std::uint32_t>(files.size()));
  for (const CachedFile& file : files) {
    out.U32(file.folder ? *file.folder : 0);
    out.Str(file.name);
  }
  out.End();
  helper_->Send(out);
}

void TRemovalWorker::Cut() {
  if (!batch_ || batch_->over) return;
  channel::Writer out;
  out.Begin(channel::Message::Cut, id_);
  out.End();
  helper_->Send(out);
}

void TRemovalWorker::CutNow() {
  if (!batch_ || batch_->over) return;
  Cut();
  helper_->ExpectAnswer(id_);
}

size_t TRemovalWorker::Done() const {
  return batch_ ? batch_->done.load(std::memory_order_acquire) : 0;
}

bool TRemovalWorker::Over() {
  if (!batch_) return true;
  if (batch_->over) return true;
  batch_->asked = true;
  // The end may have come between the two looks.
  return batch_->over;
}

bool TRemovalWorker::Removed(size_t i) const {
  return batch_->removed[i] != 0;
}

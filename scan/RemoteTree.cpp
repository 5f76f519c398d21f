#include "scan/RemoteTree.h"

#include <vector>

#include "platform/BriefMutex.h"
#include "platform/Spares.h"

namespace {

// Listings kept for reuse: a few, since what the program holds should be its result list (a
// thousand kept listings held a third of a megabyte on a check of 20,000 findings).
constexpr size_t kSpares = 64;

bool IsLast(const TListing& listing) {
  return listing.kind == TListing::Kind::End || listing.kind == TListing::Kind::RootMissing;
}

}  // namespace

struct TRemoteTree::State : THelperClient::Stream {
  THelperClient* client = nullptr;  // alive while its receiving thread hands anything over
  std::shared_ptr<THelperClient::FolderHolds> folders;
  std::shared_ptr<TWakeUp> wake;
  std::uint32_t id = 0;

  TBriefMutex mutex;
  std::deque<std::unique_ptr<TListing>> ready;
  size_t readyBytes = 0;
  Spares<TListing> spare;  // emptied, for the listings to come
  bool asked = false;      // the check found nothing ready and waits for a wake-up
  bool lastArrived = false;
  bool abandoned = false;
  bool gone = false;
  bool failed = false;

  void Receive(channel::Message type, std::string_view body) override {
    if (type == channel::Message::Abandoned) {
      client->Answered(id);
      client->Close(id);
      return;
    }
    if (type != channel::Message::Listings) return;
    std::vector<std::unique_ptr<TListing>> arrived;
    Spares<TListing> reuse;
    {
      std::lock_guard lock(mutex);
      reuse.swap(spare);
    }
    channel::Reader in(body);
    while (!in.AtEnd()) {
      std::uint32_t folder = 0;
      std::unique_ptr<TListing> listing = channel::GetListing(in, folder, TakeSpare(reuse));
      if (!listing) break;
      if (folder != 0) listing->remoteFolder = THelperClient::FolderHolds::Hold(folders, folder);
      arrived.push_back(std::move(listing));
    }
    std::lock_guard lock(mutex);
    if (abandoned) return;  // dropped outside the lock
    if (spare.empty()) spare.swap(reuse);
    for (std::unique_ptr<TListing>& listing : arrived) {
      lastArrived |= IsLast(*listing);
      readyBytes += listing->Bytes();
      ready.push_back(std::move(listing));
    }
    // The helper sends in batches: each that comes while the check waits wakes it.
    if (asked) {
      asked = false;
      wake->Raise();
    }
  }

  void Gone(bool unexpectedly) override {
    {
      std::lock_guard lock(mutex);
      gone = true;
      failed = unexpectedly && !lastArrived;
    }
    wake->Raise();
  }
};

TRemoteTree::TRemoteTree(std::shared_ptr<THelperClient> helper, const std::string& path,
                         const QStringList& masks, const TReadOptions& options,
                         std::shared_ptr<TWakeUp> wake)
    : helper_(std::move(helper)), state_(std::make_shared<State>()) {
  state_->client = helper_.get();
  state_->folders = helper_->Folders();
  state_->wake = std::move(wake);
  id_ = helper_->Open(state_);
  state_->id = id_;
  channel::Writer out;
  out.Begin(channel::Message::ReadTree, id_);
  out.U8(static_cast<std::uint8_t>((options.matchMasks ? 1 : 0) |
                                   (options.sizeTemporaryFiles ? 2 : 0) |
                                   (options.cacheFolder ? 4 : 0) | (options.onlyUsedFiles ? 8 : 0) |
                                   (options.sizesLater ? 16 : 0)));
  out.U32(static_cast<std::uint32_t>(masks.size()));
  for (const QString& mask : masks) out.Str(mask.toUtf8().toStdString());
  out.Str(path);
  out.End();
  helper_->Send(out);
}

TRemoteTree::~TRemoteTree() {
  Abandon();
}

std::unique_ptr<TListing> TRemoteTree::Next() {
  if (taken_.empty()) {
    bool last = false;
    {
      std::lock_guard lock(state_->mutex);
      last = state_->lastArrived;
      if (!state_->ready.empty()) {
        taken_.swap(state_->ready);
        MoveSpares(givenBack_, state_->spare, kSpares);
        unreportedListings_ += static_cast<std::uint32_t>(taken_.size());
        unreportedBytes_ += state_->readyBytes;
        state_->readyBytes = 0;
      } else {
        state_->asked = true;
      }
    }
    // Room for more, told in halves of the window: while less than half is untold, the helper
    // still has room for the other half (once the end has come, it sends nothing more).
    const bool waiting = taken_.empty();
    if (!last && !abandoned_ &&
        (unreportedListings_ >= channel::kWindowListings / 2 ||
         unreportedBytes_ >= channel::kWindowBytes / 2)) {
      channel::Writer out;
      out.Begin(channel::Message::Taken, id_);
      out.U32(unreportedListings_);
      out.U32(static_cast<std::uint32_t>(std::min<std::uint64_t>(unreportedBytes_, UINT32_MAX)));
      out.End();
      helper_->Send(out);
      unreportedListings_ = 0;
      unreportedBytes_ = 0;
    }
    if (waiting) return nullptr;
  }
  std::unique_ptr<TListing> next = std::move(taken_.front());
  taken_.pop_front();
  return next;
}

void TRemoteTree::GiveBack(std::unique_ptr<TListing> listing) {
  TListing::KeepForReuse(givenBack_, std::move(listing), kSpares);
}

bool TRemoteTree::Over() const {
  if (abandoned_) return true;
  std::lock_guard lock(state_->mutex);
  return state_->ready.empty() && taken_.empty() && (state_->gone || state_->lastArrived);
}

bool TRemoteTree::HelperFailed() const {
  std::lock_guard lock(state_->mutex);
  return state_->failed;
}

void TRemoteTree::StopReading() {
  if (stopSent_ || abandoned_) return;
  stopSent_ = true;
  channel::Writer out;
  out.Begin(channel::Message::StopReading, id_);
  out.End();
  helper_->Send(out);
}

void TRemoteTree::Abandon() {
  if (abandoned_) return;
  abandoned_ = true;
  std::deque<std::unique_ptr<TListing>> dropped;
  bool reading = false;
  {
    std::lock_guard lock(state_->mutex);
    state_->abandoned = true;
    dropped.swap(state_->ready);
    reading = !state_->lastArrived && !state_->gone;
  }
  taken_.clear();
  if (!reading) {
    helper_->Close(id_);
    return;
  }
  channel::Writer out;
  out.Begin(channel::Message::Abandon, id_);
  out.End();
  helper_->Send(out);
  helper_->ExpectAnswer(id_);
}

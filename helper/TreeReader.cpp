#include "helper/TreeReader.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "helper/CacheFolderGuard.h"
#include "helper/DirectoryWalk.h"
#include "platform/WorkerThreads.h"
#include "scan/MaskList.h"
#include "scan/TemporaryNames.h"

namespace {

// A batch worth waking the check for: fewer wake-ups than listings, each a cheap hand-over.
constexpr size_t kWakeListings = 8;
// Listings the measuring thread takes at a time, and how long it waits for that many.
constexpr size_t kMeasureBatch = 8;
constexpr std::chrono::milliseconds kMeasurePause(2);
constexpr size_t kWakeBytes = 32 * 1024;

}  // namespace

struct TTreeReader::State {
  std::string path;
  TReadOptions options;
  std::shared_ptr<TWakeUp> wake;

  std::mutex mutex;
  std::condition_variable space;
  std::deque<std::unique_ptr<TListing>> ready;
  size_t readyBytes = 0;
  size_t handedOver = 0;
  bool asked = false;  // the check found nothing ready and waits for a wake-up
  std::atomic<bool> abandoned{false};
  std::atomic<bool> readingStopped{false};

  // Between the two reader threads: listings read, their files not yet measured.
  std::mutex measureMutex;
  std::condition_variable measureWork;   // the second thread waits for a listing
  std::condition_variable measureSpace;  // the first waits for room
  std::deque<std::unique_ptr<TListing>> toMeasure;

  // First thread: hands a listing on to be measured; waits while the second is far enough
  // behind; false once abandoned.
  bool Pass(std::unique_ptr<TListing> listing) {
    std::unique_lock lock(measureMutex);
    measureSpace.wait(lock, [this] { return abandoned || toMeasure.size() < kMaxListings; });
    if (abandoned) return false;
    const bool marker = listing->kind != TListing::Kind::Listed;
    toMeasure.push_back(std::move(listing));
    // The second thread is woken for a batch (or the walk's end); meanwhile it looks again on
    // its own every few milliseconds.
    if (marker || toMeasure.size() == kMeasureBatch) measureWork.notify_one();
    return true;
  }
  // Second thread: measures each listing in turn and hands it to the check, to the end.
  void Measure() {
    std::deque<std::unique_ptr<TListing>> taken;
    for (;;) {
      {
        std::unique_lock lock(measureMutex);
        while (!abandoned && toMeasure.size() < kMeasureBatch &&
               (toMeasure.empty() || toMeasure.back()->kind == TListing::Kind::Listed)) {
          if (measureWork.wait_for(lock, kMeasurePause) == std::cv_status::timeout &&
              !toMeasure.empty())
            break;
        }
        if (abandoned) return;
        taken.swap(toMeasure);
        measureSpace.notify_one();
      }
      for (; !taken.empty(); taken.pop_front()) {
        std::unique_ptr<TListing> listing = std::move(taken.front());
        if (listing->sizesPending && listing->folder) listing->TakeSizes(listing->folder->Get());
        // The directory stays open only where the check deletes relative to it.
        if (!options.cacheFolder) listing->folder.reset();
        const bool end =
            listing->kind == TListing::Kind::End || listing->kind == TListing::Kind::RootMissing;
        if (!Hand(std::move(listing)) || end) return;
      }
    }
  }

  // Reader side: waits while the check is far enough behind; false once abandoned.
  bool Hand(std::unique_ptr<TListing> listing) {
    std::unique_lock lock(mutex);
    space.wait(lock, [this] {
      return abandoned || ready.empty() || (ready.size() < kMaxListings && readyBytes < kMaxBytes);
    });
    if (abandoned) return false;
    const bool urgent = listing->kind != TListing::Kind::Listed || handedOver == 0;
    readyBytes += listing->Bytes();
    ready.push_back(std::move(listing));
    ++handedOver;
    if (asked && (urgent || ready.size() >= kWakeListings || readyBytes >= kWakeBytes)) {
      asked = false;
      wake->Raise();
    }
    return true;
  }
};

namespace {

using State = std::shared_ptr<TTreeReader::State>;

bool IsBelowTemporaryFolder(const std::string& root, const std::string& path) {
  // The components of path below root (path ends with "/").
  size_t start = root.size();
  while (start < path.size()) {
    const size_t slash = path.find('/', start);
    if (slash == std::string::npos) break;
    if (IsTemporaryFolderName(std::string_view(path).substr(start, slash - start))) return true;
    start = slash + 1;
  }
  return false;
}

// The reader's side of the walk: every directory's listing, classified and measured, handed on.
class ReadingVisitor : public DirectoryWalk::Visitor {
 public:
  ReadingVisitor(TTreeReader::State& state, std::string root) : s_(state), root_(std::move(root)) {}

  bool BeforeDirectory() override { return !s_.abandoned && !s_.readingStopped; }
  void DirectoryOpened(const std::string& path) override {
    ++opened_;
    underTemp_ = s_.options.sizeTemporaryFiles && IsBelowTemporaryFolder(root_, path);
    name_ = opened_ == 1 ? std::string() : LastComponent(path);
  }
  bool File(int, std::string_view, const std::string&) override {
    return !s_.abandoned && !s_.readingStopped;
  }
  void Listed(int dirFd, const DirectoryWalk::Listing& listing) override {
    auto out = std::make_unique<TListing>();
    out->kind = TListing::Kind::Listed;
    out->name = name_;
    // A record here takes at most what the kernel's did, plus the sizes of a measured file.
    out->Reserve(listing.Bytes());
    listing.ForEach([&](std::string_view name, unsigned char type) {
      TListing::Entry entry;
      entry.name = name;
      if (type == DT_DIR) {
        entry.directory = true;
      } else if (type == DT_REG || type == DT_LNK) {
        entry.symlink = type == DT_LNK;
        entry.fits = s_.options.matchMasks && Fits(name);
        // Measured by the second thread, from this directory's descriptor.
        entry.sized = entry.fits || underTemp_;
        out->sizesPending |= entry.sized;
      } else {
        return;  // sockets, FIFOs, devices are never listed
      }
      out->Add(entry);
    });
    if (out->sizesPending || s_.options.cacheFolder) {
      UniqueFd copy(::fcntl(dirFd, F_DUPFD_CLOEXEC, 0));
      if (copy.Valid()) out->folder = std::make_shared<UniqueFd>(std::move(copy));
      // Without a descriptor the files cannot be measured: they count as gone.
      if (!out->folder) out->TakeSizes(-1);
    }
    s_.Pass(std::move(out));
  }
  void NotEntered(int dirFd, std::string_view name) override {
    auto out = std::make_unique<TListing>();
    out->kind = TListing::Kind::NotEntered;
    out->name = std::string(name);
    struct stat st {};
    out->exists =
        ::fstatat(dirFd, out->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    s_.Pass(std::move(out));
  }

  bool RootEntered() const { return opened_ > 0; }

 private:
  static std::string LastComponent(const std::string& path) {
    const size_t end = path.size() - 1;  // the trailing "/"
    const size_t slash = path.rfind('/', end - 1);
    return path.substr(slash + 1, end - slash - 1);
  }

  bool Fits(std::string_view name) {
    bool decoded = false;
    for (const std::shared_ptr<const TMask>& mask : s_.options.masks) {
      if (mask->MatchesBytesExactly()) {
        if (mask->MatchesBytes(name)) return true;
        continue;
      }
      if (!decoded) {
        NameToCodePoints(name, characters_);
        decoded = true;
      }
      if (mask->Matches(characters_)) return true;
    }
    return false;
  }

  TTreeReader::State& s_;
  std::string root_;
  std::string name_;
  int opened_ = 0;
  bool underTemp_ = false;
  std::u32string characters_;
};

std::unique_ptr<TListing> Marker(TListing::Kind kind) {
  auto listing = std::make_unique<TListing>();
  listing->kind = kind;
  return listing;
}

void Read(const State& state) {
  const std::string& root = state->path;
  struct stat st {};
  // The cache folder checked is the folder emptied: the walk starts from this very descriptor.
  UniqueFd cache;
  if (state->options.cacheFolder && !root.empty())
    cache.Reset(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  const bool there =
      state->options.cacheFolder
          ? cache.Valid() && ::fstat(cache.Get(), &st) == 0 && UsableCacheFolder(cache.Get())
          : !root.empty() && ::stat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  if (!there) {
    state->Pass(Marker(TListing::Kind::RootMissing));
    return;
  }
  const std::unordered_set<std::string> mounts = MountPointsBelow(root);
  std::string path = root;
  if (path.back() != '/') path.push_back('/');
  ReadingVisitor visitor(*state, path);
  DirectoryWalk walk;
  if (cache.Valid())
    walk.Walk(WalkVolume{st.st_dev, &mounts}, cache.Get(), ".", path, true, visitor);
  else
    walk.Walk(WalkVolume{st.st_dev, &mounts}, AT_FDCWD, root.c_str(), path, true, visitor);
  if (!visitor.RootEntered()) {
    auto notEntered = Marker(TListing::Kind::NotEntered);
    notEntered->exists = true;
    if (!state->Pass(std::move(notEntered))) return;
  }
  state->Pass(Marker(TListing::Kind::End));
}

}  // namespace

TTreeReader::TTreeReader(std::string path, TReadOptions options, std::shared_ptr<TWakeUp> wake)
    : state_(std::make_shared<State>()) {
  state_->path = std::move(path);
  state_->options = std::move(options);
  state_->wake = std::move(wake);
  // The thread holds the state it works on and nothing else of the program.
  StartWorkerThread([state = state_] { Read(state); });
  StartWorkerThread([state = state_] { state->Measure(); });
}

TTreeReader::~TTreeReader() {
  Abandon();
}

std::unique_ptr<TListing> TTreeReader::Next() {
  if (taken_.empty()) {
    std::lock_guard lock(state_->mutex);
    if (state_->ready.empty()) {
      state_->asked = true;
      return nullptr;
    }
    taken_.swap(state_->ready);
    state_->readyBytes = 0;
    state_->space.notify_one();
  }
  std::unique_ptr<TListing> next = std::move(taken_.front());
  taken_.pop_front();
  return next;
}

void TTreeReader::StopReading() {
  state_->readingStopped = true;
}

void TTreeReader::Abandon() {
  {
    std::lock_guard lock(state_->mutex);
    state_->abandoned = true;
    state_->ready.clear();
    state_->asked = false;
  }
  state_->space.notify_all();
  {
    std::lock_guard lock(state_->measureMutex);
    state_->toMeasure.clear();
  }
  state_->measureWork.notify_all();
  state_->measureSpace.notify_all();
  taken_.clear();
}

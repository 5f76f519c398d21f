#include "helper/TreeReader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <queue>
#include <unordered_set>
#include <vector>

#include "helper/CacheFolderGuard.h"
#include "helper/FolderEntry.h"
#include "platform/BriefMutex.h"
#include "platform/Spares.h"
#include "platform/WorkerThreads.h"
#include "scan/MaskList.h"
#include "scan/TemporaryNames.h"

namespace {

constexpr size_t kReadSize = 32 * 1024;
// A listing record of the longest name the kernel hands out.
constexpr size_t kLongestRecord =
    (offsetof(struct dirent64, d_name) + NAME_MAX + 1 + 7) & ~size_t{7};
// After this many quick reads in a row, one thread fewer is at work.
constexpr size_t kQuickReads = 64;
// While the threads at work are no more than the processors, one read in this many is watched
// for sleeping: a cold tree sleeps in most of its reads, a warm one pays no system call for it.
constexpr size_t kWatchEvery = 16;
// Subfolders through that a folder's list of them drops at once, when they are half of it.
constexpr size_t kDropThrough = 32;
// A batch worth waking the taker for: fewer wake-ups than listings.
constexpr size_t kWakeListings = 1024;
constexpr size_t kWakeBytes = 256 * 1024;
// Folders and listings kept for reuse once the walk and the taker are through with them: a walk
// allocates about as many as it holds at once, not one of each per folder.
constexpr size_t kSpares = 1024;

// Empties a list kept for reuse; a large one gives its room back.
template <typename List>
void Empty(List& list) {
  list.clear();
  if (list.capacity() * sizeof(list[0]) > TListing::kKeptRoom) List().swap(list);
}

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Voluntary context switches of the calling thread so far.
long Sleeps() {
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_nvcsw;
}

size_t PoolThreads() {
  const char* set = std::getenv("VANTREL_READERS");
  const long threads = set != nullptr ? std::strtol(set, nullptr, 10) : 0;
  if (threads < 1) return TTreeReader::kDefaultThreads;
  return std::min<size_t>(static_cast<size_t>(threads), TTreeReader::kMaxThreads);
}

// One folder of the tree, from the moment it is queued for reading until the walk has taken it
// and everything below it.
struct Node {
  Node* parent = nullptr;
  size_t index = 0;  // among its parent's subfolders
  size_t depth = 0;
  // Empty for the root. Name, path and the subfolders' names are set by the thread that reads it.
  std::string name;
  std::string path;  // with its trailing "/"; only while the mount table names points below
  bool underTemp = false;
  bool read = false;
  bool taken = false;  // handed over (its listing left with it)
  std::unique_ptr<TListing> listing;
  size_t bytes = 0;
  FolderIdentity id;  // unknown, until needed, for a folder opened within the mount

  // Its subfolders' names in listing order; the first `queued` have nodes: live[i - liveStart]
  // for those from liveBase on (the others are through; the vector drops them now and then).
  std::string names;
  std::vector<std::uint32_t> nameEnds;
  size_t queued = 0;
  size_t opened = 0;   // subfolders a thread has begun to open
  size_t entered = 0;  // subfolders the handing over has gone into
  std::vector<std::unique_ptr<Node>> live;
  size_t liveStart = 0;
  size_t liveBase = 0;
  // Held while subfolders wait to be opened; null when it was closed to keep within the bound.
  std::shared_ptr<UniqueFd> fd;

  size_t Subfolders() const { return nameEnds.size(); }
  // Ready for another folder; the room of its names and lists stays.
  void Reset() {
    parent = nullptr;
    index = depth = 0;
    name.clear();
    path.clear();
    underTemp = read = taken = false;
    listing.reset();
    bytes = 0;
    id = FolderIdentity{};
    Empty(names);
    Empty(nameEnds);
    queued = opened = entered = 0;
    Empty(live);
    liveStart = liveBase = 0;
    fd.reset();
  }
  std::string_view Subfolder(size_t i) const {
    const size_t begin = i == 0 ? 0 : nameEnds[i - 1];
    return std::string_view(names).substr(begin, nameEnds[i] - begin);
  }
};

// Whether the next subfolder of a comes before the next one of b in the walk's order.
bool Before(const Node* a, const Node* b) {
  size_t ai = a->queued;
  size_t bi = b->queued;
  bool aDeeper = false;
  bool bDeeper = false;
  while (a->depth > b->depth) {
    ai = a->index;
    a = a->parent;
    aDeeper = true;
  }
  while (b->depth > a->depth) {
    bi = b->index;
    b = b->parent;
    bDeeper = true;
  }
  while (a != b) {
    ai = a->index;
    bi = b->index;
    a = a->parent;
    b = b->parent;
  }
  if (ai != bi) return ai < bi;
  // One lies below the other's subfolder: the one above comes first.
  return bDeeper && !aDeeper;
}

struct Later {
  bool operator()(const Node* a, const Node* b) const { return Before(b, a); }
};

// Whether folder a comes before folder b in the walk's order.
bool Earlier(const Node* a, const Node* b) {
  if (a->depth > b->depth) {
    while (a->depth > b->depth) a = a->parent;
    return a != b && Earlier(a, b);  // b above a comes first
  }
  if (b->depth > a->depth) {
    while (b->depth > a->depth) b = b->parent;
    return a == b || Earlier(a, b);
  }
  while (a->parent != b->parent) {
    a = a->parent;
    b = b->parent;
  }
  return a->index < b->index;
}

struct LaterFolder {
  bool operator()(const Node* a, const Node* b) const { return Earlier(b, a); }
};

// What a thread learns of one folder, besides its subfolders' names (in the node).
struct FolderRead {
  std::unique_ptr<TListing> listing;
  std::shared_ptr<UniqueFd> fd;  // when it has subfolders, or the cache cleaning keeps it
  FolderIdentity id;
  bool readsFillToTheEnd = false;  // the root's: its file system's (ReadsFillToTheEnd)
};

}  // namespace

struct TTreeReader::State {
  std::string path;
  TReadOptions options;
  std::shared_ptr<TWakeUp> wake;
  size_t maxAhead = kMaxAhead;
  size_t maxNear = kMaxAhead * kNearFactor;
  size_t maxOpen = kMaxOpenFolders;
  std::unordered_set<std::string> mounts;
  WalkVolume volume;
  UniqueFd cacheRoot;  // the cache folder as checked, the walk's start (set by the root's reader)
  bool readsFillToTheEnd = false;  // of the walk's volume, set once the root is read

  TBriefMutex mutex;
  std::condition_variable_any work;
  std::unique_ptr<Node> root;
  std::vector<Node*> walk;  // the handing over: the root down to the folder it is in
  std::priority_queue<Node*, std::vector<Node*>, Later>
      waiting;  // folders with subfolders to queue
  // Queued folders, the earliest in the walk's order read first: the walk's next need is never
  // behind folders it needs later.
  std::priority_queue<Node*, std::vector<Node*>, LaterFolder> toRead;
  std::vector<Node*> holding;  // folders that hold a descriptor for their subfolders
  Node* farthest = nullptr;    // the latest in the walk's order of those queued, until taken
  size_t reading = 0;
  size_t busy = 0;  // threads at work (they look for the next folder themselves)
  // Threads that may be at work at once: as many as the processors while folders come from
  // the cache, more (up to the pool) while reads wait on the disk.
  size_t threads = 1;
  std::weak_ptr<State> self;
  size_t processors = 1;
  size_t allowed = 1;
  size_t quick = 0;  // reads in a row that did not wait
  size_t idle = 0;   // threads asleep, and of those already woken
  size_t woken = 0;
  size_t held = 0;  // read, not yet handed over
  size_t heldBytes = 0;
  std::deque<std::unique_ptr<TListing>> ready;
  size_t readyBytes = 0;
  // Folders the walk is through with, emptied by a thread once it has let go of the lock.
  std::vector<std::unique_ptr<Node>> finished;
  Spares<Node> spareNodes;
  Spares<TListing> spareListings;  // emptied by the taker
  size_t handedOver = 0;
  bool asked = false;
  bool stopped = false;
  bool abandoned = false;
  bool over = false;

  size_t Ahead() const { return toRead.size() + reading + held + ready.size(); }

  void Hand(std::unique_ptr<TListing> listing) {
    readyBytes += listing->Bytes();
    ready.push_back(std::move(listing));
  }
  // After anything was handed over: the taker that asked is woken for a batch, the first
  // listing, or the end.
  void WakeTaker() {
    if (asked && !ready.empty() &&
        (handedOver == 0 || over || ready.size() >= kWakeListings || readyBytes >= kWakeBytes)) {
      asked = false;
      wake->Raise();
    }
  }
  void End() {
    auto end = std::make_unique<TListing>();
    end->kind = TListing::Kind::End;
    Hand(std::move(end));
    over = true;
    work.notify_all();
  }

  // Whether the handing over waits for exactly this folder's next subfolder to be queued.
  bool WalkWaitsFor(const Node* parent) const {
    return !walk.empty() && walk.back() == parent && parent->taken &&
           parent->entered == parent->queued;
  }

  // Hands over, in the walk's order, what has been read.
  void HandOver() {
    while (!over && !abandoned) {
      if (walk.empty()) {
        End();
        return;
      }
      Node* top = walk.back();
      if (!top->taken) {
        if (!top->read) {
          // The root's test and listing, once begun, are still handed over.
          if (stopped && top->depth > 0) End();
          return;
        }
        top->taken = true;
        if (top == farthest) farthest = nullptr;
        --held;
        heldBytes -= top->bytes;
        Hand(std::move(top->listing));
        continue;
      }
      if (top->entered < top->Subfolders()) {
        if (top->entered >= top->queued) {
          if (stopped) End();
          return;
        }
        walk.push_back(top->live[top->entered++ - top->liveStart].get());
        continue;
      }
      // Everything below it is through.
      walk.pop_back();
      if (walk.empty()) {
        finished.push_back(std::move(root));
      } else {
        Node* parent = walk.back();
        finished.push_back(std::move(parent->live[parent->liveBase++ - parent->liveStart]));
        const size_t through = parent->liveBase - parent->liveStart;
        if (through >= kDropThrough && 2 * through >= parent->live.size()) {
          parent->live.erase(parent->live.begin(),
                             parent->live.begin() + static_cast<std::ptrdiff_t>(through));
          parent->liveStart = parent->liveBase;
        }
      }
    }
  }

  // Queues subfolders for reading, earliest in the walk first, within the bounds.
  // looking: the calling thread looks for its next folder itself right after.
  void Queue(bool looking = false) {
    while (!stopped && !abandoned && !waiting.empty()) {
      Node* parent = waiting.top();
      std::unique_ptr<Node> child = TakeSpare(spareNodes);
      if (!child) child = std::make_unique<Node>();
      child->parent = parent;
      child->index = parent->queued;
      child->depth = parent->depth + 1;
      // Within the window; past it, still a folder that comes before the farthest one read ahead
      // (the walk reaches it sooner), up to the hard bound; and always the walk's next need.
      const bool within = Ahead() < maxAhead || (Ahead() < maxNear && farthest != nullptr &&
                                                 Earlier(child.get(), farthest));
      if (!WalkWaitsFor(parent) && (!within || heldBytes + readyBytes >= kMaxAheadBytes)) {
        spareNodes.push_back(std::move(child));
        break;
      }
      waiting.pop();
      if (farthest == nullptr || Earlier(farthest, child.get())) farthest = child.get();
      toRead.push(child.get());
      parent->live.push_back(std::move(child));
      if (++parent->queued < parent->Subfolders()) waiting.push(parent);
    }
    // A thread that sleeps is woken for each folder the caller will not come to at once.
    for (size_t more = toRead.size();
         more > (looking ? 1 : 0) && idle > woken && busy + woken < allowed; --more) {
      ++woken;
      work.notify_one();
    }
  }

  // Keeps at most kMaxOpenFolders descriptors for subfolders to come: the folder needed last
  // (the shallowest) gives its up first; the root keeps its.
  void Hold(Node* node, std::shared_ptr<UniqueFd> fd) {
    node->fd = std::move(fd);
    holding.push_back(node);
    if (holding.size() <= maxOpen) return;
    auto shallowest = holding.end();
    for (auto it = holding.begin(); it != holding.end(); ++it) {
      if ((*it)->depth == 0) continue;
      if (shallowest == holding.end() || (*it)->depth < (*shallowest)->depth) shallowest = it;
    }
    if (shallowest == holding.end()) return;
    // Its subfolders are opened again by name, and what is opened must be this very folder:
    // one the kernel cannot identify is kept open rather than lost.
    Node* givenUp = *shallowest;
    if (!givenUp->id.known && !IdentifyFolder(givenUp->fd->Get(), givenUp->id)) return;
    givenUp->fd.reset();
    holding.erase(shallowest);
  }
  void LetGo(Node* node) {
    // The root keeps its to the end: every folder given up is opened again from it at worst.
    if (node->depth == 0) return;
    node->fd.reset();
    std::erase(holding, node);
  }

  void Done(Node* node, FolderRead result) {
    --reading;
    if (abandoned) return;
    // The root is tested and read by one thread, at once; the others start once there is more.
    if (node->depth == 0 && !node->nameEnds.empty())
      for (size_t i = threads; i > 1; --i)
        StartWorkerThread([state = self.lock()] { state->Run(); });
    node->read = true;
    node->id = result.id;
    node->bytes = result.listing->Bytes();
    node->listing = std::move(result.listing);
    ++held;
    heldBytes += node->bytes;
    if (!node->nameEnds.empty()) {
      Hold(node, std::move(result.fd));
      waiting.push(node);
    }
    HandOver();
    Queue(true);
    WakeTaker();
  }

  void Run();
  bool TestRoot();

  void Paced(bool slow) {
    if (slow) {
      quick = 0;
      if (allowed < threads) {
        ++allowed;
        work.notify_one();
      }
    } else if (++quick >= kQuickReads && allowed > processors) {
      quick = 0;
      --allowed;
    }
  }
};

namespace {

// Tests a name against the masks in list order, decoding it once when a mask needs characters.
class MaskTest {
 public:
  explicit MaskTest(const TReadOptions& options) : options_(options) {}
  bool Fits(std::string_view name) {
    if (!options_.matchMasks) return false;
    bool decoded = false;
    for (const std::shared_ptr<const TMask>& mask : options_.masks) {
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

 private:
  const TReadOptions& options_;
  std::u32string characters_;
};

std::unique_ptr<TListing> NotEntered(int parentFd, const std::string& name) {
  auto listing = std::make_unique<TListing>();
  listing->kind = TListing::Kind::NotEntered;
  listing->name = name;
  struct stat st {};
  listing->exists =
      ::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
  return listing;
}

// One thread's way of reading folders: its buffer stays between them.
class FolderReader {
 public:
  explicit FolderReader(const TTreeReader::State& state) : s_(state), masks_(state.options) {}

  // Enters the folder below parentFd (isRoot: the walk's root, named by the node's path or
  // "." below the cache folder), lists it whole into spare (when there is one), tests its names,
  // takes its sizes and keeps its subfolders' names in the node.
  FolderRead Read(Node& node, int parentFd, std::optional<dev_t> parentDevice, bool isRoot,
                  std::unique_ptr<TListing> spare) {
    FolderRead result;
    UniqueFd fd;
    const char* name = !isRoot ? node.name.c_str() : s_.cacheRoot.Valid() ? "." : s_.path.c_str();
    const bool entered =
        EnterFolder(parentFd, name, isRoot, parentDevice, s_.volume, node.path, fd, result.id);
    // The walk never leaves its volume, so the root's file system is every folder's.
    if (entered && isRoot) result.readsFillToTheEnd = ReadsFillToTheEnd(fd.Get());
    if (!entered || !List(fd.Get(), isRoot ? result.readsFillToTheEnd : s_.readsFillToTheEnd)) {
      result.listing = NotEntered(parentFd, node.name);
      // A root that cannot be listed is still there: the walk found it a directory.
      if (isRoot) result.listing->exists = true;
      return result;
    }
    std::unique_ptr<TListing> listing = spare ? std::move(spare) : std::make_unique<TListing>();
    listing->kind = TListing::Kind::Listed;
    listing->name = node.name;
    // A record here takes at most what the kernel's did, plus the sizes of a measured file.
    listing->Reserve(used_);
    for (size_t at = 0; at < used_;) {
      auto* entry = reinterpret_cast<struct dirent64*>(buffer_.data() + at);
      at += entry->d_reclen;
      if (IsDotOrDotDot(entry->d_name)) continue;
      if (entry->d_type == DT_UNKNOWN) entry->d_type = TypeByStat(fd.Get(), entry->d_name);
      const std::string_view entryName(entry->d_name, std::strlen(entry->d_name));
      TListing::Entry out;
      out.name = entryName;
      if (entry->d_type == DT_DIR) {
        out.directory = true;
        node.names.append(entryName);
        node.nameEnds.push_back(static_cast<std::uint32_t>(node.names.size()));
      } else if (entry->d_type == DT_REG || entry->d_type == DT_LNK) {
        out.symlink = entry->d_type == DT_LNK;
        out.fits = masks_.Fits(entryName);
        out.sized = out.fits || node.underTemp;
        if (!out.sized && s_.options.onlyUsedFiles) continue;
        listing->sizesPending |= out.sized;
      } else {
        continue;  // sockets, FIFOs, devices are never listed
      }
      listing->Add(out);
    }
    if (listing->sizesPending && !s_.options.sizesLater) listing->TakeSizes(fd.Get());
    if (!node.nameEnds.empty() || s_.options.cacheFolder) {
      result.fd = std::make_shared<UniqueFd>(std::move(fd));
      // The cache cleaning deletes relative to the very folder it listed.
      if (s_.options.cacheFolder) listing->folder = result.fd;
    }
    result.listing = std::move(listing);
    return result;
  }

 private:
  // The whole listing into the buffer; false when it could not even begin.
  bool List(int fd, bool fillsToTheEnd) {
    used_ = 0;
    for (;;) {
      if (buffer_.size() - used_ < kReadSize)
        buffer_.resize(std::max(buffer_.size() * 2, used_ + kReadSize));
      const ssize_t got = ::getdents64(fd, buffer_.data() + used_, buffer_.size() - used_);
      if (got < 0) {
        if (errno == EINTR) continue;
        break;  // a listing cut short keeps what was read
      }
      if (got == 0) break;
      used_ += static_cast<size_t>(got);
      // Room left for any record: the file system stopped at the folder's end.
      if (fillsToTheEnd && buffer_.size() - used_ >= kLongestRecord) break;
    }
    return used_ > 0;
  }

  const TTreeReader::State& s_;
  MaskTest masks_;
  std::vector<char> buffer_;
  size_t used_ = 0;
};

// Opens a folder again whose descriptor was given up, from the nearest folder above it that
// holds one, one name at a time and never through a link; what it reaches must be the folder that
// was read (device, inode), whatever was renamed on the way there.
UniqueFd Reopen(std::shared_ptr<UniqueFd> from, const std::vector<const Node*>& down) {
  UniqueFd at;
  int current = from->Get();
  for (const Node* folder : down) {
    UniqueFd next(
        ::openat(current, folder->name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.Valid()) return UniqueFd();
    at = std::move(next);
    current = at.Get();
  }
  const FolderIdentity& read = down.back()->id;
  FolderIdentity reached;
  if (!read.known || !IdentifyFolder(at.Get(), reached) || reached.device != read.device ||
      reached.inode != read.inode)
    return UniqueFd();
  return at;
}

}  // namespace

void TTreeReader::State::Run() {
  FolderReader reader(*this);
  size_t reads = 0;
  std::vector<std::unique_ptr<Node>> through;  // `finished` taken out of the lock to be emptied
  std::unique_lock lock(mutex);
  ++busy;
  for (;;) {
    if (!abandoned && !over && (toRead.empty() || busy > allowed)) {
      --busy;
      ++idle;
      // Each wake-up, found work or not, takes one of those promised.
      while (!abandoned && !over && (toRead.empty() || busy >= allowed)) {
        work.wait(lock);
        if (woken > 0) --woken;
      }
      --idle;
      ++busy;
    }
    if (abandoned || over) return;
    Node* node = toRead.top();
    toRead.pop();
    ++reading;
    Node* parent = node->parent;
    FolderRead result;
    bool slow = false;
    if (parent == nullptr) {
      lock.unlock();
      if (!TestRoot()) {
        lock.lock();
        --reading;
        auto missing = std::make_unique<TListing>();
        missing->kind = TListing::Kind::RootMissing;
        Hand(std::move(missing));
        over = true;
        work.notify_all();
        WakeTaker();
        return;
      }
      result = reader.Read(*node, cacheRoot.Valid() ? cacheRoot.Get() : AT_FDCWD, 0, true, nullptr);
      lock.lock();
      readsFillToTheEnd = result.readsFillToTheEnd;
    } else {
      std::shared_ptr<UniqueFd> parentFd = parent->fd;
      std::shared_ptr<UniqueFd> from;
      std::vector<const Node*> down;
      if (!parentFd) {
        // Given up to keep within the bound: opened again from the nearest folder that holds one.
        const Node* above = parent;
        while (!above->fd) {
          down.push_back(above);
          above = above->parent;
        }
        std::reverse(down.begin(), down.end());
        from = above->fd;
      }
      // Its last subfolder on its way: the folder's descriptor is this thread's to let go.
      if (++parent->opened == parent->Subfolders()) LetGo(parent);
      const std::optional<dev_t> parentDevice =
          parent->id.known ? std::optional<dev_t>(parent->id.device) : std::nullopt;
      const bool watchAll = allowed > processors;
      std::unique_ptr<TListing> spare = TakeSpare(spareListings);
      through.swap(finished);
      lock.unlock();
      for (const std::unique_ptr<Node>& done : through) done->Reset();
      // The parent's names stay as they are once read: the folder is named outside the lock.
      node->name = std::string(parent->Subfolder(node->index));
      // Paths serve the mount table alone.
      if (!mounts.empty()) node->path = parent->path + node->name + '/';
      node->underTemp =
          options.sizeTemporaryFiles && (parent->underTemp || IsTemporaryFolderName(node->name));
      if (!parentFd) {
        UniqueFd reopened = Reopen(from, down);
        // Moved away meanwhile: nothing below it is walked.
        if (reopened.Valid()) {
          parentFd = std::make_shared<UniqueFd>(std::move(reopened));
          lock.lock();
          if (!abandoned && parent->opened < parent->Subfolders() && !parent->fd)
            Hold(parent, parentFd);
          lock.unlock();
        }
      }
      if (parentFd) {
        // A read that had to sleep (the thread gave up its processor) waited on the disk.
        // A pool no larger than the processors has no one more to let work: nothing to watch.
        const bool watched = threads > processors && (watchAll || reads++ % kWatchEvery == 0);
        const long before = watched ? Sleeps() : 0;
        result = reader.Read(*node, parentFd->Get(), parentDevice, false, std::move(spare));
        slow = watched && Sleeps() != before;
      } else {
        result.listing = std::make_unique<TListing>();
        result.listing->kind = TListing::Kind::NotEntered;
        result.listing->name = node->name;
      }
      parentFd.reset();
      lock.lock();
      MoveSpares(through, spareNodes, kSpares);
      through.clear();
    }
    Paced(slow);
    Done(node, std::move(result));
  }
}

bool TTreeReader::State::TestRoot() {
  // The cache folder checked is the folder emptied: the walk starts from this very descriptor. A
  // drive must be a directory.
  struct stat st {};
  if (options.cacheFolder && !path.empty())
    cacheRoot.Reset(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  const bool there = options.cacheFolder
                         ? cacheRoot.Valid() && ::fstat(cacheRoot.Get(), &st) == 0 &&
                               UsableCacheFolder(cacheRoot.Get())
                         : !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  if (!there) return false;
  // Read afresh for every walk: a volume mounted while the program runs counts as well.
  mounts = MountPointsBelow(path);
  volume = WalkVolume{st.st_dev, &mounts};
  return true;
}

TTreeReader::TTreeReader(std::string path, TReadOptions options, std::shared_ptr<TWakeUp> wake)
    : state_(std::make_shared<State>()) {
  State& s = *state_;
  s.path = std::move(path);
  s.options = std::move(options);
  s.wake = std::move(wake);
  if (s.options.cacheFolder) {
    s.maxAhead = kMaxCacheAhead;
    s.maxNear = kMaxCacheAhead * kCacheNearFactor;
  }
  // Within what the process may open, with room for everything else.
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    s.maxOpen = std::clamp<size_t>(static_cast<size_t>(limit.rlim_cur) / 8, 4, kMaxOpenFolders);
  s.root = std::make_unique<Node>();
  s.root->path = !s.path.empty() && s.path.back() == '/' ? s.path : s.path + '/';
  s.walk.push_back(s.root.get());
  s.toRead.push(s.root.get());
  // The threads hold the state they work on and nothing else of the program.
  s.threads = PoolThreads();
  cpu_set_t cpus;
  s.processors = ::sched_getaffinity(0, sizeof cpus, &cpus) == 0
                     ? static_cast<size_t>(std::max(1, CPU_COUNT(&cpus)))
                     : 1;
  s.allowed = std::min(s.threads, s.processors);
  s.self = state_;
  StartWorkerThread([state = state_] { state->Run(); });
}

TTreeReader::~TTreeReader() {
  Abandon();
}

std::unique_ptr<TListing> TTreeReader::Next() {
  if (taken_.empty()) {
    std::lock_guard lock(state_->mutex);
    State& s = *state_;
    if (s.ready.empty()) {
      s.asked = true;
      return nullptr;
    }
    taken_.swap(s.ready);
    s.handedOver += taken_.size();
    MoveSpares(givenBack_, s.spareListings, kSpares);
    s.readyBytes = 0;
    // Room for more.
    s.Queue();
  }
  std::unique_ptr<TListing> next = std::move(taken_.front());
  taken_.pop_front();
  return next;
}

void TTreeReader::GiveBack(std::unique_ptr<TListing> listing) {
  TListing::KeepForReuse(givenBack_, std::move(listing), kSpares);
}

void TTreeReader::StopReading() {
  std::lock_guard lock(state_->mutex);
  state_->stopped = true;
  state_->HandOver();
  state_->WakeTaker();
}

void TTreeReader::Abandon() {
  std::deque<std::unique_ptr<TListing>> dropped;
  {
    std::lock_guard lock(state_->mutex);
    state_->abandoned = true;
    dropped.swap(state_->ready);
    state_->toRead = {};
    state_->asked = false;
  }
  state_->work.notify_all();
  taken_.clear();
}

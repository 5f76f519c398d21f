#include "helper/FileSystemHelper.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "helper/CacheFolderGuard.h"
#include "helper/Channel.h"
#include "helper/FileRemover.h"
#include "helper/FileSizes.h"
#include "helper/TreeReader.h"
#include "platform/TextCodec.h"
#include "platform/WorkerThreads.h"

namespace {

using channel::Message;
using channel::Writer;

// A tree's listings go in messages of about this much, or when the reader has had nothing more
// ready for a moment (the first listing and the end go at once).
constexpr size_t kSendListings = 1024;
constexpr size_t kSendBytes = 256 * 1024;
constexpr std::chrono::milliseconds kSendPause(1);
// While removals run, their results are sent at least this often, or whenever this many wait.
constexpr std::chrono::milliseconds kResultPause(5);
constexpr size_t kResultBatch = 256;
// How long a pump waits for its reader before looking whether it was abandoned.
constexpr std::chrono::milliseconds kPumpPause(100);
// Threads that measure the parts of a total: as many as the tree's reading uses, since on a cold
// cache each stat waits on the disk, not on the processor.
constexpr int kMeasurers = 8;

// The helper's end of the channel: every thread sends through it, one message batch at a time.
class Outbox {
 public:
  explicit Outbox(int fd) : fd_(fd) {}
  bool Send(const Writer& messages) {
    std::lock_guard lock(mutex_);
    if (!gone_ && !channel::SendAll(fd_.Get(), messages.Bytes())) gone_ = true;
    return !gone_;
  }
  int Fd() const { return fd_.Get(); }

 private:
  std::mutex mutex_;
  UniqueFd fd_;
  bool gone_ = false;
};

// The folders of cache listings, by the id the program names them with in deletions.
class Folders {
 public:
  std::uint32_t Add(std::shared_ptr<UniqueFd> folder) {
    std::lock_guard lock(mutex_);
    const std::uint32_t id = next_++;
    byId_.emplace(id, std::move(folder));
    return id;
  }
  std::shared_ptr<UniqueFd> Find(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    const auto found = byId_.find(id);
    return found == byId_.end() ? nullptr : found->second;
  }
  void Release(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    byId_.erase(id);
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::uint32_t, std::shared_ptr<UniqueFd>> byId_;
  std::uint32_t next_ = 1;
};

struct Shared {
  explicit Shared(int fd) : out(fd) {}
  Outbox out;
  Folders folders;
};

// One tree being read: its reader, and what the program has not yet taken of it.
struct Tree {
  std::uint32_t id = 0;
  std::shared_ptr<TWakeUp> wake = std::make_shared<TWakeUp>();
  std::unique_ptr<TTreeReader> reader;
  std::mutex mutex;
  std::condition_variable credit;
  std::uint32_t untakenListings = 0;
  std::uint64_t untakenBytes = 0;
  bool abandoned = false;
  bool over = false;  // the pump has sent the end

  bool Abandoned() {
    std::lock_guard lock(mutex);
    return abandoned;
  }
  void Abandon() {
    {
      std::lock_guard lock(mutex);
      abandoned = true;
    }
    credit.notify_all();
    wake->Raise();
  }
  void Took(std::uint32_t listings, std::uint64_t bytes) {
    {
      std::lock_guard lock(mutex);
      untakenListings -= std::min(untakenListings, listings);
      untakenBytes -= std::min(untakenBytes, bytes);
    }
    credit.notify_all();
  }
  bool RoomFor() const {
    return untakenListings == 0 ||
           (untakenListings < channel::kWindowListings && untakenBytes < channel::kWindowBytes);
  }
};

// Sends a tree's listings as its reader hands them over, within what the program has room for.
// The reader is used by this thread alone (the dispatcher only flags an abandoned tree).
void Pump(const std::shared_ptr<Tree>& tree, Shared& shared) {
  Writer batch;
  size_t inBatch = 0;
  bool sentAny = false;
  const auto flush = [&] {
    if (inBatch == 0) return true;
    batch.End();
    inBatch = 0;
    const bool sent = shared.out.Send(batch);
    batch.Clear();
    return sent;
  };
  for (;;) {
    if (tree->Abandoned()) break;
    std::unique_ptr<TListing> listing = tree->reader->Next();
    if (!listing) {
      // A batch begun waits a moment for more before it goes.
      if (inBatch > 0 && sentAny && tree->wake->WaitBlocking(kSendPause)) continue;
      if (!flush()) break;
      tree->wake->WaitBlocking(kPumpPause);
      continue;
    }
    {
      std::unique_lock lock(tree->mutex);
      if (!tree->RoomFor()) {
        // The program cannot take what it was not sent.
        lock.unlock();
        if (!flush()) break;
        lock.lock();
        tree->credit.wait(lock, [&] { return tree->abandoned || tree->RoomFor(); });
        if (tree->abandoned) break;
      }
      ++tree->untakenListings;
      tree->untakenBytes += listing->Bytes();
    }
    const std::uint32_t folder = listing->folder ? shared.folders.Add(listing->folder) : 0;
    if (inBatch == 0) batch.Begin(Message::Listings, tree->id);
    channel::PutListing(batch, *listing, folder);
    ++inBatch;
    const bool last =
        listing->kind == TListing::Kind::End || listing->kind == TListing::Kind::RootMissing;
    tree->reader->GiveBack(std::move(listing));
    if (last || !sentAny || inBatch >= kSendListings || batch.BodySize() >= kSendBytes) {
      sentAny = true;
      if (!flush()) break;
    }
    if (last) {
      std::lock_guard lock(tree->mutex);
      tree->over = true;
      return;
    }
  }
  tree->reader->Abandon();
}

// What the worker thread does, in the order asked.
struct Work {
  Message type = Message::Measure;
  std::uint32_t stream = 0;
  Removal how = Removal::Delete;
  bool newCommand = false;
  std::vector<TFoundFile> files;
  std::vector<std::pair<std::shared_ptr<UniqueFd>, std::string>> cached;
  std::string path;
  std::uint32_t first = 0;  // Measure: the first file's place in the program's list
  bool identify = false;    // Measure: each file's identity too
  std::shared_ptr<std::atomic<bool>> cut;
};

// Results of the removal batch that runs, on their way to the program.
class Results {
 public:
  explicit Results(Shared& shared) : shared_(shared) {}

  // A new batch; the previous one's results have all been handed on.
  void Begin(std::uint32_t stream) {
    std::unique_lock lock(mutex_);
    taken_.wait(lock, [this] { return quit_ || (pending_.empty() && !over_); });
    stream_ = stream;
    first_ = 0;
    running_ = true;
    // The flusher's pauses start with the batch: a removal that blocks early must not hold back
    // the results of the ones before it.
    ready_.notify_one();
  }
  void Add(bool removed) {
    std::lock_guard lock(mutex_);
    pending_.push_back(removed ? 1 : 0);
    if (pending_.size() >= kResultBatch) ready_.notify_one();
  }
  void Over() {
    std::lock_guard lock(mutex_);
    over_ = true;
    ready_.notify_one();
  }
  void Quit() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    ready_.notify_all();
    taken_.notify_all();
  }

  // The flusher's loop.
  void Flush() {
    std::unique_lock lock(mutex_);
    for (;;) {
      ready_.wait(lock, [this] { return quit_ || running_; });
      if (quit_) return;
      ready_.wait_for(lock, kResultPause,
                      [this] { return quit_ || over_ || pending_.size() >= kResultBatch; });
      if (quit_) return;
      Writer out;
      if (!pending_.empty()) {
        out.Begin(Message::Removed, stream_);
        out.U32(first_);
        out.Put(pending_.data(), pending_.size());
        out.End();
        first_ += static_cast<std::uint32_t>(pending_.size());
        pending_.clear();
      }
      const bool over = over_;
      if (over) {
        out.Begin(Message::BatchOver, stream_);
        out.End();
        over_ = false;
        running_ = false;
      }
      lock.unlock();
      if (!out.Empty()) shared_.out.Send(out);
      lock.lock();
      if (over) taken_.notify_all();
    }
  }

 private:
  Shared& shared_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable taken_;
  std::string pending_;
  std::uint32_t stream_ = 0;
  std::uint32_t first_ = 0;
  bool running_ = false;
  bool over_ = false;
  bool quit_ = false;
};

// The worker: removals, measurements and questions, one at a time, in the order asked.
class Worker {
 public:
  explicit Worker(std::shared_ptr<Shared> shared)
      : shared_(std::move(shared)), results_(*shared_) {}

  void Push(Work work) {
    {
      std::lock_guard lock(mutex_);
      if (work.cut) cuts_[work.stream] = work.cut;
      queue_.push_back(std::move(work));
    }
    more_.notify_one();
  }
  void Cut(std::uint32_t stream) {
    std::lock_guard lock(mutex_);
    const auto found = cuts_.find(stream);
    if (found != cuts_.end()) found->second->store(true);
  }
  void Quit() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
      for (auto& [stream, cut] : cuts_) cut->store(true);
    }
    more_.notify_all();
    results_.Quit();
  }

  void Loop() {
    for (;;) {
      Work work;
      {
        std::unique_lock lock(mutex_);
        more_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (quit_) return;
        work = std::move(queue_.front());
        queue_.pop_front();
      }
      Run(work);
      if (work.cut) {
        std::lock_guard lock(mutex_);
        cuts_.erase(work.stream);
      }
    }
  }
  void FlushResults() { results_.Flush(); }

 private:
  void Run(Work& work) {
    switch (work.type) {
      case Message::RemoveFiles:
        results_.Begin(work.stream);
        if (work.newCommand || !remover_ || how_ != work.how) {
          remover_ = std::make_unique<TFileRemover>(work.how);
          how_ = work.how;
        }
        for (const TFoundFile& file : work.files) {
          if (work.cut->load()) break;
          results_.Add(remover_->Remove(file));
        }
        results_.Over();
        break;
      case Message::RemoveCached:
        results_.Begin(work.stream);
        for (const auto& [folder, name] : work.cached) {
          if (work.cut->load()) break;
          results_.Add(folder && RemoveCachedFile(folder->Get(), name.c_str()));
        }
        results_.Over();
        break;
      case Message::Measure: {
        TFileSizes sizes;
        Writer out;
        out.Begin(Message::Sizes, work.stream);
        out.U32(work.first);
        out.U8(work.identify ? 1 : 0);
        for (const TFoundFile& file : work.files) {
          struct stat st {};
          // Only a file or a link counts: not a folder put in its place.
          const bool found = sizes.Stat(file, st) && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode));
          out.U64(found ? static_cast<std::uint64_t>(st.st_size) : 0);
          if (!work.identify) continue;
          out.U64(static_cast<std::uint64_t>(st.st_dev));
          out.U64(static_cast<std::uint64_t>(st.st_ino));
          out.U8(!found ? 0 : S_ISREG(st.st_mode) ? 1 : 2);
        }
        out.End();
        shared_->out.Send(out);
        break;
      }
      case Message::CacheFolder: {
        const UniqueFd fd(::open(work.path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        Writer out;
        out.Begin(Message::Answer, work.stream);
        out.U8(fd.Valid() && UsableCacheFolder(fd.Get()) ? 1 : 0);
        out.End();
        shared_->out.Send(out);
        break;
      }
      default:
        break;
    }
  }

  // Only what is still a file or link is removed: never a socket or FIFO put in its place.
  static bool RemoveCachedFile(int folderFd, const char* name) {
    struct stat st {};
    if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
      return false;
    return ::unlinkat(folderFd, name, 0) == 0;  // a failure leaves the file
  }

  std::shared_ptr<Shared> shared_;
  Results results_;
  std::mutex mutex_;
  std::condition_variable more_;
  std::deque<Work> queue_;
  std::unordered_map<std::uint32_t, std::shared_ptr<std::atomic<bool>>> cuts_;
  bool quit_ = false;
  std::unique_ptr<TFileRemover> remover_;  // the Delete command's, kept between its batches
  Removal how_ = Removal::Delete;
};

// The dispatching thread's side: reads each message and hands it on, never touching a drive.
class Dispatcher {
 public:
  explicit Dispatcher(int fd)
      : shared_(std::make_shared<Shared>(fd)), worker_(std::make_shared<Worker>(shared_)) {
    StartWorkerThread([worker = worker_] { worker->Loop(); });
    StartWorkerThread([worker = worker_] { worker->FlushResults(); });
    for (int i = kMeasurers; i > 0; --i) {
      measurers_.push_back(std::make_shared<Worker>(shared_));
      StartWorkerThread([worker = measurers_.back()] { worker->Loop(); });
    }
  }
  ~Dispatcher() {
    std::lock_guard lock(mutex_);
    for (auto& [id, tree] : trees_) tree->Abandon();
    worker_->Quit();
    for (const std::shared_ptr<Worker>& measurer : measurers_) measurer->Quit();
  }

  int Fd() const { return shared_->out.Fd(); }
  Shared* Notes() const { return shared_.get(); }

  // False when the message breaks the format.
  bool Handle(const channel::Head& head, std::string_view body) {
    channel::Reader in(body);
    switch (head.type) {
      case Message::ReadTree:
        StartTree(head.stream, in);
        break;
      case Message::Taken: {
        const std::uint32_t listings = in.U32();
        const std::uint32_t bytes = in.U32();
        if (const std::shared_ptr<Tree> tree = FindTree(head.stream)) tree->Took(listings, bytes);
        break;
      }
      case Message::StopReading:
        if (const std::shared_ptr<Tree> tree = FindTree(head.stream)) tree->reader->StopReading();
        break;
      case Message::Abandon: {
        std::shared_ptr<Tree> tree;
        {
          std::lock_guard lock(mutex_);
          const auto found = trees_.find(head.stream);
          if (found != trees_.end()) {
            tree = found->second;
            trees_.erase(found);
          }
        }
        if (tree) tree->Abandon();
        Writer out;
        out.Begin(Message::Abandoned, head.stream);
        out.End();
        shared_->out.Send(out);
        break;
      }
      case Message::Measure:
        measurers_[nextMeasurer_++ % measurers_.size()]->Push(ReadWork(head, in));
        break;
      case Message::RemoveFiles:
      case Message::RemoveCached:
      case Message::CacheFolder:
        worker_->Push(ReadWork(head, in));
        break;
      case Message::Cut:
        worker_->Cut(head.stream);
        break;
      case Message::Release:
        for (std::uint32_t n = in.U32(); n > 0 && !in.Bad(); --n)
          shared_->folders.Release(in.U32());
        break;
      default:
        return false;
    }
    return !in.Bad();
  }

 private:
  std::shared_ptr<Tree> FindTree(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    const auto found = trees_.find(id);
    if (found == trees_.end()) return nullptr;
    if (found->second->Abandoned()) {
      trees_.erase(found);
      return nullptr;
    }
    return found->second;
  }

  void StartTree(std::uint32_t id, channel::Reader& in) {
    const std::uint8_t flags = in.U8();
    TReadOptions options;
    options.matchMasks = (flags & 1) != 0;
    options.sizeTemporaryFiles = (flags & 2) != 0;
    options.cacheFolder = (flags & 4) != 0;
    options.onlyUsedFiles = (flags & 8) != 0;
    options.sizesLater = (flags & 16) != 0;
    for (std::uint32_t n = in.U32(); n > 0 && !in.Bad(); --n) {
      const std::string_view mask = in.Str();
      // The program sends only the masks that compile.
      try {
        options.masks.push_back(
            std::make_shared<const TMask>(NameToText(mask.data(), mask.size())));
      } catch (const EMaskException&) {
        break;
      }
    }
    const std::string path(in.Str());
    auto tree = std::make_shared<Tree>();
    tree->id = id;
    tree->reader = std::make_unique<TTreeReader>(path, std::move(options), tree->wake);
    {
      std::lock_guard lock(mutex_);
      // Trees read to their end are let go here: the program abandons only what it stops.
      std::erase_if(trees_, [](const auto& entry) {
        std::lock_guard treeLock(entry.second->mutex);
        return entry.second->over;
      });
      trees_[id] = tree;
    }
    StartWorkerThread([tree, shared = shared_] { Pump(tree, *shared); });
  }

  Work ReadWork(const channel::Head& head, channel::Reader& in) {
    Work work;
    work.type = head.type;
    work.stream = head.stream;
    const auto readFiles = [&] {
      const std::uint32_t count = in.U32();
      work.files.reserve(std::min<size_t>(count, in.Rest().size() / 25));
      for (std::uint32_t n = 0; n < count && !in.Bad(); ++n)
        work.files.push_back(channel::GetFoundFile(in));
    };
    switch (head.type) {
      case Message::RemoveFiles:
        work.how = in.U8() == 1 ? Removal::Trash : Removal::Delete;
        work.newCommand = in.U8() != 0;
        readFiles();
        work.cut = std::make_shared<std::atomic<bool>>(false);
        break;
      case Message::RemoveCached:
        // Resolved now: the program may let the folder go before the worker comes to it.
        for (std::uint32_t n = in.U32(); n > 0 && !in.Bad(); --n) {
          const std::uint32_t folder = in.U32();
          work.cached.emplace_back(shared_->folders.Find(folder), std::string(in.Str()));
        }
        work.cut = std::make_shared<std::atomic<bool>>(false);
        break;
      case Message::Measure:
        work.first = in.U32();
        work.identify = in.U8() != 0;
        readFiles();
        break;
      default:
        work.path = std::string(in.Str());
        break;
    }
    return work;
  }

  std::shared_ptr<Shared> shared_;
  std::shared_ptr<Worker> worker_;
  std::vector<std::shared_ptr<Worker>> measurers_;
  size_t nextMeasurer_ = 0;
  std::mutex mutex_;
  std::unordered_map<std::uint32_t, std::shared_ptr<Tree>> trees_;
};

}  // namespace

namespace {

// The process helper's channel, for what it would have written on standard error (a helper on a
// thread writes on its program's own).
bool g_process = false;
std::atomic<Shared*> g_notes{nullptr};

void ForwardNote(QtMsgType type, const QMessageLogContext&, const QString& message) {
  Shared* shared = g_notes.load();
  if (shared == nullptr || (type != QtCriticalMsg && type != QtFatalMsg)) return;
  Writer out;
  out.Begin(Message::Note, 0);
  out.Str(message.toStdString());
  out.End();
  shared->out.Send(out);
}

}  // namespace

void ServeFileSystem(int channelFd) {
  Dispatcher dispatcher(channelFd);
  if (g_process) g_notes = dispatcher.Notes();
  channel::Inbox inbox;
  while (inbox.Fill(dispatcher.Fd())) {
    channel::Head head;
    std::string_view body;
    bool sound = true;
    while (sound && inbox.Next(head, body)) sound = dispatcher.Handle(head, body);
    if (!sound || inbox.Broken()) break;
  }
  g_notes = nullptr;
}

void RunHelperProcess() {
  // A write to a program that has gone fails; it does not end the helper by a signal.
  ::signal(SIGPIPE, SIG_IGN);
  g_process = true;
  qInstallMessageHandler(ForwardNote);
  ServeFileSystem(3);
  // Threads still in the kernel are left to it; everything else ends here.
  ::_exit(0);
}

#include "scan/Scanner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cstring>

#include "i18n/Catalogue.h"
#include "platform/TextCodec.h"
#include "platform/UniqueFd.h"
#include "scan/RemovalWorker.h"
#include "scan/StatusTexts.h"
#include "scan/TemporaryNames.h"
#include "scan/TotalSize.h"

namespace {

// The walk looks for the reader's next listing at least this often while it waits, so the window
// shows where the walk is even when the reader hands over less than a batch.
constexpr std::chrono::milliseconds kWaitSlice(20);
// After Stop, the helper still gets this long to hand over what it has read (a healthy drive's
// root test answers at once, the next drives' roots are still tested); then the reading is
// abandoned.
constexpr std::chrono::milliseconds kStopGrace(50);
constexpr int kHeartbeatEntries = 256;
// The texts are put on display at most this often during a walk: each change is a repaint.
constexpr std::chrono::milliseconds kDisplayInterval(50);

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path;
}

QString Shown(std::string_view bytes) {
  return DisplayPath(bytes.data(), bytes.size());
}

template <typename Step>
void Guarded(TScanner& scanner, Step&& step) {
  try {
    step();
  } catch (...) {
    // A failure ends the check here: what the window then shows must be where it stopped.
    scanner.FlushDisplay();
    throw;
  }
}

}  // namespace

// What the temporary folder search would add, in the order it would add it, collected during the
// masked walk of the same drive: the folders' structure is kept, so that Stop tests and captions
// fall where the search's own would.
struct TScanner::TempEvent {
  enum class Kind : unsigned char { RootBegin, RootEnd, DirBegin, DirEnd, File };
  static TempEvent Of(Kind kind, bool rootMissing = false, bool entered = false) {
    TempEvent event;
    event.kind = kind;
    event.rootMissing = rootMissing;
    event.entered = entered;
    return event;
  }
  Kind kind = Kind::File;
  bool rootMissing = false;  // RootBegin: the folder was gone when the walk met it
  bool entered = false;      // RootBegin: the folder could be listed
  bool listed = false;       // File: the masked part of the same walk listed it; when not, its
                             // entry is the next one of the collected files
};

// Walks the listings the helper hands over, in order, as one thread walking the tree would,
// through a step: the masked scan, the temporary folder search or the cache cleaning.
class TScanner::Walk {
 public:
  class Step {
   public:
    virtual ~Step() = default;
    // A subdirectory met in the listing, before its directory step begins.
    virtual void Subdirectory(std::string_view name) { (void)name; }
    // The start of a directory step; false skips the directory.
    virtual bool BeforeDirectory() = 0;
    virtual void NotEntered(std::string_view name, bool exists) {
      (void)name;
      (void)exists;
    }
    // The directory could be listed; path ends with "/".
    virtual void DirectoryOpened(const std::string& path, const TListing& listing) = 0;
    virtual void DirectoryLeft() {}
    // A file of the directory; false ends the whole walk.
    virtual bool File(const TListing::Entry& entry, const std::string& dirPath,
                      const TListing& listing) = 0;
    // Every few hundred entries, so that a huge directory does not starve the display.
    virtual void Heartbeat() = 0;
  };

  Walk(TScanner& scanner, TRemoteTree& reader) : s_(scanner), reader_(reader) {}

  // The walk from the root's listing (kind Listed) to its end. The reader is abandoned as soon
  // as the walk needs no more of it (a directory skipped after Stop, the walk ended).
  void Run(std::unique_ptr<TListing> root, Step& step) {
    std::string path = s_.root_;
    std::vector<Frame> stack;
    step.DirectoryOpened(path, *root);
    stack.emplace_back(std::move(root), path.size());
    bool reading = true;
    int sinceHeartbeat = 0;
    TListing::Entry entry;
    while (!stack.empty()) {
      if (!stack.back().cursor.Next(entry)) {
        reader_.GiveBack(std::move(stack.back().listing));
        stack.pop_back();
        if (!stack.empty()) path.resize(stack.back().pathLength);
        step.DirectoryLeft();
        continue;
      }
      if (++sinceHeartbeat == kHeartbeatEntries) {
        sinceHeartbeat = 0;
        step.Heartbeat();
      }
      if (!entry.directory) {
        if (!step.File(entry, path, *stack.back().listing)) break;
        continue;
      }
      step.Subdirectory(entry.name);
      if (!step.BeforeDirectory() || !reading) {
        // Its listing, and those below it, are not wanted: the reader's order is left behind.
        LetReaderGo();
        reading = false;
        continue;
      }
      std::unique_ptr<TListing> next = s_.Await(reader_);
      if (!next || next->name != entry.name ||
          (next->kind != TListing::Kind::Listed && next->kind != TListing::Kind::NotEntered)) {
        LetReaderGo();
        reading = false;
        continue;
      }
      if (next->kind == TListing::Kind::NotEntered) {
        step.NotEntered(entry.name, next->exists);
        reader_.GiveBack(std::move(next));
        continue;
      }
      path.append(entry.name).push_back('/');
      step.DirectoryOpened(path, *next);
      stack.emplace_back(std::move(next), path.size());
    }
    LetReaderGo();
  }

 private:
  // No more listings come: a Stop held back for those read before it now counts.
  void LetReaderGo() {
    reader_.Abandon();
    s_.stopHeld_ = false;
  }

  struct Frame {
    Frame(std::unique_ptr<TListing> l, size_t length)
        : listing(std::move(l)), cursor(*listing), pathLength(length) {}
    std::unique_ptr<TListing> listing;
    TListing::Cursor cursor;
    size_t pathLength;
  };

  TScanner& s_;
  TRemoteTree& reader_;
};

namespace {

// Where a directory of the walk stands to the temporary folders: below none, one itself (met
// outside any other), or below one.
enum class TempPlace : unsigned char { Outside, Root, Below };

// Follows the temporary folders down and up a walk.
class TempPlaces {
 public:
  void Subdirectory(std::string_view name) { pendingTemp_ = IsTemporaryFolderName(name); }
  // The place of a subdirectory met now (as Subdirectory named it).
  TempPlace PlaceOfPending() const {
    if (Current() != TempPlace::Outside) return TempPlace::Below;
    return pendingTemp_ ? TempPlace::Root : TempPlace::Outside;
  }
  void Entered(bool root) { places_.push_back(root ? TempPlace::Outside : PlaceOfPending()); }
  TempPlace Left() {
    const TempPlace left = places_.back();
    places_.pop_back();
    return left;
  }
  TempPlace Current() const { return places_.empty() ? TempPlace::Outside : places_.back(); }
  bool Below() const { return Current() != TempPlace::Outside; }

 private:
  std::vector<TempPlace> places_;
  bool pendingTemp_ = false;
};

}  // namespace

// ScanDirectory: reload the exceptions, test Stop, show the directory, then each file against
// the masks and, when one fits, against the exceptions. With `collect`, the files below the
// temporary folders are kept for ScanTempDirectories as well.
class TScanner::MaskedStep : public Walk::Step {
 public:
  MaskedStep(TScanner& scanner, bool collect) : s_(scanner), collect_(collect) {}

  void Subdirectory(std::string_view name) override { places_.Subdirectory(name); }
  bool BeforeDirectory() override {
    s_.ReloadExceptions();
    return !s_.Stopped();
  }
  void NotEntered(std::string_view, bool exists) override {
    if (!collect_ || places_.PlaceOfPending() != TempPlace::Root) return;
    Collect(TempEvent::Of(TempEvent::Kind::RootBegin, !exists));
    Collect(TempEvent::Of(TempEvent::Kind::RootEnd));
  }
  void DirectoryOpened(const std::string& path, const TListing&) override {
    places_.Entered(path.size() == s_.root_.size());
    if (collect_) {
      if (places_.Current() == TempPlace::Root)
        Collect(TempEvent::Of(TempEvent::Kind::RootBegin, false, true));
      else if (places_.Current() == TempPlace::Below)
        Collect(TempEvent::Of(TempEvent::Kind::DirBegin));
    }
    s_.ShowCaption(Caption::Directory, &path);
    s_.EventPoint();
  }
  void DirectoryLeft() override {
    const TempPlace left = places_.Left();
    if (!collect_ || left == TempPlace::Outside) return;
    Collect(TempEvent::Of(left == TempPlace::Root ? TempEvent::Kind::RootEnd
                                                  : TempEvent::Kind::DirEnd));
  }
  bool File(const TListing::Entry& entry, const std::string& dirPath, const TListing&) override {
    // The masks before an invalid one are tested first, as ever; the invalid one then ends the
    // check, at the first file met.
    const qsizetype before = s_.list_.Count();
    if (entry.fits) {
      s_.name_.Set(entry.name);
      if (!s_.exceptionMasks_.AnyFits(s_.name_) && !s_.AddFoundFile(entry, dirPath, true))
        return false;
    }
    if (s_.invalidMask_) throw *s_.invalidMask_;
    if (collect_ && places_.Below() && entry.sized && !entry.gone) {
      TempEvent file = TempEvent::Of(TempEvent::Kind::File);
      // Listed just now by the masked part: the temporary part would find it listed.
      file.listed = s_.list_.Count() > before;
      if (!file.listed) s_.collectedFiles_.push_back(s_.MakeEntry(entry, dirPath));
      Collect(file);
    }
    return true;
  }
  void Heartbeat() override { s_.EventPoint(); }

 private:
  void Collect(TempEvent event) { s_.collected_.push_back(std::move(event)); }

  TScanner& s_;
  bool collect_;
  TempPlaces places_;
};

// SearchTempDirectories with ListTempDirectory and ListTempFiles in one walk: every file below a
// temporary folder is listed when met; Stop is tested at every directory, and once a
// directory's listing has begun, all its files are listed.
class TScanner::TemporaryStep : public Walk::Step {
 public:
  explicit TemporaryStep(TScanner& scanner) : s_(scanner) {}

  void Subdirectory(std::string_view name) override { places_.Subdirectory(name); }
  bool BeforeDirectory() override { return !s_.Stopped(); }
  void NotEntered(std::string_view, bool exists) override {
    if (places_.PlaceOfPending() != TempPlace::Root) return;
    if (!exists) s_.Warn();
    RootDone();
  }
  void DirectoryOpened(const std::string& path, const TListing&) override {
    places_.Entered(path.size() == s_.root_.size());
    s_.ShowCaption(Caption::TempDirectories);
    s_.EventPoint();
  }
  void DirectoryLeft() override {
    if (places_.Left() == TempPlace::Root) RootDone();
  }
  bool File(const TListing::Entry& entry, const std::string& dirPath, const TListing&) override {
    if (places_.Below() && entry.sized && !entry.gone)
      s_.AddFoundEntry(s_.MakeEntry(entry, dirPath));
    return true;
  }
  void Heartbeat() override { s_.EventPoint(); }

 private:
  // The search goes straight on: the total is shown again when the whole search ends.
  void RootDone() {
    s_.sizeDirty_ = true;
    s_.EventPoint();
  }

  TScanner& s_;
  TempPlaces places_;
};

// CleanCacheDirectory: deletes every file but index.dat and desktop.ini, in any letter case;
// Stop ends the cleaning before the next deletion. Directories stay. The deletions of a
// directory run on the removal worker, relative to the directory the reader listed.
class TScanner::CacheStep : public Walk::Step {
 public:
  explicit CacheStep(TScanner& scanner) : s_(scanner) {}
  ~CacheStep() override = default;

  bool BeforeDirectory() override { return !s_.Stopped(); }
  void DirectoryOpened(const std::string&, const TListing&) override {
    Flush();
    s_.ShowCaption(Caption::Cleaning);
    s_.EventPoint();
  }
  bool File(const TListing::Entry& entry, const std::string& dirPath,
            const TListing& listing) override {
    if (EqualsFolded(entry.name, "index.dat") || EqualsFolded(entry.name, "desktop.ini"))
      return true;
    if (s_.Stopped()) return false;
    if (s_.settings_.dryRun) {
      shown_.clear();
      AppendDisplayPath(shown_, dirPath.data(), dirPath.size());
      AppendDisplayPath(shown_, entry.name.data(), entry.name.size());
      s_.view_.WouldDelete(shown_);
      return true;
    }
    if (!listing.remoteFolder) return true;  // the directory could not be kept open
    files_.push_back(TRemovalWorker::CachedFile{listing.remoteFolder, std::string(entry.name)});
    return true;
  }
  void Heartbeat() override {
    Flush();
    s_.EventPoint();
  }

  // Runs the deletions decided so far and waits for them with the window live; Stop cuts the
  // batch short (the deletion running then still ends).
  void Flush() {
    if (files_.empty()) return;
    s_.RunRemovals(files_);
    files_.clear();
  }

 private:
  TScanner& s_;
  std::vector<TRemovalWorker::CachedFile> files_;
  std::string shown_;
};

TScanner::TScanner(TResultList& list, IScanView& view, const TLanguageFile& language,
                   TExceptionsFile& exceptions, const QStringList& masks, ScanSettings settings)
    : list_(list),
      view_(view),
      language_(language),
      exceptions_(exceptions),
      settings_(settings),
      pacer_(settings.eventInterval),
      displayPacer_(settings.eventInterval > std::chrono::steady_clock::duration::zero()
                        ? std::max<std::chrono::steady_clock::duration>(settings.eventInterval,
                                                                        kDisplayInterval)
                        : std::chrono::steady_clock::duration::zero()),
      exceptionMasks_(cache_),
      helper_(settings_.helper ? settings_.helper : THelperClient::Start()),
      wake_(std::make_shared<TWakeUp>()) {
  // The reader tests the masks in list order up to the first invalid one; that one is reported
  // at the first file, as its first test would report it.
  for (const QString& mask : masks) {
    try {
      TMask compiled(mask);
      masks_.append(mask);
    } catch (const EMaskException& e) {
      invalidMask_ = e;
      break;
    }
  }
  exceptionMasks_.SetEntries(exceptions_.Entries());
}

TScanner::~TScanner() = default;

std::unique_ptr<TRemoteTree> TScanner::Read(const std::string& root, bool matchMasks,
                                            bool sizeTemporaryFiles, bool cacheFolder) {
  TReadOptions options;
  options.matchMasks = matchMasks;
  options.sizeTemporaryFiles = sizeTemporaryFiles;
  options.cacheFolder = cacheFolder;
  options.sizesLater = !settings_.liveTotal;
  // The cache cleaning deletes every file; an invalid mask ends the check at the first file met.
  options.onlyUsedFiles = !cacheFolder && !(matchMasks && invalidMask_);
  return std::make_unique<TRemoteTree>(helper_, root, matchMasks ? masks_ : QStringList(), options,
                                       wake_);
}

void TScanner::HelperEnded() const {
  throw EVantrelError(Tr(language_, Txt::Find_HelperEnded));
}

std::unique_ptr<TListing> TScanner::Await(TRemoteTree& reader) {
  // A Stop from before the wait takes effect as ever; one that comes during it is held back for
  // what the reader had read by then.
  const bool stoppedBefore = view_.StopRequested();
  std::optional<std::chrono::steady_clock::time_point> stopSeen;
  for (;;) {
    if (std::unique_ptr<TListing> next = reader.Next()) {
      // Read before the Stop: walked as it would have been had the walk kept up with the reader.
      if (stopSeen && !stoppedBefore) stopHeld_ = true;
      return next;
    }
    if (reader.HelperFailed()) HelperEnded();
    if (reader.Over()) {
      stopHeld_ = false;
      return nullptr;
    }
    if (view_.StopRequested()) {
      const auto now = std::chrono::steady_clock::now();
      if (!stopSeen) {
        // Stop came while the walk waited: nothing more is read; what the reader has read is
        // still taken, for a moment, and the walk then ends where Stop found it.
        stopSeen = now;
        reader.StopReading();
      }
      if (now - *stopSeen >= kStopGrace) {
        reader.Abandon();
        stopHeld_ = false;
        return nullptr;
      }
    }
    // The window shows where the walk is while it waits, at the pace a person can read it.
    if (displayPacer_.Due()) FlushDisplay();
    if (!view_.WaitFor(*wake_, stopSeen ? kStopGrace : kWaitSlice)) {
      reader.Abandon();
      return nullptr;
    }
  }
}

void TScanner::RunRemovals(const std::vector<TRemovalWorker::CachedFile>& files) {
  // A listed file may lie in the cache: the total is measured again.
  totalFresh_ = false;
  if (!remover_) remover_ = std::make_unique<TRemovalWorker>(helper_, wake_);
  remover_->Start(files);
  bool cut = false;
  while (!remover_->Over()) {
    if (!cut && view_.StopRequested()) {
      // Stop waits for no helper: one that does not end the batch at once is let go.
      remover_->CutNow();
      cut = true;
    }
    if (!view_.WaitFor(*wake_, kWaitSlice)) {
      if (!cut) remover_->CutNow();
      cut = true;
      wake_->WaitBlocking(kWaitSlice);
    }
  }
  if (remover_->HelperFailed()) HelperEnded();
}

bool TScanner::Stopped() const {
  return view_.StopRequested() && !stopHeld_;
}

void TScanner::ReloadExceptions() {
  if (!exceptions_.Refresh()) return;
  exceptionMasks_.SetEntries(exceptions_.Entries());
  view_.ExceptionsLoaded(exceptions_.Entries());
}

void TScanner::ShowCaption(Caption caption, const std::string* directory) {
  caption_ = caption;
  if (directory != nullptr) captionDirectory_ = *directory;
  captionDirty_ = true;
}

void TScanner::FlushDisplay() {
  list_.CommitPending();
  if (captionDirty_) {
    captionDirty_ = false;
    switch (caption_) {
      case Caption::Directory:
        view_.SetStatusCaption(ScanningText(language_, Shown(captionDirectory_)));
        break;
      case Caption::TempDirectories:
        view_.SetStatusCaption(TempDirectoriesText(language_));
        break;
      case Caption::Cleaning:
        view_.SetStatusCaption(CleaningText(language_));
        break;
      case Caption::None:
        break;
    }
  }
  if (countDirty_) {
    countDirty_ = false;
    view_.SetFileCountText(FilesText(language_, list_.Count()));
  }
  if (sizeDirty_) {
    sizeDirty_ = false;
    view_.SetTotalSizeText(TotalSizeText(language_, list_.RunningTotal()));
  }
}

void TScanner::EventPoint() {
  if (!pacer_.Due()) return;
  if (displayPacer_.Due()) FlushDisplay();
  view_.ProcessEvents();
}

void TScanner::ShowTotalSize() {
  FlushDisplay();
  view_.SetTotalSizeText(TotalSizeText(language_, list_.RunningTotal()));
}

void TScanner::ShowMeasuredTotal() {
  FlushDisplay();
  const auto wait = [this](TWakeUp& wake, std::chrono::milliseconds timeout) {
    return view_.WaitFor(wake, timeout);
  };
  const auto hurry = [this] { return view_.StopRequested(); };
  totalFresh_ = MeasureTotal(list_, helper_, wait, hurry).has_value();
  if (!totalFresh_ && helper_->EndedUnexpectedly()) HelperEnded();
  view_.SetTotalSizeText(TotalSizeText(language_, list_.RunningTotal()));
}

void TScanner::ShowCheckTotal() {
  if (totalFresh_ || !walked_) {
    FlushDisplay();
    return;
  }
  Guarded(*this, [this] { ShowMeasuredTotal(); });
}

void TScanner::Warn() {
  FlushDisplay();
  view_.ShowWarning(NoDiskTitle(language_), NoDiskText(language_));
}

ResultEntry TScanner::MakeEntry(const TListing::Entry& entry, const std::string& dirPath) const {
  ResultEntry result;
  result.path = list_.StorePath(dirPath, entry.name);
  result.size = entry.size;
  result.device = static_cast<quint32>(entry.device);
  result.inode = entry.inode;
  result.relativeStart = static_cast<quint32>(root_.size());
  result.symlink = entry.symlink;
  result.identified = settings_.liveTotal;
  return result;
}

bool TScanner::AddFoundFile(const TListing::Entry& entry, const std::string& dirPath,
                            bool testStop) {
  if (mayRepeat_) {
    fullPath_.assign(dirPath).append(entry.name);
    if (!list_.IsNewEntry(fullPath_)) return true;
  }
  if (testStop && Stopped()) return false;
  // A file gone or replaced by something that is not a file since the listing is not listed.
  if (!entry.sized || entry.gone) return true;
  Append(MakeEntry(entry, dirPath));
  return true;
}

void TScanner::AddFoundEntry(ResultEntry entry) {
  if (mayRepeat_ && !list_.IsNewEntry(entry.path.View())) return;
  Append(std::move(entry));
}

void TScanner::Append(ResultEntry entry) {
  totalFresh_ = false;
  list_.Append(std::move(entry));
  countDirty_ = true;
  sizeDirty_ = true;
  EventPoint();
}

void TScanner::ScanDrive(const std::string& root, bool collectTemporary) {
  walked_ = true;
  stopHeld_ = false;
  Guarded(*this, [&] {
    root_ = WithSlash(root);
    mayRepeat_ = list_.HoldsPathUnder(root_);
    collected_.clear();
    collectedFiles_.clear();
    collectedRoot_.reset();
    const std::unique_ptr<TRemoteTree> reader = Read(root, true, collectTemporary);
    std::unique_ptr<TListing> first = Await(*reader);
    const bool missing = first && first->kind == TListing::Kind::RootMissing;
    if (collectTemporary) {
      collectedRoot_ = root;
      collectedRootMissing_ = missing;
      collectedRootEntered_ = false;
    }
    if (missing) {
      Warn();
    } else {
      // ScanDirectory of the root: the exceptions, Stop, then the listing.
      ReloadExceptions();
      if (!Stopped() && first && first->kind == TListing::Kind::Listed) {
        collectedRootEntered_ = collectTemporary;
        MaskedStep step(*this, collectTemporary);
        Walk(*this, *reader).Run(std::move(first), step);
      }
    }
    stopHeld_ = false;
    ShowTotalSize();
  });
}

void TScanner::ScanTempDirectories(const std::string& root) {
  walked_ = true;
  stopHeld_ = false;
  Guarded(*this, [&] {
    if (Stopped()) return;
    if (collectedRoot_ && *collectedRoot_ == root) {
      AppendCollected();
    } else {
      root_ = WithSlash(root);
      mayRepeat_ = list_.HoldsPathUnder(root_);
      const std::unique_ptr<TRemoteTree> reader = Read(root, false, true);
      std::unique_ptr<TListing> first = Await(*reader);
      if (first && first->kind == TListing::Kind::RootMissing) {
        Warn();
      } else if (!Stopped() && first && first->kind == TListing::Kind::Listed) {
        TemporaryStep step(*this);
        Walk(*this, *reader).Run(std::move(first), step);
      }
    }
    stopHeld_ = false;
    ShowTotalSize();
  });
}

// The collected temporary part, as the search would have added it: at each temporary folder a
// Stop test, its caption and its files (all of them once its listing has begun), its subfolders
// each behind a Stop test of their own.
void TScanner::AppendCollected() {
  // Taken out event by event, so that the collected files pass into the list without ever
  // being held twice.
  std::deque<TempEvent> events = std::move(collected_);
  std::deque<ResultEntry> files = std::move(collectedFiles_);
  collected_.clear();
  collectedFiles_.clear();
  collectedRoot_.reset();
  if (collectedRootMissing_) {
    Warn();
    return;
  }
  if (!collectedRootEntered_) return;
  ShowCaption(Caption::TempDirectories);
  EventPoint();
  int skipping = 0;  // depth inside a folder left out after Stop
  for (; !events.empty(); events.pop_front()) {
    TempEvent& event = events.front();
    switch (event.kind) {
      case TempEvent::Kind::RootBegin:
      case TempEvent::Kind::DirBegin:
        if (skipping > 0 || Stopped()) {
          ++skipping;
          break;
        }
        if (event.rootMissing) Warn();
        if (event.kind == TempEvent::Kind::DirBegin || event.entered) {
          ShowCaption(Caption::TempDirectories);
          EventPoint();
        }
        break;
      case TempEvent::Kind::RootEnd:
      case TempEvent::Kind::DirEnd:
        if (skipping > 0) {
          --skipping;
        } else if (event.kind == TempEvent::Kind::RootEnd) {
          sizeDirty_ = true;
          EventPoint();
        }
        break;
      case TempEvent::Kind::File:
        if (event.listed) break;
        if (skipping == 0) AddFoundEntry(std::move(files.front()));
        files.pop_front();
        break;
    }
  }
}

void TScanner::CleanInternetCache(const QString& folder) {
  walked_ = true;
  stopHeld_ = false;
  Guarded(*this, [&] {
    if (Stopped()) return;
    const std::string path = QFile::encodeName(folder).toStdString();
    root_ = WithSlash(path);
    const std::unique_ptr<TRemoteTree> reader = Read(path, false, false, true);
    std::unique_ptr<TListing> first = Await(*reader);
    if (first && first->kind == TListing::Kind::RootMissing) {
      Warn();
    } else if (first && first->kind == TListing::Kind::Listed) {
      CacheStep step(*this);
      Walk(*this, *reader).Run(std::move(first), step);
      step.Flush();
    }
    stopHeld_ = false;
    // The cleaning may have taken listed files away: their sizes are taken again.
    if (remover_ && !totalFresh_)
      ShowMeasuredTotal();
    else
      ShowTotalSize();
  });
}

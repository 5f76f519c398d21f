#include "scan/Scanner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

#include "platform/TextCodec.h"
#include "platform/UniqueFd.h"
#include "scan/CacheFolder.h"
#include "scan/DirectoryWalk.h"
#include "scan/StatusTexts.h"

namespace {

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool EqualsFolded(std::string_view name, std::string_view lower) {
  if (name.size() != lower.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (AsciiLower(name[i]) != lower[i]) return false;
  }
  return true;
}

bool IsTempDirectoryName(std::string_view name) {
  return EqualsFolded(name, "temp") || EqualsFolded(name, "tmp") || EqualsFolded(name, "temporary");
}

// A walk's starting folder: its path with a trailing "/", and whether it is a directory.
std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path;
}

bool IsDirectory(const std::string& path, dev_t* device) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  *device = st.st_dev;
  return true;
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

// ScanDirectory: reload the exceptions, test Stop, show the directory, then each file against
// every mask and, when one fits, against the exceptions.
class TScanner::ScanDirectoryStep : public DirectoryWalk::Visitor {
 public:
  explicit ScanDirectoryStep(TScanner& scanner) : s_(scanner) {}

  bool BeforeDirectory() override {
    s_.ReloadExceptions();
    return !s_.view_.StopRequested();
  }
  void DirectoryOpened(const std::string& path) override {
    s_.ShowCaption(Caption::Directory, &path);
    s_.EventPoint();
  }
  bool File(int dirFd, std::string_view name, const std::string& dirPath) override {
    s_.name_.Set(name);
    int excluded = -1;  // unknown until a mask fits
    // Every mask is tested, also after one fitted: each must be compiled (and an invalid one
    // reported) at the first file, as the check has always done.
    for (size_t i = 0; i < s_.masks_.Size(); ++i) {
      if (!s_.masks_.Fits(i, s_.name_)) continue;
      if (excluded < 0) excluded = s_.ExceptionsFit(s_.name_) ? 1 : 0;
      if (excluded == 0 && !s_.AddFoundFile(dirFd, name, dirPath, true)) return false;
    }
    return true;
  }
  void Heartbeat() override { s_.EventPoint(); }

 private:
  TScanner& s_;
};

// SearchTempDirectories: every subdirectory is searched; one named temp, tmp or temporary is
// listed whole first.
class TScanner::SearchTempDirectoriesStep : public DirectoryWalk::Visitor {
 public:
  explicit SearchTempDirectoriesStep(TScanner& scanner) : s_(scanner) {}

  bool BeforeDirectory() override { return !s_.view_.StopRequested(); }
  void DirectoryOpened(const std::string&) override {
    s_.ShowCaption(Caption::TempDirectories);
    s_.EventPoint();
  }
  bool File(int, std::string_view, const std::string&) override { return true; }
  bool Subdirectory(int dirFd, std::string_view name, const std::string& dirPath) override {
    if (IsTempDirectoryName(name)) {
      std::string path = dirPath;
      path.append(name).push_back('/');
      s_.ListTempDirectory(dirFd, name, std::move(path));
    }
    return true;
  }
  void Heartbeat() override { s_.EventPoint(); }

 private:
  TScanner& s_;
};

// ListTempFiles: every file below, without masks or exceptions. Stop is tested only when a
// directory's listing starts: once begun, all its files are listed.
class TScanner::ListTempFilesStep : public DirectoryWalk::Visitor {
 public:
  explicit ListTempFilesStep(TScanner& scanner) : s_(scanner) {}

  bool BeforeDirectory() override { return !s_.view_.StopRequested(); }
  void DirectoryOpened(const std::string&) override {
    s_.ShowCaption(Caption::TempDirectories);
    s_.EventPoint();
  }
  bool File(int dirFd, std::string_view name, const std::string& dirPath) override {
    s_.AddFoundFile(dirFd, name, dirPath, false);
    return true;
  }
  void Heartbeat() override { s_.EventPoint(); }

 private:
  TScanner& s_;
};

// CleanCacheDirectory: deletes every file but index.dat and desktop.ini, in any letter case;
// Stop ends the cleaning before the next deletion. Directories stay.
class TScanner::CleanCacheDirectoryStep : public DirectoryWalk::Visitor {
 public:
  explicit CleanCacheDirectoryStep(TScanner& scanner) : s_(scanner) {}

  bool BeforeDirectory() override { return !s_.view_.StopRequested(); }
  void DirectoryOpened(const std::string&) override {
    s_.ShowCaption(Caption::Cleaning);
    s_.EventPoint();
  }
  bool File(int dirFd, std::string_view name, const std::string& dirPath) override {
    if (EqualsFolded(name, "index.dat") || EqualsFolded(name, "desktop.ini")) return true;
    if (s_.view_.StopRequested()) return false;
    // Only what is still a file or link is removed: never a socket or FIFO put in its place.
    struct stat st {};
    if (::fstatat(dirFd, name.data(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
      return true;
    if (s_.settings_.dryRun) {
      std::string path = dirPath;
      path.append(name);
      s_.view_.WouldDelete(Shown(path));
    } else {
      ::unlinkat(dirFd, name.data(), 0);  // a failure leaves the file; nothing is reported
    }
    return true;
  }
  void Heartbeat() override { s_.EventPoint(); }

 private:
  TScanner& s_;
};

TScanner::TScanner(TResultList& list, IScanView& view, const TLanguageFile& language,
                   TExceptionsFile& exceptions, const QStringList& masks, ScanSettings settings)
    : list_(list),
      view_(view),
      language_(language),
      exceptions_(exceptions),
      settings_(settings),
      pacer_(settings.eventInterval),
      masks_(cache_),
      exceptionMasks_(cache_) {
  masks_.SetEntries(masks);
  exceptionMasks_.SetEntries(exceptions_.Entries());
}

void TScanner::ReloadExceptions() {
  if (!exceptions_.Refresh()) return;
  exceptionMasks_.SetEntries(exceptions_.Entries());
  view_.ExceptionsLoaded(exceptions_.Entries());
}

bool TScanner::ExceptionsFit(TMaskName& name) {
  return exceptionMasks_.AnyFits(name);
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
  FlushDisplay();
  view_.ProcessEvents();
}

void TScanner::ShowTotalSize() {
  FlushDisplay();
  const quint64 total = list_.MeasureTotal([this] {
    if (!pacer_.Due()) return;
    FlushDisplay();
    view_.ProcessEvents();
  });
  view_.SetTotalSizeText(TotalSizeText(language_, total));
}

void TScanner::Warn() {
  FlushDisplay();
  view_.ShowWarning(NoDiskTitle(language_), NoDiskText(language_));
}

bool TScanner::AddFoundFile(int dirFd, std::string_view name, const std::string& dirPath,
                            bool testStop) {
  fullPath_.assign(dirPath).append(name);
  if (!list_.IsNewEntry(fullPath_)) return true;
  if (testStop && view_.StopRequested()) return false;
  // One stat per finding gives its size and identity; a file gone or replaced by something
  // that is not a file since the listing is not listed.
  struct stat st {};
  if (::fstatat(dirFd, name.data(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
      !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
    return true;
  ResultEntry entry;
  entry.path = QByteArray(fullPath_.data(), static_cast<qsizetype>(fullPath_.size()));
  entry.size = static_cast<quint64>(st.st_size);
  entry.device = static_cast<quint64>(st.st_dev);
  entry.inode = static_cast<quint64>(st.st_ino);
  entry.relativeStart = static_cast<quint32>(root_.size());
  entry.symlink = S_ISLNK(st.st_mode);
  list_.Append(std::move(entry));
  countDirty_ = true;
  sizeDirty_ = true;
  EventPoint();
  return true;
}

void TScanner::ScanDrive(const std::string& root) {
  Guarded(*this, [&] {
    root_ = WithSlash(root);
    if (!IsDirectory(root, &device_)) {
      Warn();
    } else {
      mountPoints_ = MountPointsBelow(root);
      ScanDirectoryStep step(*this);
      walk_.Walk(WalkVolume{device_, &mountPoints_}, AT_FDCWD, root.c_str(), root_, true, step);
    }
    ShowTotalSize();
  });
}

void TScanner::ScanTempDirectories(const std::string& root) {
  Guarded(*this, [&] {
    if (view_.StopRequested()) return;
    root_ = WithSlash(root);
    if (!IsDirectory(root, &device_)) {
      Warn();
    } else {
      mountPoints_ = MountPointsBelow(root);
      SearchTempDirectoriesStep step(*this);
      walk_.Walk(WalkVolume{device_, &mountPoints_}, AT_FDCWD, root.c_str(), root_, true, step);
    }
    ShowTotalSize();
  });
}

void TScanner::ListTempDirectory(int parentFd, std::string_view name, std::string path) {
  if (view_.StopRequested()) return;
  struct stat st {};
  if (::fstatat(parentFd, name.data(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) {
    Warn();
  } else {
    ListTempFilesStep step(*this);
    listWalk_.Walk(WalkVolume{device_, &mountPoints_}, parentFd, name.data(), std::move(path),
                   false, step);
  }
  // The search goes straight on: the exact total is measured when the whole search ends.
  sizeDirty_ = true;
  EventPoint();
}

void TScanner::CleanInternetCache(const QString& folder) {
  Guarded(*this, [&] {
    if (view_.StopRequested()) return;
    const std::string path = QFile::encodeName(folder).toStdString();
    // The folder checked is the folder emptied: the walk starts from this very descriptor.
    const UniqueFd fd(path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !UsableCacheFolder(fd.Get())) {
      Warn();
    } else {
      const std::unordered_set<std::string> mounts = MountPointsBelow(path);
      CleanCacheDirectoryStep step(*this);
      walk_.Walk(WalkVolume{st.st_dev, &mounts}, fd.Get(), ".", WithSlash(path), true, step);
    }
    ShowTotalSize();
  });
}

#pragma once

// Helpers for the walker and deletion tests: a recording scan view, real trees on disk, and a
// way to make permissions bite when the tests run as root.

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "scan/Deletion.h"
#include "scan/ResultList.h"
#include "scan/ScanView.h"
#include "scan/TotalSize.h"

// The list's total as a helper (by default one of its own) measures it now.
inline quint64 MeasuredTotal(
    TResultList& list, const std::shared_ptr<THelperClient>& helper = THelperClient::Start()) {
  const auto waitBlocking = [](TWakeUp& wake, std::chrono::milliseconds timeout) {
    wake.WaitBlocking(timeout);
    return true;
  };
  return MeasureTotal(list, helper, waitBlocking).value_or(~quint64{0});
}

// Records what a check shows; a hook may act at each event point (press Stop, edit files...).
class RecordingView : public IScanView {
 public:
  void SetStatusCaption(const QString& text) override {
    caption = text;
    log.append(QStringLiteral("caption ") + text);
  }
  void SetFileCountText(const QString& text) override {
    files = text;
    log.append(QStringLiteral("files ") + text);
  }
  void SetTotalSizeText(const QString& text) override {
    size = text;
    log.append(QStringLiteral("size ") + text);
  }
  void ProcessEvents() override {
    ++eventCount;
    log.append(QStringLiteral("events"));
    if (onEvents) onEvents();
  }
  bool WaitFor(TWakeUp& wake, std::chrono::milliseconds timeout) override {
    ++waits;
    if (onWait) onWait();
    wake.WaitBlocking(timeout);
    return true;
  }
  bool StopRequested() const override { return stop; }
  void ShowWarning(const QString& title, const QString& text) override {
    log.append(QStringLiteral("warning ") + title + QStringLiteral(": ") + text);
    ++warnings;
  }
  void ExceptionsLoaded(const QStringList& entries) override {
    exceptions = entries;
    log.append(QStringLiteral("exceptions ") + entries.join(u','));
  }
  void WouldDelete(std::string_view path) override {
    wouldDelete.append(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())));
  }

  QString caption;
  QString files;
  QString size;
  QStringList exceptions;
  QStringList wouldDelete;
  QStringList log;
  int eventCount = 0;
  int waits = 0;
  int warnings = 0;
  bool stop = false;
  std::function<void()> onEvents;
  std::function<void()> onWait;
};

// Records the progress a deletion shows; a hook may act at each event point (tick more...).
class RecordingDeletionView : public IDeletionView {
 public:
  void SetProgress(int position) override { positions.push_back(position); }
  void ProcessEvents() override {
    if (onEvents) onEvents();
  }
  bool WaitFor(TWakeUp& wake, std::chrono::milliseconds timeout) override {
    if (onWait) onWait();
    wake.WaitBlocking(timeout);
    return true;
  }
  std::vector<int> positions;
  std::function<void()> onEvents;
  std::function<void()> onWait;
};

// A deletion that nobody watches.
class QuietDeletionView : public IDeletionView {
 public:
  void SetProgress(int) override {}
  void ProcessEvents() override {}
  bool WaitFor(TWakeUp& wake, std::chrono::milliseconds timeout) override {
    wake.WaitBlocking(timeout);
    return true;
  }
};

// Lowers the number of descriptors the process may open, for its life.
class LowDescriptorLimit {
 public:
  explicit LowDescriptorLimit(rlim_t limit) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit low = saved_;
    low.rlim_cur = limit;
    ::setrlimit(RLIMIT_NOFILE, &low);
  }
  ~LowDescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_{};
};

// Takes away the capabilities that let root ignore permission bits (read, search, write), so
// that an unreadable directory or a read-only folder behaves for root as for anyone else.
// Without those capabilities in the first place it changes nothing.
class PermissionsBite {
 public:
  PermissionsBite() {
    header_ = {_LINUX_CAPABILITY_VERSION_3, 0};
    if (::syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct reduced[2];
    std::memcpy(reduced, saved_, sizeof reduced);
    reduced[0].effective &=
        ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
    active_ = ::syscall(SYS_capset, &header_, reduced) == 0;
  }
  ~PermissionsBite() {
    if (active_) ::syscall(SYS_capset, &header_, saved_);
  }
  PermissionsBite(const PermissionsBite&) = delete;
  PermissionsBite& operator=(const PermissionsBite&) = delete;

 private:
  __user_cap_header_struct header_{};
  __user_cap_data_struct saved_[2]{};
  bool active_ = false;
};

inline std::string Bytes(const QString& path) {
  return path.toStdString();
}

// Creates a file with the given content (parents must exist).
inline void MakeFile(const std::string& path, const std::string& content = std::string()) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) std::abort();
  if (!content.empty() && ::write(fd, content.data(), content.size()) < 0) std::abort();
  ::close(fd);
}

inline void MakeDir(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) != 0) std::abort();
}

inline void MakeLink(const std::string& target, const std::string& path) {
  if (::symlink(target.c_str(), path.c_str()) != 0) std::abort();
}

inline bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

inline QStringList Texts(const TResultList& list) {
  QStringList texts;
  for (qsizetype row = 0; row < list.Count(); ++row) texts.append(list.Text(row));
  return texts;
}

// An entry for a file below root, as the walk would have listed it.
inline ResultEntry EntryFor(TResultList& list, const std::string& root,
                            const std::string& relative) {
  const std::string path = root + "/" + relative;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) std::abort();
  ResultEntry entry;
  entry.path = list.StorePath(path, "");
  entry.size = static_cast<quint64>(st.st_size);
  entry.device = static_cast<quint32>(st.st_dev);
  entry.inode = static_cast<quint64>(st.st_ino);
  entry.relativeStart = static_cast<quint32>(root.size() + 1);
  entry.symlink = S_ISLNK(st.st_mode);
  return entry;
}

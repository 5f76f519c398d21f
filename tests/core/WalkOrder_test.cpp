// The check, with its reader threads and its single walk for masks and temporary folders, gives
// exactly what one thread walking twice gives: the same entries in the same order, the same
// texts and warnings, with and without Stop at every point where a Stop test falls. The one
// thread is a plain recursive walk written here from the walk's rules.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "BlockingVolume.h"
#include "ScanTestSupport.h"
#include "TestEnv.h"
#include "i18n/LanguageFile.h"
#include "platform/TextCodec.h"
#include "platform/UniqueFd.h"
#include "scan/Mask.h"
#include "scan/Scanner.h"
#include "scan/StatusTexts.h"
#include "scan/TemporaryNames.h"
#include "settings/ListFile.h"

namespace {

const QStringList kMasks = {QStringLiteral("*.tmp"), QStringLiteral("~*"),
                            QStringLiteral("[a-c]*.txt")};
const QStringList kExceptions = {QStringLiteral("keep.*")};

// When to press Stop: asked at every event point with the entries listed so far and the caption.
using StopWhen = std::function<bool(qsizetype entries, const QString& caption)>;

// What a check left on display.
struct Outcome {
  QStringList entries;
  QString caption, files, size;
  int warnings = 0;
  friend bool operator==(const Outcome&, const Outcome&) = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  return os << o.entries.join(u'|').toStdString() << " / " << o.caption.toStdString() << " / "
            << o.files.toStdString() << " / " << o.size.toStdString() << " / " << o.warnings
            << " warnings";
}

// One thread, the walk's rules written out plainly: ScanDrive, then ScanTempDirectories.
class SequentialCheck {
 public:
  SequentialCheck(const std::string& root, StopWhen stopWhen)
      : root_(root), stopWhen_(std::move(stopWhen)) {
    for (const QString& m : kMasks) masks_.emplace_back(m);
    for (const QString& e : kExceptions) exceptions_.emplace_back(e);
    struct stat st {};
    if (::stat(root.c_str(), &st) == 0) device_ = st.st_dev;
  }

  Outcome Run() {
    // ScanDrive.
    if (RootThere()) {
      ScanDirectory(AT_FDCWD, root_.c_str(), root_ + "/", true);
    } else {
      ++out_.warnings;
    }
    ShowTotal();
    // ScanTempDirectories.
    if (!stop_) {
      if (RootThere()) {
        SearchTemp(AT_FDCWD, root_.c_str(), root_ + "/", true);
      } else {
        ++out_.warnings;
      }
      ShowTotal();
    }
    return out_;
  }

 private:
  bool RootThere() const {
    struct stat st {};
    return ::stat(root_.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  struct Entry {
    std::string name;
    unsigned char type;
  };

  // The directory opened and read whole, or nothing when it cannot be entered.
  bool Read(int parentFd, const char* name, bool isRoot, UniqueFd& fd, std::vector<Entry>& out) {
    fd.Reset(
        ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (isRoot ? 0 : O_NOFOLLOW)));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || st.st_dev != device_) return false;
    DIR* dir = ::fdopendir(::dup(fd.Get()));
    if (dir == nullptr) return false;
    while (const dirent* e = ::readdir(dir)) {
      const std::string n = e->d_name;
      if (n == "." || n == "..") continue;
      unsigned char type = e->d_type;
      if (type == DT_UNKNOWN) {
        struct stat s {};
        ::fstatat(fd.Get(), n.c_str(), &s, AT_SYMLINK_NOFOLLOW);
        type = S_ISDIR(s.st_mode)   ? DT_DIR
               : S_ISREG(s.st_mode) ? DT_REG
               : S_ISLNK(s.st_mode) ? DT_LNK
                                    : 0;
      }
      out.push_back({n, type});
    }
    ::closedir(dir);
    return true;
  }

  static bool IsFile(unsigned char type) { return type == DT_REG || type == DT_LNK; }

  bool Fits(const std::vector<TMask>& masks, const std::string& name) const {
    const QString text = NameToText(name.data(), name.size());
    for (const TMask& m : masks)
      if (m.Matches(text)) return true;
    return false;
  }

  void Events() {
    if (stopWhen_(static_cast<qsizetype>(out_.entries.size()), out_.caption)) stop_ = true;
  }

  bool AddFoundFile(int fd, const std::string& name, const std::string& path, bool testStop) {
    if (seen_.contains(path)) return true;
    if (testStop && stop_) return false;
    struct stat st {};
    if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
      return true;
    seen_.insert(path);
    out_.entries.append(DisplayPath(path.data(), path.size()));
    total_ += static_cast<quint64>(st.st_size);
    out_.files = FilesText(language_, out_.entries.size());
    out_.size = TotalSizeText(language_, total_);
    Events();
    return true;
  }

  void ShowTotal() { out_.size = TotalSizeText(language_, total_); }

  // False when Stop ended the whole masked walk.
  bool ScanDirectory(int parentFd, const char* name, const std::string& path, bool isRoot) {
    if (stop_) return true;
    UniqueFd fd;
    std::vector<Entry> entries;
    if (!Read(parentFd, name, isRoot, fd, entries)) return true;
    out_.caption = ScanningText(language_, DisplayPath(path.data(), path.size()));
    Events();
    for (const Entry& e : entries) {
      if (e.type == DT_DIR) {
        if (!ScanDirectory(fd.Get(), e.name.c_str(), path + e.name + "/", false)) return false;
      } else if (IsFile(e.type) && Fits(masks_, e.name) && !Fits(exceptions_, e.name)) {
        if (!AddFoundFile(fd.Get(), e.name, path + e.name, true)) return false;
      }
    }
    return true;
  }

  void SearchTemp(int parentFd, const char* name, const std::string& path, bool isRoot) {
    if (stop_) return;
    UniqueFd fd;
    std::vector<Entry> entries;
    if (!Read(parentFd, name, isRoot, fd, entries)) return;
    out_.caption = TempDirectoriesText(language_);
    Events();
    for (const Entry& e : entries) {
      if (e.type != DT_DIR) continue;
      if (IsTemporaryFolderName(e.name)) ListTempDirectory(fd.Get(), e.name, path + e.name + "/");
      SearchTemp(fd.Get(), e.name.c_str(), path + e.name + "/", false);
    }
  }

  void ListTempDirectory(int parentFd, const std::string& name, const std::string& path) {
    if (stop_) return;
    struct stat st {};
    if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
      ++out_.warnings;
    else
      ListTempFiles(parentFd, name.c_str(), path);
    ShowTotal();
  }

  void ListTempFiles(int parentFd, const char* name, const std::string& path) {
    if (stop_) return;
    UniqueFd fd;
    std::vector<Entry> entries;
    if (!Read(parentFd, name, false, fd, entries)) return;
    out_.caption = TempDirectoriesText(language_);
    Events();
    for (const Entry& e : entries) {
      if (e.type == DT_DIR)
        ListTempFiles(fd.Get(), e.name.c_str(), path + e.name + "/");
      else if (IsFile(e.type))
        AddFoundFile(fd.Get(), e.name, path + e.name, false);
    }
  }

  std::string root_;
  StopWhen stopWhen_;
  dev_t device_ = 0;
  std::vector<TMask> masks_, exceptions_;
  TLanguageFile language_;
  std::set<std::string> seen_;
  quint64 total_ = 0;
  bool stop_ = false;
  Outcome out_;
};

// The program's check on the same drive: one walk for both, its reading on a reader thread.
Outcome ThreadedCheck(const std::string& root, const StopWhen& stopWhen) {
  TResultList list;
  RecordingView view;
  TLanguageFile language;
  TExceptionsFile exceptions;
  exceptions.Load();
  view.onEvents = [&] {
    list.CommitPending();
    if (stopWhen(list.Count(), view.caption)) view.stop = true;
  };
  TScanner scanner(list, view, language, exceptions, kMasks,
                   ScanSettings{false, std::chrono::nanoseconds(0)});
  scanner.ScanDrive(root, true);
  scanner.ScanTempDirectories(root);
  return Outcome{Texts(list), view.caption, view.files, view.size, view.warnings};
}

struct Tree {
  const char* name;
  std::function<void(const std::string& drive)> make;
};

void PrintTo(const Tree& tree, std::ostream* os) {
  *os << tree.name;
}

void Dirs(const std::string& drive, std::initializer_list<const char*> dirs) {
  for (const char* d : dirs) MakeDir(drive + "/" + d);
}
void Files(const std::string& drive, std::initializer_list<const char*> files) {
  for (const char* f : files) MakeFile(drive + "/" + f, f);
}

const Tree kTrees[] = {
    {"flat",
     [](const std::string& d) {
       Files(d, {"a.tmp", "b.txt", "c.TMP", "keep.tmp", "~x.bak", "z.log", "a1.txt"});
     }},
    {"deep",
     [](const std::string& d) {
       std::string path = d;
       for (int i = 0; i < 40; ++i) {
         path += "/level" + std::to_string(i);
         MakeDir(path);
         MakeFile(path + "/f" + std::to_string(i) + ".tmp", "x");
         MakeFile(path + "/other.dat", "x");
       }
     }},
    {"bushy and deep: more folders waiting than the pool keeps open",
     [](const std::string& d) {
       std::string path = d;
       for (int i = 0; i < 16; ++i) {
         for (const char* side : {"a", "b", "c"}) {
           MakeDir(path + "/" + side);
           MakeFile(path + "/" + side + "/" + side + std::to_string(i) + ".tmp", "x");
         }
         MakeFile(path + "/spine" + std::to_string(i) + ".tmp", "zz");
         path += "/b";
       }
     }},
    {"a deep chain first, then more siblings than the read-ahead window",
     [](const std::string& d) {
       std::string path = d + "/a";
       MakeDir(path);
       for (int i = 0; i < 20; ++i) MakeDir(path += "/c");
       MakeFile(path + "/bottom.tmp", "x");
       for (int i = 0; i < 100; ++i) MakeDir(d + "/s" + std::to_string(i));
       Files(d, {"s0/first.tmp", "s99/last.tmp"});
     }},
    {"wide",
     [](const std::string& d) {
       for (int i = 0; i < 600; ++i)
         MakeFile(d + "/n" + std::to_string(i) + (i % 7 == 0 ? ".tmp" : ".dat"), "x");
       // Names near the longest: the folder's listing takes more than one read.
       for (int i = 0; i < 150; ++i)
         MakeFile(
             d + "/" + std::string(240, 'w') + std::to_string(i) + (i == 149 ? ".tmp" : ".dat"),
             "x");
       for (int i = 0; i < 40; ++i) {
         MakeDir(d + "/sub" + std::to_string(i));
         MakeFile(d + "/sub" + std::to_string(i) + "/s.tmp", "yy");
       }
     }},
    {"links",
     [](const std::string& d) {
       Dirs(d, {"real", "real/inner"});
       Files(d, {"real/a.tmp", "real/inner/b.tmp"});
       MakeLink("real", d + "/dirlink.tmp");
       MakeLink("real/a.tmp", d + "/filelink.tmp");
       MakeLink("/nonexistent", d + "/dangling.tmp");
       MakeLink("..", d + "/real/loop");
       MakeLink("/", d + "/real/inner/root.tmp");
       ::mkfifo((d + "/fifo.tmp").c_str(), 0644);
     }},
    {"temporary folders",
     [](const std::string& d) {
       Dirs(d, {"TEMP", "TEMP/TMP", "x", "x/Tmp", "Temporary", "Temporary/sub", "Temp1",
                "Temp1/tmp", "tmp", "tmp/deep", "tmp/deep/deeper", "Temporary Internet Files"});
       Files(d, {"TEMP/a.dat", "TEMP/TMP/g", "TEMP/k.tmp", "x/Tmp/b.dat", "Temporary/sub/c",
                 "Temporary/sub/c2.tmp", "Temp1/d.txt", "Temp1/tmp/f.txt", "tmp/one",
                 "tmp/deep/two", "tmp/deep/deeper/three.tmp", "tmp/deep/deeper/four",
                 "Temporary Internet Files/e.txt", "top.tmp", "keep.tmp"});
       Files(d, {"tmp/keep.tmp"});
     }},
    {"names that are not UTF-8",
     [](const std::string& d) {
       MakeDir(d + "/d\xfe");
       MakeDir(d + "/d\xfe/temp");
       MakeFile(d + "/bad\xff.tmp", "12345");
       MakeFile(d + "/d\xfe/caf\xc3\xa9.tmp", "1");
       MakeFile(d + "/d\xfe/temp/\x80\x81", "22");
       MakeFile(d + "/line\nbreak.tmp", "3");
     }},
    {"unreadable folder",
     [](const std::string& d) {
       Dirs(d, {"locked", "open", "open/temp", "locked2"});
       Files(d, {"locked/hidden.tmp", "open/seen.tmp", "open/temp/t", "locked2/x"});
       ::chmod((d + "/locked").c_str(), 0);
       ::chmod((d + "/locked2").c_str(), 0311);
     }},
};

class WalkOrderTest : public ::testing::TestWithParam<Tree> {
 protected:
  void SetUp() override {
    env.WriteFile(QStringLiteral("exceptions.ini"), FormatListText(kExceptions));
    drive = Bytes(env.Root()) + "/drive";
    MakeDir(drive);
    GetParam().make(drive);
  }
  void TearDown() override {
    for (const char* d : {"/locked", "/locked2"}) ::chmod((drive + d).c_str(), 0755);
  }

  void Compare(const StopWhen& stopWhen, const std::string& what) {
    // Capabilities are a thread's own: a reader started now inherits the reduced set. Few
    // descriptors: the pool gives up folders and opens them again.
    PermissionsBite bite;
    LowDescriptorLimit few(64);
    const Outcome expected = SequentialCheck(drive, stopWhen).Run();
    const Outcome got = ThreadedCheck(drive, stopWhen);
    EXPECT_EQ(got, expected) << what;
  }

  TestEnv env;
  std::string drive;
};

TEST_P(WalkOrderTest, SameAsOneThreadWalkingTwice) {
  Compare([](qsizetype, const QString&) { return false; }, "no Stop");
  const Outcome full =
      SequentialCheck(drive, [](qsizetype, const QString&) { return false; }).Run();
  // Stop after each finding, in the masked part and in the temporary part.
  for (qsizetype k = 0; k <= full.entries.size(); ++k)
    Compare([k](qsizetype entries, const QString&) { return entries >= k; },
            "Stop after finding " + std::to_string(k));
  // Stop at each directory's caption.
  std::set<QString> captions;
  const StopWhen record = [&captions](qsizetype, const QString& caption) {
    captions.insert(caption);
    return false;
  };
  SequentialCheck(drive, record).Run();
  for (const QString& caption : captions)
    Compare([caption](qsizetype, const QString& shown) { return shown == caption; },
            "Stop at " + caption.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Trees, WalkOrderTest, ::testing::ValuesIn(kTrees),
                         [](const ::testing::TestParamInfo<Tree>& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// A folder whose listing blocks while the pool reads its siblings and what lies below them:
// what the check hands over once it answers is still in the walk's own order.
TEST(WalkOrderBlockingTest, FolderThatBlocksWhileItsSiblingsAreRead) {
  TestEnv env;
  env.WriteFile(QStringLiteral("exceptions.ini"), FormatListText(kExceptions));
  const std::string drive = Bytes(env.Root()) + "/vol";
  std::string tree =
      "f a.tmp 1\nd first\nf first/x.tmp 2\nb slow\nf slow/in.tmp 3\nd slow/under\n"
      "f slow/under/u.tmp 4\nd later\nd later/deeper\nf later/deeper/d.tmp 5\n"
      "d temp\nf temp/t.dat 6\nf z.tmp 7\nd many\n";
  // A listing the server hands out a page at a time: each read comes back short.
  for (int i = 0; i < 200; ++i)
    tree += "f many/" + std::string(40, 'm') + std::to_string(i) + ".dat 1\n";
  tree += "f many/last.tmp 8\n";
  BlockingVolume volume(drive, tree);
  if (!volume.Skip().empty()) GTEST_SKIP() << volume.Skip();
  std::thread release([&volume] {
    if (volume.WaitForBlocked(1)) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    volume.Release();
  });
  const StopWhen never = [](qsizetype, const QString&) { return false; };
  const Outcome got = ThreadedCheck(drive, never);
  release.join();
  EXPECT_EQ(got, SequentialCheck(drive, never).Run());
  EXPECT_EQ(got.entries.size(), 8);
}

}  // namespace

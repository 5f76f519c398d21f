#include "scan/Scanner.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <memory>
#include <thread>

#include "BlockingVolume.h"
#include "ChildProcess.h"
#include "ScanTestSupport.h"
#include "TestEnv.h"
#include "i18n/LanguageFile.h"
#include "platform/Errors.h"
#include "scan/StatusTexts.h"
#include "settings/ListFile.h"

namespace {

class ScannerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive = Bytes(env.Root()) + "/drive";
    MakeDir(drive);
    SetExceptions({});
  }

  void SetExceptions(const QStringList& entries) {
    env.WriteFile(QStringLiteral("exceptions.ini"), FormatListText(entries));
  }

  TScanner& Scanner(const QStringList& masks = {QStringLiteral("*.tmp")}, bool liveTotal = true) {
    exceptions.Load();
    scanner = std::make_unique<TScanner>(
        list, view, language, exceptions, masks,
        ScanSettings{false, std::chrono::nanoseconds(0), nullptr, liveTotal});
    return *scanner;
  }

  // The entry text of a path below the drive.
  QString At(const std::string& relative) const {
    return QString::fromStdString(drive + "/" + relative);
  }
  QStringList At(std::initializer_list<const char*> relatives) const {
    QStringList texts;
    for (const char* r : relatives) texts.append(At(r));
    return texts;
  }
  static QStringList Sorted(QStringList texts) {
    texts.sort();
    return texts;
  }

  TestEnv env;
  std::string drive;
  TResultList list;
  RecordingView view;
  TLanguageFile language;
  TExceptionsFile exceptions;
  std::unique_ptr<TScanner> scanner;
};

struct ListingCase {
  QStringList masks;
  QStringList exceptions;
  const char* file;
  bool listed;
};

class MaskedListingTest : public ScannerTest, public ::testing::WithParamInterface<ListingCase> {};

TEST_P(MaskedListingTest, ListsExactlyTheFittingFile) {
  const ListingCase& c = GetParam();
  SetExceptions(c.exceptions);
  MakeFile(drive + "/" + c.file, "x");
  Scanner(c.masks).ScanDrive(drive);
  EXPECT_EQ(Texts(list), c.listed ? QStringList{At(c.file)} : QStringList());
}

INSTANTIATE_TEST_SUITE_P(Masks, MaskedListingTest,
                         ::testing::Values(ListingCase{{"*.tmp"}, {}, "a.TMP", true},
                                           ListingCase{{"*.TMP"}, {}, "A.tmp", true},
                                           ListingCase{{"*.tmp", "~x.tmp"}, {}, "~x.tmp", true},
                                           ListingCase{{"*.tmp"}, {"keep.*"}, "keep.tmp", false},
                                           ListingCase{{"*.tmp"}, {"keep.*"}, "other.tmp", true},
                                           ListingCase{{"*.bak"}, {}, "a.BAK.old", false},
                                           ListingCase{{""}, {}, "a.tmp", false},
                                           ListingCase{{"*.tmp"}, {""}, "a.tmp", true},
                                           ListingCase{
                                               {"*.tmp", "*.log"}, {"[a-c]*"}, "b.log", false},
                                           ListingCase{{"*"}, {}, ".hidden", true}));

TEST_F(ScannerTest, DirectoriesAreEnteredNeverListed) {
  MakeDir(drive + "/old.tmp");
  MakeFile(drive + "/old.tmp/inner.tmp");
  Scanner().ScanDrive(drive);
  EXPECT_EQ(Texts(list), At({"old.tmp/inner.tmp"}));
}

TEST_F(ScannerTest, NamesDifferingInCaseAreTwoFiles) {
  MakeFile(drive + "/a.tmp", "1");
  MakeFile(drive + "/A.tmp", "22");
  Scanner().ScanDrive(drive);
  EXPECT_EQ(Sorted(Texts(list)), Sorted(At({"a.tmp", "A.tmp"})));
  EXPECT_EQ(view.size, QStringLiteral("Total size: 3 bytes"));
}

TEST_F(ScannerTest, OnlyRegularFilesAndLinksAreFiles) {
  MakeFile(drive + "/plain.tmp");
  MakeFile(drive + "/readonly.tmp");
  ::chmod((drive + "/readonly.tmp").c_str(), 0444);
  ASSERT_EQ(::mkfifo((drive + "/fifo.tmp").c_str(), 0644), 0);  // opening it would block
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = drive + "/socket.tmp";
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  MakeLink("/nonexistent/target", drive + "/dangling.tmp");
  Scanner().ScanDrive(drive);
  ::close(sock);
  EXPECT_EQ(Sorted(Texts(list)), Sorted(At({"plain.tmp", "readonly.tmp", "dangling.tmp"})));
}

TEST_F(ScannerTest, LinksAreNeverFollowed) {
  const std::string outside = Bytes(env.Root()) + "/outside";
  MakeDir(outside);
  MakeFile(outside + "/far.tmp");
  MakeDir(drive + "/sub");
  MakeLink("..", drive + "/sub/loop");
  MakeLink(outside, drive + "/sub/ext");
  MakeFile(drive + "/sub/near.tmp");
  Scanner({QStringLiteral("*")}).ScanDrive(drive);
  // The links are listed as what they are, entries; nothing behind them is.
  EXPECT_EQ(Sorted(Texts(list)), Sorted(At({"sub/loop", "sub/ext", "sub/near.tmp"})));
  int links = 0;
  for (qsizetype row = 0; row < list.Count(); ++row) links += list.Entry(row).symlink ? 1 : 0;
  EXPECT_EQ(links, 2);
}

TEST_F(ScannerTest, UnreadableDirectoryIsSkippedSilently) {
  // As nobody, so that the permission bits bite also when the tests run as root.
  const std::string shared = SharedArea(Bytes(env.Root())) + "/drive";
  const ChildResult child = RunInChild([&] {
    if (!DropToNobody()) return std::string("skip: cannot become nobody");
    drive = shared;
    for (const char* d : {"", "/locked", "/open"}) MakeDir(drive + d);
    MakeFile(drive + "/locked/hidden.tmp");
    MakeFile(drive + "/open/seen.tmp");
    ::chmod((drive + "/locked").c_str(), 0);
    if (::access((drive + "/locked").c_str(), R_OK) == 0) return std::string("no lock");
    Scanner().ScanDrive(drive);
    ::chmod((drive + "/locked").c_str(), 0755);
    return Texts(list).join(u'|').toStdString() + " warnings " + std::to_string(view.warnings);
  });
  if (child.report.starts_with("skip:")) GTEST_SKIP() << child.report;
  EXPECT_EQ(child.report, shared + "/open/seen.tmp warnings 0");
}

TEST_F(ScannerTest, NameThatIsNotUtf8IsFoundShownAndSized) {
  MakeFile(drive + "/bad\xff.tmp", "12345");
  MakeFile(drive + "/caf\xc3\xa9.tmp", "1");
  Scanner().ScanDrive(drive);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(Sorted(Texts(list)), Sorted({At("bad\\xff.tmp"), At("café.tmp")}));
  EXPECT_EQ(view.size, QStringLiteral("Total size: 6 bytes"));
  for (qsizetype row = 0; row < list.Count(); ++row) {
    if (list.Text(row).contains(QStringLiteral("bad"))) {
      EXPECT_EQ(list.Entry(row).path.View(), drive + "/bad\xff.tmp");
    }
  }
  ::unlink((drive + "/bad\xff.tmp").c_str());  // a name the temporary folder's removal cannot spell
}

// The oracle for the order: the listing order readdir gives, subdirectories walked when met.
void ExpectedOrder(const std::string& dir, QStringList& out) {
  DIR* d = ::opendir(dir.c_str());
  ASSERT_NE(d, nullptr);
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (e->d_type == DT_DIR)
      ExpectedOrder(dir + "/" + name, out);
    else
      out.append(QString::fromStdString(dir + "/" + name));
  }
  ::closedir(d);
}

TEST_F(ScannerTest, DepthFirstInTheFileSystemsOrder) {
  for (const char* d : {"d1", "d1/d2", "d3"}) MakeDir(drive + "/" + d);
  for (const char* f :
       {"a.tmp", "b.tmp", "d1/c.tmp", "d1/d.tmp", "d1/d2/e.tmp", "d3/f.tmp", "g.tmp", "h.tmp"})
    MakeFile(drive + "/" + f);
  QStringList expected;
  ExpectedOrder(drive, expected);
  Scanner().ScanDrive(drive);
  EXPECT_EQ(Texts(list), expected);
}

TEST_F(ScannerTest, StatusTextsAndEventPoints) {
  MakeFile(drive + "/one.tmp", "abc");
  Scanner().ScanDrive(drive);
  const QString dir = QString::fromStdString(drive) + u'/';
  EXPECT_EQ(
      view.log,
      QStringList({QStringLiteral("caption  Scanning: [") + dir + u']', QStringLiteral("events"),
                   QStringLiteral("files Files: 1"), QStringLiteral("size Total size: 3 bytes"),
                   QStringLiteral("events"), QStringLiteral("size Total size: 3 bytes")}));
}

TEST_F(ScannerTest, MissingRootWarnsAndStillShowsTheTotal) {
  Scanner().ScanDrive(drive + "/gone");
  EXPECT_EQ(view.log, QStringList({QStringLiteral("warning Attention: No disk or disk error!"),
                                   QStringLiteral("size Total size: 0 bytes")}));
}

TEST_F(ScannerTest, TemporaryDirectoriesInAnyCaseAndNested) {
  for (const char* d : {"TEMP", "x", "x/Tmp", "Temporary", "Temporary/sub", "Temp1", "Temp1/tmp",
                        "Temporary Internet Files", "TEMP/TMP"})
    MakeDir(drive + "/" + d);
  for (const char* f : {"TEMP/a.txt", "x/Tmp/b.dat", "Temporary/sub/c", "Temp1/d.txt",
                        "Temp1/tmp/f.txt", "Temporary Internet Files/e.txt", "TEMP/TMP/g"})
    MakeFile(drive + "/" + f);
  Scanner({}).ScanTempDirectories(drive);
  EXPECT_EQ(Sorted(Texts(list)), Sorted(At({"TEMP/a.txt", "TEMP/TMP/g", "x/Tmp/b.dat",
                                            "Temporary/sub/c", "Temp1/tmp/f.txt"})));
  EXPECT_EQ(view.caption, QStringLiteral(" Scanning: [Temporary directories]"));
}

TEST_F(ScannerTest, MaskedFindingKeepsItsPlaceBeforeTemporaryListing) {
  MakeDir(drive + "/temp");
  MakeFile(drive + "/temp/b.txt");
  MakeFile(drive + "/temp/a.tmp");
  TScanner& s = Scanner();
  s.ScanDrive(drive);
  s.ScanTempDirectories(drive);
  EXPECT_EQ(Texts(list), At({"temp/a.tmp", "temp/b.txt"}));
  EXPECT_EQ(view.files, QStringLiteral("Files: 2"));
}

// Without a running total on display the walk takes no sizes: the end of the check measures the
// findings and identifies them for the Delete command (the link, never its target).
TEST_F(ScannerTest, FindingsMeasuredOnlyAtTheEndAreIdentifiedThen) {
  MakeDir(drive + "/temp");
  MakeFile(drive + "/temp/b.txt", "12");
  MakeFile(drive + "/a.tmp", "345");
  MakeFile(drive + "/target", "6789");
  MakeLink("target", drive + "/link.tmp");
  TScanner& s = Scanner({QStringLiteral("*.tmp")}, false);
  s.ScanDrive(drive, true);
  s.ScanTempDirectories(drive);
  s.ShowCheckTotal();
  EXPECT_EQ(view.size, QStringLiteral("Total size: 11 bytes"));
  list.SetAllChecked(true);
  RecordingDeletionView deletion;
  EXPECT_EQ(DeleteTickedEntries(list, deletion, language, {}).deleted, 3);
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_TRUE(Exists(drive + "/target"));
}

class CacheCleaningTest : public ScannerTest {
 protected:
  void SetUp() override {
    ScannerTest::SetUp();
    cache = Bytes(env.Root()) + "/cache/browser";
    MakeDir(cache);
    for (const char* d : {"sub", "sub/deeper", "empty"}) MakeDir(cache + "/" + d);
    for (const char* f :
         {"index.dat", "x.bin", "sub/INDEX.DAT", "sub/Desktop.Ini", "sub/y", "sub/deeper/z.dat"})
      MakeFile(cache + "/" + f, "data");
  }
  QStringList Remaining() {
    QStringList out;
    ExpectedOrder(cache, out);
    out.replaceInStrings(QString::fromStdString(cache + "/"), QString());
    out.sort();
    return out;
  }
  std::string cache;
};

TEST_F(CacheCleaningTest, DeletesAllButIndexAndDesktopFilesKeepsFolders) {
  Scanner().CleanInternetCache(QString::fromStdString(cache));
  EXPECT_EQ(Remaining(),
            QStringList({QStringLiteral("index.dat"), QStringLiteral("sub/Desktop.Ini"),
                         QStringLiteral("sub/INDEX.DAT")}));
  EXPECT_TRUE(Exists(cache + "/sub/deeper"));
  EXPECT_TRUE(Exists(cache + "/empty"));
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(view.caption, QStringLiteral(" Cleaning: [Temporary Internet Files]"));
  EXPECT_EQ(view.size, QStringLiteral("Total size: 0 bytes"));
}

TEST_F(CacheCleaningTest, DryRunNamesTheFilesAndDeletesNothing) {
  exceptions.Load();
  TScanner dry(list, view, language, exceptions, {}, ScanSettings{true, {}});
  const QStringList before = Remaining();
  dry.CleanInternetCache(QString::fromStdString(cache));
  EXPECT_EQ(Remaining(), before);
  QStringList named = view.wouldDelete;
  named.sort();
  EXPECT_EQ(named, QStringList({QString::fromStdString(cache + "/sub/deeper/z.dat"),
                                QString::fromStdString(cache + "/sub/y"),
                                QString::fromStdString(cache + "/x.bin")}));
}

TEST_F(CacheCleaningTest, NoFolderKnownWarnsAndDeletesNothing) {
  const QStringList before = Remaining();
  Scanner().CleanInternetCache(QString());
  EXPECT_EQ(view.log, QStringList({QStringLiteral("warning Attention: No disk or disk error!"),
                                   QStringLiteral("size Total size: 0 bytes")}));
  EXPECT_EQ(Remaining(), before);
}

TEST_F(CacheCleaningTest, StopEndsTheCleaningBeforeTheNextDeletion) {
  const QStringList before = Remaining();
  view.onEvents = [this] { view.stop = true; };  // at the folder's caption
  Scanner().CleanInternetCache(QString::fromStdString(cache));
  EXPECT_EQ(Remaining(), before);
}

TEST_F(CacheCleaningTest, StopBeforeTheCleaningSkipsItWithoutWarning) {
  view.stop = true;
  Scanner().CleanInternetCache(QString());
  EXPECT_TRUE(view.log.isEmpty());
}

TEST_F(ScannerTest, StopAtTheStartOfTheScanStillReloadsExceptions) {
  MakeFile(drive + "/a.tmp");
  TScanner& s = Scanner();
  SetExceptions({QStringLiteral("keep.*")});
  view.stop = true;
  s.ScanDrive(drive);
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(view.log, QStringList({QStringLiteral("exceptions keep.*"),
                                   QStringLiteral("size Total size: 0 bytes")}));
}

TEST_F(ScannerTest, StopAtADirectoryListsNothingMoreThere) {
  MakeFile(drive + "/a.tmp");
  MakeFile(drive + "/b.tmp");
  view.onEvents = [this] { view.stop = true; };  // at the root's caption
  Scanner().ScanDrive(drive);
  EXPECT_TRUE(list.IsEmpty());
}

TEST_F(ScannerTest, StopAfterAFindingEndsTheWholeMaskedWalk) {
  for (const char* d : {"d1", "d2", "d3"}) {
    MakeDir(drive + "/" + d);
    MakeFile(drive + "/" + d + "/x.tmp");
    MakeFile(drive + "/" + d + "/y.tmp");
  }
  view.onEvents = [this] {
    if (list.Count() == 1) view.stop = true;
  };
  Scanner().ScanDrive(drive);
  EXPECT_EQ(list.Count(), 1);
  // No directory was opened after the stop.
  EXPECT_EQ(view.log.filter(QStringLiteral("caption")).size(), 2);
  EXPECT_EQ(view.log.last(), QStringLiteral("size Total size: 0 bytes"));
}

TEST_F(ScannerTest, StopDoesNotSkipTheNextDrivesMissingRootWarning) {
  MakeFile(drive + "/a.tmp");
  TScanner& s = Scanner();
  view.onEvents = [this] { view.stop = true; };
  s.ScanDrive(drive);
  s.ScanTempDirectories(drive);  // returns at once
  s.ScanDrive(drive + "/missing");
  s.ScanTempDirectories(drive + "/missing");
  EXPECT_EQ(view.warnings, 1);
}

TEST_F(ScannerTest, BegunTemporaryListingRunsToItsEnd) {
  MakeDir(drive + "/temp");
  for (const char* f : {"a", "b", "c"}) MakeFile(drive + "/temp/" + f);
  view.onEvents = [this] {
    if (list.Count() == 1) view.stop = true;
  };
  Scanner({}).ScanTempDirectories(drive);
  EXPECT_EQ(Sorted(Texts(list)), At({"temp/a", "temp/b", "temp/c"}));
}

TEST_F(ScannerTest, StopKeepsTemporaryListingOutOfSubdirectories) {
  MakeDir(drive + "/temp");
  MakeDir(drive + "/temp/sub");
  MakeFile(drive + "/temp/sub/x");
  view.onEvents = [this] {
    if (view.caption == QStringLiteral(" Scanning: [Temporary directories]") &&
        view.eventCount == 2)
      view.stop = true;  // at the temporary directory's own caption
  };
  Scanner({}).ScanTempDirectories(drive);
  EXPECT_TRUE(list.IsEmpty());
}

// A change made mid-scan applies at every directory reached TExceptionsFile::SeenAfter() later,
// whatever name it was made through: the file itself, a hard link to it that was there before
// the check, or one made during it.
TEST_F(ScannerTest, ExceptionsChangedMidScanApplyFromTheNextDirectory) {
  MakeDir(drive + "/s1");
  MakeDir(drive + "/s1/s2");
  MakeFile(drive + "/s1/s2/keep.tmp");
  const QString s1Caption = QStringLiteral(" Scanning: [") + At("s1/") + u']';
  const std::string other = Bytes(env.Root()) + "/other-name.ini";
  // 0: the file itself; 1: a hard link made before the check; 2: one made during it.
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    SetExceptions({});
    ::unlink(other.c_str());
    if (way == 1) ::link("exceptions.ini", other.c_str());
    bool changed = false;
    view.onEvents = [&] {
      if (view.caption != s1Caption || std::exchange(changed, true)) return;
      if (way == 2) ::link("exceptions.ini", other.c_str());
      env.WriteFile(way == 0 ? QStringLiteral("exceptions.ini") : QString::fromStdString(other),
                    FormatListText({QStringLiteral("keep.*")}));
      std::this_thread::sleep_for(TExceptionsFile::SeenAfter());
    };
    list.Clear();
    Scanner().ScanDrive(drive);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(view.exceptions, QStringList({QStringLiteral("keep.*")}));
  }
}

// Removed mid-scan, the exception list ends the check at the next directory: the file itself
// (seen through the watch on the working directory) or the file behind a link (which the watch
// cannot see: it is looked at by stat at every directory).
TEST_F(ScannerTest, ExceptionsFileRemovedMidScanEndsTheCheck) {
  MakeDir(drive + "/s1");
  MakeDir(drive + "/s1/s2");
  const std::string real = Bytes(env.Root()) + "/real-exceptions.ini";
  for (const bool link : {false, true}) {
    SCOPED_TRACE(link ? "behind a link" : "the file itself");
    SetExceptions({});
    if (link) {
      ::rename("exceptions.ini", real.c_str());
      MakeLink(real, "exceptions.ini");
    }
    const QString s1Caption = QStringLiteral(" Scanning: [") + At("s1/") + u']';
    view.onEvents = [&] {
      if (view.caption != s1Caption) return;
      ::unlink(link ? real.c_str() : "exceptions.ini");
      std::this_thread::sleep_for(TExceptionsFile::SeenAfter());
    };
    try {
      Scanner().ScanDrive(drive);
      ADD_FAILURE() << "the check went on";
    } catch (const EFileError& e) {
      EXPECT_EQ(e.Message(), QStringLiteral("Cannot open file exceptions.ini"));
    }
    EXPECT_EQ(view.caption, s1Caption);
    ::unlink("exceptions.ini");
  }
}

TEST_F(ScannerTest, InvalidMaskFailsAtTheFirstFile) {
  TScanner& empty = Scanner({QStringLiteral("*.tmp"), QStringLiteral("[abc")});
  empty.ScanDrive(drive);  // no file, no test, no failure
  MakeFile(drive + "/x.txt");
  try {
    Scanner({QStringLiteral("*.tmp"), QStringLiteral("[abc")}).ScanDrive(drive);
    ADD_FAILURE() << "no failure";
  } catch (const EMaskException& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("'[abc' is an invalid mask at (5)"));
  }
}

TEST_F(ScannerTest, InvalidExceptionFailsOnlyWhenAMaskFits) {
  SetExceptions({QStringLiteral("[-a]")});
  MakeFile(drive + "/x.txt");
  Scanner().ScanDrive(drive);
  EXPECT_TRUE(list.IsEmpty());
  MakeFile(drive + "/a.tmp");
  try {
    Scanner().ScanDrive(drive);
    ADD_FAILURE() << "no failure";
  } catch (const EMaskException& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("'[-a]' is an invalid mask at (2)"));
  }
}

TEST(SizeTextTest, ThresholdsDivisorsAndHalfToEven) {
  const std::pair<quint64, const char*> cases[] = {{0, "0 bytes"},
                                                   {1024, "1024 bytes"},
                                                   {1025, "1 Kb"},
                                                   {1500, "2 Kb"},
                                                   {2500, "2 Kb"},
                                                   {3500, "4 Kb"},
                                                   {1024000, "1024 Kb"},
                                                   {1024001, "1 Mb"},
                                                   {2000000, "2 Mb"},
                                                   {2500000, "2 Mb"},
                                                   {5000000000ULL, "5000 Mb"}};
  for (const auto& [bytes, text] : cases) EXPECT_EQ(SizeText(bytes), QString::fromUtf8(text));
}

TEST(EntryPathTest, MarkedEntriesLoseTheirMarker) {
  const std::pair<const char*, const char*> cases[] = {
      {"/x/a.tmp (Cannot delete file)", "/x/a.tmp"},
      {"/x/Copy (2) of a.tmp (Cannot delete file)", "/x/Copy"},
      {"/x/report(1)", "/x/report(1)"},
      {"/x/a (b.tmp", "/x/a (b.tmp"},
      {"/x/a.tmp", "/x/a.tmp"}};
  for (const auto& [text, path] : cases)
    EXPECT_EQ(EntryPath(QString::fromUtf8(text)), QString::fromUtf8(path)) << text;
  EXPECT_TRUE(IsMarkedText(QStringLiteral("/x/report(1)")));
  EXPECT_FALSE(IsMarkedText(QStringLiteral("/x/a (b.tmp")));
}

// An answer may come, and close its stream, before the program has said it expects one (an
// Abandon answered at once): the closed stream owes nothing, and the helper is not killed.
TEST(HelperClientTest, StreamClosedBeforeItsAnswerIsExpectedKillsNothing) {
  struct Silent : THelperClient::Stream {
    void Receive(channel::Message, std::string_view) override {}
    void Gone(bool) override {}
  };
  const std::shared_ptr<THelperClient> helper = THelperClient::Start();
  const std::uint32_t id = helper->Open(std::make_shared<Silent>());
  helper->Close(id);
  helper->ExpectAnswer(id);
  std::this_thread::sleep_for(THelperClient::kAnswerTime * 2);
  EXPECT_FALSE(helper->Gone());
}

// Helpers are real processes of the program while one of these lives.
struct ProcessHelpers {
  ProcessHelpers() { UseHelperProgram(VANTREL_BINARY); }
  ~ProcessHelpers() { UseHelperProgram(std::string()); }
};

// A helper started ahead serves the next check; one that ended meanwhile is replaced.
TEST_F(ScannerTest, HelperStartedAheadServesOrIsReplaced) {
  MakeFile(drive + "/a", "abc");
  list.Append(EntryFor(list, drive, "a"));
  const ProcessHelpers processes;
  for (const bool ended : {false, true}) {
    const pid_t ahead = PrestartHelper();
    ASSERT_GT(ahead, 0);
    if (ended) {
      ::kill(ahead, SIGKILL);
      // Ended and not yet reaped: left for the start to find.
      siginfo_t info{};
      while (::waitid(P_PID, static_cast<id_t>(ahead), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
             info.si_pid == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const std::shared_ptr<THelperClient> helper = THelperClient::Start();
    EXPECT_EQ(helper->Pid() == ahead, !ended);
    EXPECT_EQ(MeasuredTotal(list, helper), 3u) << ended;
  }
}

// A helper killed from outside while a call blocks (a crash, the out-of-memory killer): in a
// listing the check fails with its box and what was found stays listed; in a Delete batch what
// it had not reported done is marked, never tried again; a new helper then serves.
TEST_F(ScannerTest, HelperKilledFromOutsideLeavesItsWorkNotDone) {
  const std::string root = Bytes(env.Root()) + "/vol";
  BlockingVolume volume(root, "f a.tmp 1\nb blk\nf blk/in.tmp 2\nu slow.tmp 3\nf z.tmp 4\n");
  if (!volume.Skip().empty()) GTEST_SKIP() << volume.Skip();
  const ProcessHelpers processes;
  std::shared_ptr<THelperClient> helper;
  // Killed once the walk, or the deletion, waits on the blocked call.
  const auto killAt = [&](int calls, qsizetype listed) {
    return [&, calls, listed] {
      if (volume.Blocked() >= calls && list.Count() == listed && helper->Pid() > 0)
        ::kill(helper->Pid(), SIGKILL);
    };
  };
  const QString at = QString::fromStdString(root);
  helper = THelperClient::Start();
  exceptions.Load();
  TScanner scanner(list, view, language, exceptions, {QStringLiteral("*.tmp")},
                   ScanSettings{false, {}, helper});
  view.onWait = killAt(1, 1);
  QString failure;
  try {
    scanner.ScanDrive(root);
  } catch (const EVantrelError& e) {
    failure = e.Message();
  }
  EXPECT_EQ(failure, "the file system helper ended unexpectedly");
  EXPECT_EQ(Texts(list), QStringList({at + "/a.tmp"}));

  // One removal a batch: z.tmp is deleted, slow.tmp blocks, a.tmp is never tried.
  list.Append(EntryFor(list, root, "slow.tmp"));
  list.Append(EntryFor(list, root, "z.tmp"));
  list.SetAllChecked(true);
  helper = THelperClient::Start();
  RecordingDeletionView deletion;
  deletion.onWait = killAt(2, 2);  // z.tmp has left the list
  const DeletionResult result =
      DeleteTickedEntries(list, deletion, language, {}, Removal::Delete, helper);
  volume.Release();
  EXPECT_TRUE(result.helperFailed);
  EXPECT_EQ(result.deleted, 1);
  EXPECT_EQ(result.marked, QStringList({at + "/slow.tmp (Cannot delete file)",
                                        at + "/a.tmp (Cannot delete file)"}));
  EXPECT_FALSE(Exists(root + "/z.tmp"));
  EXPECT_TRUE(Exists(root + "/slow.tmp"));
  EXPECT_TRUE(Exists(root + "/a.tmp"));
}

}  // namespace

#include "scan/Deletion.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>
#include <vector>

#include "ChildProcess.h"
#include "ScanTestSupport.h"
#include "TestEnv.h"
#include "i18n/LanguageFile.h"
#include "scan/StatusTexts.h"

namespace {

class DeletionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive = Bytes(env.Root()) + "/drive";
    MakeDir(drive);
  }

  // Creates the files (and their folders) and lists them in this order; unidentified, as a walk
  // that takes no sizes lists them.
  void List(std::initializer_list<const char*> relatives, bool identified = true) {
    for (const char* relative : relatives) {
      const std::string path = drive + "/" + relative;
      for (size_t slash = path.find('/', drive.size() + 1); slash != std::string::npos;
           slash = path.find('/', slash + 1)) {
        if (!Exists(path.substr(0, slash))) MakeDir(path.substr(0, slash));
      }
      MakeFile(path, "content");
      ResultEntry entry = EntryFor(list, drive, relative);
      if (!identified) {
        entry.size = entry.device = entry.inode = 0;
        entry.identified = false;
      }
      list.Append(entry);
    }
    list.CommitPending();
  }
  void Tick(std::initializer_list<int> rows) {
    for (int row : rows) list.SetChecked(row, true);
  }
  DeletionResult Delete(std::chrono::steady_clock::duration interval = {}) {
    return DeleteTickedEntries(list, view, language, interval);
  }
  QString At(const std::string& relative) const {
    return QString::fromStdString(drive + "/" + relative);
  }

  // Runs body in a child that is nobody (when the tests run as root), on a drive of its own that
  // nobody owns, so that permission bits bite. The report starts with "skip:" when the child
  // cannot become nobody.
  ChildResult AsNobody(const std::function<std::string()>& body) {
    const std::string nobodyDrive = SharedArea(Bytes(env.Root())) + "/drive";
    ChildResult child = RunInChild([&] {
      if (!DropToNobody()) return std::string("skip: cannot become nobody");
      drive = nobodyDrive;
      MakeDir(drive);
      return body();
    });
    drive = nobodyDrive;
    return child;
  }

  // What a deletion did, in a form a child can report.
  std::string Report(const DeletionResult& result) const {
    std::string report = "deleted " + std::to_string(result.deleted) + "\nmarked";
    for (const QString& text : result.marked) report += " [" + text.toStdString() + "]";
    report += "\npositions";
    for (int position : view.positions) report += " " + std::to_string(position);
    report += "\nlist";
    for (qsizetype row = 0; row < list.Count(); ++row)
      report += " [" + list.Text(row).toStdString() + (list.Checked(row) ? " ticked]" : "]");
    return report;
  }

  TestEnv env;
  std::string drive;
  TResultList list;
  RecordingDeletionView view;
  TLanguageFile language;
};

TEST_F(DeletionTest, ThreeOfTenAdvanceTheBarInThirds) {
  List({"f0", "f1", "f2", "f3", "f4", "f5", "f6", "f7", "f8", "f9"});
  Tick({2, 5, 8});
  const DeletionResult result = Delete();
  EXPECT_EQ(result.deleted, 3);
  EXPECT_TRUE(result.marked.isEmpty());
  EXPECT_EQ(view.positions, std::vector<int>({33, 67, 100}));
  EXPECT_EQ(Texts(list),
            QStringList({At("f0"), At("f1"), At("f3"), At("f4"), At("f6"), At("f7"), At("f9")}));
  for (const char* gone : {"f2", "f5", "f8"}) EXPECT_FALSE(Exists(drive + "/" + gone));
  EXPECT_TRUE(Exists(drive + "/f9"));
  EXPECT_EQ(list.CheckedCount(), 0);
}

TEST_F(DeletionTest, BottomUpLockedEntryIsMarkedFirst) {
  const ChildResult child = AsNobody([&] {
    List({"open/a.tmp", "locked/b.tmp"});
    Tick({0, 1});
    ::chmod((drive + "/locked").c_str(), 0555);
    if (::access((drive + "/locked").c_str(), W_OK) == 0) return std::string("no lock");
    const DeletionResult result = Delete();
    ::chmod((drive + "/locked").c_str(), 0755);
    return Report(result) + "\nleft " + std::to_string(Exists(drive + "/locked/b.tmp")) +
           std::to_string(Exists(drive + "/open/a.tmp"));
  });
  if (child.report.starts_with("skip:")) GTEST_SKIP() << child.report;
  const std::string marked = Bytes(At("locked/b.tmp")) + " (Cannot delete file)";
  // The failure moved nothing; the one deletion took the bar to the end.
  EXPECT_EQ(child.report,
            "deleted 1\nmarked [" + marked + "]\npositions 100\nlist [" + marked + "]\nleft 10");
}

TEST_F(DeletionTest, ReadOnlyFileIsDeletedWithoutTouchingPermissions) {
  const ChildResult child = AsNobody([&] {
    List({"ro.tmp"});
    ::chmod((drive + "/ro.tmp").c_str(), 0444);
    Tick({0});
    const std::string report = Report(Delete());
    return report + "\nleft " + std::to_string(Exists(drive + "/ro.tmp"));
  });
  if (child.report.starts_with("skip:")) GTEST_SKIP() << child.report;
  EXPECT_EQ(child.report, "deleted 1\nmarked\npositions 100\nlist\nleft 0");
}

TEST_F(DeletionTest, FileGoneMeanwhileCountsAsDeleted) {
  List({"a", "sub/b"});
  ::unlink((drive + "/a").c_str());
  ::unlink((drive + "/sub/b").c_str());
  ::rmdir((drive + "/sub").c_str());
  Tick({0, 1});
  const DeletionResult result = Delete();
  EXPECT_EQ(result.deleted, 2);
  EXPECT_TRUE(list.IsEmpty());
}

TEST_F(DeletionTest, FolderSwappedForALinkDoesNotRedirectTheDeletion) {
  List({"d/a.tmp"});
  const std::string victim = Bytes(env.Root()) + "/victim";
  MakeDir(victim);
  // The same file under a name outside the drive: only the folder chain, never the file's
  // identity, can tell that this name is not the one found.
  ASSERT_EQ(::link((drive + "/d/a.tmp").c_str(), (victim + "/a.tmp").c_str()), 0);
  ASSERT_EQ(::rename((drive + "/d").c_str(), (drive + "/d.moved").c_str()), 0);
  MakeLink(victim, drive + "/d");
  Tick({0});
  const DeletionResult result = Delete();
  EXPECT_EQ(result.deleted, 0);
  EXPECT_TRUE(Exists(victim + "/a.tmp"));
  EXPECT_TRUE(Exists(drive + "/d.moved/a.tmp"));
  EXPECT_EQ(Texts(list), QStringList({At("d/a.tmp") + " (Cannot delete file)"}));
}

// What may stand under an entry's name when the Delete command comes: only the very file that
// the check found (or, listed unidentified, the measuring at its end) is removed; anything else
// put there since stays and marks the entry.
struct SinceTheCheckCase {
  const char* name;
  void (*change)(const std::string& path);
  qsizetype deleted;
  mode_t leftKind;  // 0: nothing is left under the name
};

const SinceTheCheckCase kSinceTheCheck[] = {
    {"Unchanged", [](const std::string&) {}, 1, 0},
    {"Gone", [](const std::string& path) { ::unlink(path.c_str()); }, 1, 0},
    {"ReplacedByAnotherFile",
     [](const std::string& path) {
       MakeFile(path + ".new", "new");  // made while the old file lives: another inode
       ::rename((path + ".new").c_str(), path.c_str());
     },
     0, S_IFREG},
    // Removed first, then made anew: the new one may well get the old inode number, so only
    // its kind tells it apart.
    {"ReplacedByALink",
     [](const std::string& path) {
       ::unlink(path.c_str());
       MakeLink(path + ".elsewhere", path);
     },
     0, S_IFLNK},
    {"ReplacedByADirectory",
     [](const std::string& path) {
       ::unlink(path.c_str());
       MakeDir(path);
     },
     0, S_IFDIR},
    {"ReplacedByAFifo",
     [](const std::string& path) {
       ::unlink(path.c_str());
       ::mkfifo(path.c_str(), 0644);
     },
     0, S_IFIFO},
};

void PrintTo(const SinceTheCheckCase& c, std::ostream* os) {
  *os << c.name;
}

class SinceTheCheckTest
    : public DeletionTest,
      public ::testing::WithParamInterface<std::tuple<SinceTheCheckCase, bool>> {};

TEST_P(SinceTheCheckTest, OnlyTheFileFoundIsDeleted) {
  const auto& [c, identifiedByMeasuring] = GetParam();
  List({"sub/a.log"}, !identifiedByMeasuring);
  if (identifiedByMeasuring) {
    EXPECT_EQ(MeasuredTotal(list), 7u);
  }
  c.change(drive + "/sub/a.log");
  Tick({0});
  const DeletionResult result = Delete();
  EXPECT_EQ(result.deleted, c.deleted);
  struct stat st {};
  const bool left = ::lstat((drive + "/sub/a.log").c_str(), &st) == 0;
  EXPECT_EQ(left ? (st.st_mode & S_IFMT) : 0, c.leftKind);
  EXPECT_EQ(Texts(list), c.deleted == 1 ? QStringList()
                                        : QStringList({At("sub/a.log") + " (Cannot delete file)"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, SinceTheCheckTest,
                         ::testing::Combine(::testing::ValuesIn(kSinceTheCheck), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "IdentifiedByMeasuring" : "");
                         });

TEST_F(DeletionTest, LinkIsDeletedNotItsTarget) {
  MakeFile(drive + "/target", "t");
  MakeLink(drive + "/target", drive + "/link.tmp");
  list.Append(EntryFor(list, drive, "link.tmp"));
  list.CommitPending();
  Tick({0});
  EXPECT_EQ(Delete().deleted, 1);
  EXPECT_FALSE(Exists(drive + "/link.tmp"));
  EXPECT_TRUE(Exists(drive + "/target"));
}

TEST_F(DeletionTest, EveryEntryDeletedLeavesNothingToCount) {
  List({"a", "b", "c/d"});
  list.SetAllChecked(true);
  EXPECT_EQ(Delete().deleted, 3);
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.RunningTotal(), 0u);
  EXPECT_EQ(MeasuredTotal(list), 0u);
  EXPECT_EQ(view.positions, std::vector<int>({33, 67, 100}));
}

// Files are measured from the folders kept open on their way (a folder's files with a
// subfolder's among them, a second root inside the first): the total is of the files as they
// are now.
TEST_F(DeletionTest, MeasuredTotalIsOfTheFilesAsTheyAreNow) {
  List({"a", "c/d", "c/e", "c/s/t/u", "c/s/t/v", "c/f", "g/h", "g/i"});
  list.Append(EntryFor(list, drive + "/c", "s/t/u"));
  ::unlink((drive + "/c/d").c_str());
  MakeFile(drive + "/c/s/t/v", "xyz");
  MakeFile(drive + "/c/f", "0123456789");
  ::unlink((drive + "/g/h").c_str());
  EXPECT_EQ(MeasuredTotal(list), 7u + 7u + 7u + 3u + 10u + 7u + 7u);
  // A folder put in a file's place is no file: it adds nothing.
  ::unlink((drive + "/g/i").c_str());
  ::mkdir((drive + "/g/i").c_str(), 0755);
  EXPECT_EQ(MeasuredTotal(list), 7u + 7u + 7u + 3u + 10u + 7u);
}

// A folder that may be searched but no longer listed is passed as its whole path would be.
TEST_F(DeletionTest, MeasuredThroughAFolderThatCannotBeListed) {
  const ChildResult child = AsNobody([&] {
    List({"x/a", "x/b", "x/y/c", "x/y/d"});
    for (const char* folder : {"/x/y", "/x"}) ::chmod((drive + folder).c_str(), 0111);
    return std::to_string(MeasuredTotal(list));
  });
  if (child.report.starts_with("skip:")) GTEST_SKIP() << child.report;
  EXPECT_EQ(child.report, "28");
}

// A long list goes in parts bounded by files and by bytes; each file's size lands on its own row.
TEST_F(DeletionTest, MeasuredInPartsEachSizeOnItsRow) {
  for (int i = 0; i < 2500; ++i) {
    const std::string name = std::string(i % 2 == 0 ? 240 : 3, 'n') + "." + std::to_string(i);
    MakeFile(drive + "/" + name, std::string(static_cast<size_t>(i % 13), 'x'));
    list.Append(EntryFor(list, drive, name));
  }
  for (int i = 0; i < 2500; ++i) list.SetMeasuredSize(i, 0);
  EXPECT_EQ(list.RunningTotal(), 0u);
  EXPECT_EQ(MeasuredTotal(list), 192u * 78u + 6u);  // 192 rounds of 0..12, then 0..3
  for (int i = 0; i < 2500; ++i) ASSERT_EQ(list.Entry(i).size, static_cast<quint64>(i % 13)) << i;
}

TEST_F(DeletionTest, TicksAddedMeanwhileArePickedUpAndTheBarStaysInRange) {
  const ChildResult child = AsNobody([&] {
    List({"a", "b", "locked/c", "d"});
    ::chmod((drive + "/locked").c_str(), 0555);
    Tick({3});
    bool ticked = false;
    view.onEvents = [&] {
      if (ticked) return;
      ticked = true;
      // After d: the user ticks b and the undeletable c; N falls to 0 at c, yet b is deleted.
      Tick({1, 2});
    };
    const DeletionResult result = Delete();
    ::chmod((drive + "/locked").c_str(), 0755);
    return Report(result);
  });
  if (child.report.starts_with("skip:")) GTEST_SKIP() << child.report;
  const std::string marked = Bytes(At("locked/c")) + " (Cannot delete file)";
  EXPECT_EQ(child.report, "deleted 2\nmarked [" + marked + "]\npositions 100\nlist [" +
                              Bytes(At("a")) + "] [" + marked + "]");
}

TEST_F(DeletionTest, ScatteredRowsRemovedInOneBatchKeepTheOthersInOrder) {
  std::vector<std::string> names;
  for (int i = 0; i < 60; ++i) names.push_back("f" + std::to_string(i));
  QStringList kept;
  for (int i = 0; i < 60; ++i) {
    MakeFile(drive + "/" + names[i]);
    list.Append(EntryFor(list, drive, names[i]));
    if (i % 2 == 1) kept.append(At(names[i]));
  }
  list.CommitPending();
  for (int i = 0; i < 60; i += 2) list.SetChecked(i, true);
  EXPECT_EQ(Delete(std::chrono::hours(1)).deleted, 30);
  EXPECT_EQ(Texts(list), kept);
  // Every kept path is still known to the duplicate test, every deleted one is not.
  EXPECT_FALSE(list.IsNewEntry((drive + "/f1").c_str()));
  EXPECT_TRUE(list.IsNewEntry((drive + "/f0").c_str()));
}

TEST_F(DeletionTest, DryRunNamesTickedPathsInListOrder) {
  List({"a", "b\xff", "c"});
  Tick({2, 0, 1});
  QStringList named;
  NameTickedPaths(list, [&named](std::string_view path) {
    named.append(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())));
  });
  EXPECT_EQ(named, QStringList({At("a"), At("b") + "\\xff", At("c")}));
  EXPECT_EQ(list.Count(), 3);
  EXPECT_TRUE(Exists(drive + "/a"));
  ::unlink((drive + "/b\xff").c_str());  // a name the temporary folder's removal cannot spell
}

TEST(ResultListTest, MarkedEntriesStayUnticked) {
  TResultList list;
  for (const char* path : {"/d/a", "/d/report(1)", "/d/b"}) {
    ResultEntry entry;
    entry.path = list.StorePath(path, "");
    list.Append(entry);
  }
  list.MarkFailed(2, QStringLiteral(" (Cannot delete file)"));
  list.SetAllChecked(true);
  EXPECT_EQ(list.CheckedCount(), 3);
  list.UncheckMarked();
  EXPECT_EQ(list.CheckedCount(), 1);
  EXPECT_TRUE(list.Checked(0));
  list.InvertChecks();
  list.UncheckMarked();
  EXPECT_EQ(list.CheckedCount(), 0);
  // A marked entry's text is no longer its path: the same file may be listed again.
  EXPECT_TRUE(list.IsNewEntry("/d/b"));
  EXPECT_FALSE(list.IsNewEntry("/d/report(1)"));
  EXPECT_EQ(list.Text(2), QStringLiteral("/d/b (Cannot delete file)"));
}

// The duplicate test against a plain set, through appends, marks and removals of many paths that
// are prefixes of one another ("/d/1" of "/d/10"), so that runs of the index collide and close up.
TEST(ResultListTest, DuplicateTestFollowsAppendsMarksAndRemovals) {
  TResultList list;
  std::set<std::string> unmarked;
  std::mt19937 random(7);
  auto path = [](size_t i) { return "/d/" + std::to_string(i); };
  for (size_t i = 0; i < 3000; ++i) {
    // The first thousand are indexed at once, the rest as they come.
    if (i == 1000) {
      EXPECT_TRUE(list.IsNewEntry("/d/none"));
    }
    ResultEntry entry;
    entry.path = list.StorePath("/d/", std::to_string(i));
    list.Append(entry);
    unmarked.insert(path(i));
  }
  for (int round = 0; round < 4; ++round) {
    std::vector<qsizetype> rows;
    for (qsizetype row = 0; row < list.Count(); ++row) {
      if (random() % 4 != 0) continue;
      if (random() % 2 == 0 && !list.IsMarked(row)) {
        unmarked.erase(std::string(list.Entry(row).path.View()));
        list.MarkFailed(row, QStringLiteral(" (Cannot delete file)"));
      } else {
        rows.push_back(row);
        if (!list.IsMarked(row)) unmarked.erase(std::string(list.Entry(row).path.View()));
      }
    }
    list.RemoveRows(rows);
    for (size_t i = 0; i < 3100; ++i)
      ASSERT_EQ(list.IsNewEntry(path(i)), !unmarked.contains(path(i))) << path(i);
  }
}

// A long list keeps its paths in large blocks: every path reads back whole, the one that opens a
// block as well as the one that would not fit the block before it.
TEST(ResultListTest, PathsOfALongListReadBackWhole) {
  TResultList list;
  std::vector<StoredPath> stored;
  for (size_t i = 0; i < 120000; ++i)
    stored.push_back(
        list.StorePath("/drive/" + std::string(i % 200, 'f') + '/', std::to_string(i)));
  for (size_t i = 0; i < stored.size(); ++i) {
    ASSERT_EQ(stored[i].View(), "/drive/" + std::string(i % 200, 'f') + '/' + std::to_string(i));
    ASSERT_EQ(stored[i].constData()[stored[i].size()], '\0');
  }
}

}  // namespace

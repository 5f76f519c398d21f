#include "scan/Deletion.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "ScanTestSupport.h"
#include "TestEnv.h"
#include "i18n/LanguageFile.h"
#include "scan/StatusTexts.h"

namespace {

class RecordingDeletionView : public IDeletionView {
 public:
  void SetProgress(int position) override { positions.push_back(position); }
  void ProcessEvents() override {
    if (onEvents) onEvents();
  }
  std::vector<int> positions;
  std::function<void()> onEvents;
};

class DeletionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive = Bytes(env.Root()) + "/drive";
    MakeDir(drive);
  }

  // Creates the files (and their folders) and lists them in this order.
  void List(std::initializer_list<const char*> relatives) {
    for (const char* relative : relatives) {
      const std::string path = drive + "/" + relative;
      for (size_t slash = path.find('/', drive.size() + 1); slash != std::string::npos;
           slash = path.find('/', slash + 1)) {
        if (!Exists(path.substr(0, slash))) MakeDir(path.substr(0, slash));
      }
      MakeFile(path, "content");
      list.Append(EntryFor(drive, relative));
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
  List({"open/a.tmp", "locked/b.tmp"});
  Tick({0, 1});
  ::chmod((drive + "/locked").c_str(), 0555);
  DeletionResult result;
  {
    PermissionsBite bite;
    result = Delete();
  }
  ::chmod((drive + "/locked").c_str(), 0755);
  EXPECT_EQ(result.deleted, 1);
  EXPECT_EQ(result.marked, QStringList({At("locked/b.tmp") + " (Cannot delete file)"}));
  // The failure moved nothing; the one deletion took the bar to the end.
  EXPECT_EQ(view.positions, std::vector<int>({100}));
  EXPECT_EQ(Texts(list), QStringList({At("locked/b.tmp") + " (Cannot delete file)"}));
  EXPECT_FALSE(list.Checked(0));
  EXPECT_TRUE(list.IsMarked(0));
  EXPECT_TRUE(Exists(drive + "/locked/b.tmp"));
  EXPECT_FALSE(Exists(drive + "/open/a.tmp"));
}

TEST_F(DeletionTest, ReadOnlyFileIsDeletedWithoutTouchingPermissions) {
  List({"ro.tmp"});
  ::chmod((drive + "/ro.tmp").c_str(), 0444);
  Tick({0});
  PermissionsBite bite;
  EXPECT_EQ(Delete().deleted, 1);
  EXPECT_FALSE(Exists(drive + "/ro.tmp"));
  EXPECT_TRUE(list.IsEmpty());
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
  MakeFile(victim + "/a.tmp", "precious");
  ASSERT_EQ(::rename((drive + "/d").c_str(), (drive + "/d.moved").c_str()), 0);
  MakeLink(victim, drive + "/d");
  Tick({0});
  const DeletionResult result = Delete();
  EXPECT_EQ(result.deleted, 0);
  EXPECT_TRUE(Exists(victim + "/a.tmp"));
  EXPECT_TRUE(Exists(drive + "/d.moved/a.tmp"));
  EXPECT_EQ(Texts(list), QStringList({At("d/a.tmp") + " (Cannot delete file)"}));
}

TEST_F(DeletionTest, FileReplacedSinceTheCheckIsLeftAlone) {
  List({"a.log"});
  MakeFile(drive + "/keep-me", "new");  // made while the old file lives: another inode
  ASSERT_EQ(::rename((drive + "/keep-me").c_str(), (drive + "/a.log").c_str()), 0);
  Tick({0});
  EXPECT_EQ(Delete().deleted, 0);
  EXPECT_TRUE(Exists(drive + "/a.log"));
  EXPECT_TRUE(list.IsMarked(0));
}

TEST_F(DeletionTest, LinkIsDeletedNotItsTarget) {
  MakeFile(drive + "/target", "t");
  MakeLink(drive + "/target", drive + "/link.tmp");
  list.Append(EntryFor(drive, "link.tmp"));
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
  EXPECT_EQ(list.MeasureTotal(), 0u);
  EXPECT_EQ(view.positions, std::vector<int>({33, 67, 100}));
}

TEST_F(DeletionTest, TicksAddedMeanwhileArePickedUpAndTheBarStaysInRange) {
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
  DeletionResult result;
  {
    PermissionsBite bite;
    result = Delete();
  }
  ::chmod((drive + "/locked").c_str(), 0755);
  EXPECT_EQ(result.deleted, 2);
  EXPECT_EQ(result.marked, QStringList({At("locked/c") + " (Cannot delete file)"}));
  EXPECT_EQ(view.positions, std::vector<int>({100}));
  EXPECT_EQ(Texts(list), QStringList({At("a"), At("locked/c") + " (Cannot delete file)"}));
}

TEST_F(DeletionTest, ScatteredRowsRemovedInOneBatchKeepTheOthersInOrder) {
  std::vector<std::string> names;
  for (int i = 0; i < 60; ++i) names.push_back("f" + std::to_string(i));
  QStringList kept;
  for (int i = 0; i < 60; ++i) {
    MakeFile(drive + "/" + names[i]);
    list.Append(EntryFor(drive, names[i]));
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
  NameTickedPaths(list, [&named](const QString& path) { named.append(path); });
  EXPECT_EQ(named, QStringList({At("a"), At("b") + "\\xff", At("c")}));
  EXPECT_EQ(list.Count(), 3);
  EXPECT_TRUE(Exists(drive + "/a"));
}

TEST(ResultListTest, MarkedEntriesStayUnticked) {
  TResultList list;
  for (const char* path : {"/d/a", "/d/report(1)", "/d/b"}) {
    ResultEntry entry;
    entry.path = path;
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

}  // namespace

#include "settings/ListFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <csignal>
#include <functional>

#include "BlockingVolume.h"
#include "ChildProcess.h"
#include "TestEnv.h"
#include "platform/Errors.h"
#include "platform/SafeRead.h"

namespace {

QString FileErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EFileError& e) {
    return e.Message();
  }
  return QStringLiteral("<no error>");
}

TEST(ParseListText, LineEndsBlankLinesAndNul) {
  struct Case {
    QByteArray bytes;
    QStringList entries;
  };
  const Case cases[] = {
      {"", {}},
      {"*.tmp\r\n*.bak\r\n", {"*.tmp", "*.bak"}},
      {"*.tmp\n*.bak\n", {"*.tmp", "*.bak"}},
      {"*.tmp\r*.bak\r", {"*.tmp", "*.bak"}},
      {"*.tmp\r\n*.bak", {"*.tmp", "*.bak"}},  // last line without its line end
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},      // blank line: one empty entry
      {"a\n\nb", {"a", "", "b"}},
      {"\r\n", {""}},
      {"\r\n\r\n", {"", ""}},
      {"a\n\rb", {"a", "", "b"}},  // LF then CR: two line ends
      {"a\r\r\nb", {"a", "", "b"}},
      {"  lead\r\ntrail  \r\n", {"  lead", "trail  "}},  // entries exact
      {QByteArray("a\r\nb\0c\r\nd", 9), {"a", "b"}},     // NUL ends the text
      {QByteArray("\0a", 2), {}},
      {"a\r\na\r\n", {"a", "a"}},  // duplicates kept
      {"\xEF\xBB\xBF*.tmp\r\n", {"*.tmp"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ParseListText(c.bytes), c.entries) << c.bytes.toHex().constData();
}

TEST(FormatListText, CrLfAfterEveryEntryAsUtf8) {
  EXPECT_EQ(FormatListText({}), QByteArray());
  EXPECT_EQ(FormatListText({"A", "b", "", " x"}), QByteArray("A\r\nb\r\n\r\n x\r\n"));
  EXPECT_EQ(FormatListText({QString::fromUtf8("é")}), QByteArray("\xC3\xA9\r\n"));
}

// Found by fuzzing: an entry beginning with U+FEFF lost it, read as a byte-order mark.
TEST(FormatListText, EntryBeginningWithAByteOrderMarkSurvives) {
  const QStringList entries = {QStringLiteral("\uFEFF\uFEFFa"), QStringLiteral("b")};
  EXPECT_EQ(ParseListText(FormatListText(entries)), entries);
  EXPECT_EQ(FormatListText({QStringLiteral("a")}), QByteArray("a\r\n"));
}

TEST(ListFile, SaveAndLoadRoundTrip) {
  TestEnv env;
  const QStringList entries = {" *.tmp", "", QString::fromUtf8("файл?.bak"), "*.~*"};
  SaveListFile(entries, kMasksFileName);
  EXPECT_EQ(env.ReadFile(kMasksFileName),
            QByteArray(" *.tmp\r\n\r\n\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB?.bak\r\n*.~*\r\n"));
  EXPECT_EQ(LoadListFile(kMasksFileName), entries);
}

TEST(ListFile, EmptyListIsAZeroByteFile) {
  TestEnv env;
  SaveListFile({}, kExceptionsFileName);
  EXPECT_TRUE(QFile::exists(env.Abs(kExceptionsFileName)));
  EXPECT_EQ(QFileInfo(env.Abs(kExceptionsFileName)).size(), 0);
  EXPECT_EQ(LoadListFile(kExceptionsFileName), QStringList());
}

TEST(ListFile, SaveReplacesTheWholeFile) {
  TestEnv env;
  env.WriteFile(kMasksFileName, "old1\r\nold2\r\nold3\r\n");
  SaveListFile({"new"}, kMasksFileName);
  EXPECT_EQ(env.ReadFile(kMasksFileName), QByteArray("new\r\n"));
}

TEST(ListFile, NonUtf8FileUsesTheCodePage) {
  TestEnv env;
  env.SetEnv("VANTREL_CODEPAGE", "windows-1251");
  env.WriteFile(kExceptionsFileName, "\xF4\xE0\xE9\xEB.txt\r\n*.\xE4\xEE\xEA\r\n");
  EXPECT_EQ(LoadListFile(kExceptionsFileName),
            QStringList({QString::fromUtf8("файл.txt"), QString::fromUtf8("*.док")}));
}

TEST(ListFile, MissingFileCannotBeOpened) {
  TestEnv env;
  EXPECT_EQ(FileErrorOf([] { LoadListFile(kMasksFileName); }),
            QStringLiteral("Cannot open file vantrel.ini"));
  EXPECT_FALSE(ListFileExists(kMasksFileName));
}

// Something other than a regular file in the list file's place is refused at once, without
// waiting for a writer or reading forever.
TEST(ListFile, FifoDirectoryOrDeviceIsRefusedWithoutBlocking) {
  TestEnv env;
  ASSERT_EQ(::mkfifo(QFile::encodeName(env.Abs(kMasksFileName)).constData(), 0600), 0);
  EXPECT_EQ(FileErrorOf([] { LoadListFile(kMasksFileName); }),
            QStringLiteral("Cannot open file vantrel.ini"));
  EXPECT_FALSE(ListFileExists(kMasksFileName));

  ASSERT_TRUE(QDir().mkpath(env.Abs(kExceptionsFileName)));
  EXPECT_EQ(FileErrorOf([] { LoadListFile(kExceptionsFileName); }),
            QStringLiteral("Cannot open file exceptions.ini"));
  EXPECT_FALSE(ListFileExists(kExceptionsFileName));

  EXPECT_EQ(ReadConfigFile(QStringLiteral("/dev/zero")), std::nullopt);
  EXPECT_EQ(FileErrorOf([] { LoadListFile(QStringLiteral("/dev/zero")); }),
            QStringLiteral("Cannot open file /dev/zero"));
}

TEST(ListFile, OversizedFileIsRefused) {
  TestEnv env;
  QFile file(env.Abs(kMasksFileName));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_TRUE(file.resize(kMaxConfigFileSize + 1));
  file.close();
  EXPECT_EQ(FileErrorOf([] { LoadListFile(kMasksFileName); }),
            QStringLiteral("Cannot open file vantrel.ini"));
  ASSERT_TRUE(QFile::resize(env.Abs(kMasksFileName), kMaxConfigFileSize));
  EXPECT_EQ(ReadConfigFile(kMasksFileName)->size(), kMaxConfigFileSize);
}

// A run as root reads only files that only root could have planted.
TEST(ListFile, RootRunRefusesFilesOthersCouldWrite) {
  TestEnv env;
  env.WriteFile(kMasksFileName, "*.tmp\r\n");
  const QByteArray path = QFile::encodeName(env.Abs(kMasksFileName));
  ASSERT_EQ(::chmod(path.constData(), 0644), 0);
  EXPECT_EQ(LoadListFile(kMasksFileName), QStringList({"*.tmp"}));
  if (::geteuid() != 0) GTEST_SKIP() << "the rule applies to root runs only";

  ASSERT_EQ(::chmod(path.constData(), 0664), 0);
  EXPECT_EQ(FileErrorOf([] { LoadListFile(kMasksFileName); }),
            QStringLiteral("Cannot open file vantrel.ini"));
  ASSERT_EQ(::chmod(path.constData(), 0646), 0);
  EXPECT_EQ(ReadConfigFile(kMasksFileName), std::nullopt);
  ASSERT_EQ(::chmod(path.constData(), 0644), 0);
  ASSERT_EQ(::chown(path.constData(), 65534, 65534), 0);
  EXPECT_EQ(ReadConfigFile(kMasksFileName), std::nullopt);
}

// What a save leaves loads again: under a umask of 0002 as root (which reads back only files
// nobody else may write), and where the folder takes no new file but the file may be written.
TEST(ListFile, SavedFileLoadsBack) {
  TestEnv env;
  const mode_t before = ::umask(0002);
  SaveListFile({"*.tmp"}, kMasksFileName);
  ::umask(before);
  EXPECT_EQ(LoadListFile(kMasksFileName), QStringList({"*.tmp"}));

  const std::string folder = SharedArea(env.Root().toStdString()) + "/locked";
  const QString file = QString::fromStdString(folder + "/vantrel.ini");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  env.WriteFile(file, "old\r\n");
  ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0666), 0);
  const ChildResult child = RunInChild([&] {
    if (!DropToNobody()) return std::string("cannot become nobody");
    SaveListFile({"new"}, file);
    return std::string("saved");
  });
  EXPECT_EQ(child.report, "saved");
  EXPECT_EQ(env.ReadFile(file), QByteArray("new\r\n"));
}

TEST(ListFile, SaveFailureLeavesThePreviousFile) {
  TestEnv env;
  // A directory in the file's place cannot be replaced by a file.
  ASSERT_TRUE(QDir().mkpath(env.Abs(kMasksFileName)));
  EXPECT_EQ(FileErrorOf([] { SaveListFile({"a"}, kMasksFileName); }),
            QStringLiteral("Cannot create file vantrel.ini"));
  EXPECT_TRUE(QFileInfo(env.Abs(kMasksFileName)).isDir());

  // A disk that fills up half way through the save (simulated with a file size limit, which
  // binds root too): the error, and the previous file untouched.
  env.WriteFile(kExceptionsFileName, "keep\r\n");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64, 64};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const QString error = FileErrorOf(
        [] { SaveListFile(QStringList(100, QStringLiteral("*.tmp")), kExceptionsFileName); });
    ::_exit(error == QStringLiteral("Cannot create file exceptions.ini") ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(env.ReadFile(kExceptionsFileName), QByteArray("keep\r\n"));

  // A flush that reports a write error (fdatasync gives EIO): the same, and no temporary file.
  const BlockingVolume volume(env.Root().toStdString() + "/volume", "w lists\n");
  if (!volume.Skip().empty()) GTEST_SKIP() << volume.Skip();
  const QString name = env.Root() + QStringLiteral("/volume/lists/vantrel.ini");
  SaveListFile({"keep"}, name);
  volume.FailSync();
  EXPECT_EQ(FileErrorOf([&] { SaveListFile({"new"}, name); }), "Cannot create file " + name);
  EXPECT_EQ(env.ReadFile(name), QByteArray("keep\r\n"));
  EXPECT_EQ(QDir(env.Root() + "/volume/lists").entryList(QDir::Files | QDir::Hidden),
            QStringList({"vantrel.ini"}));
}

TEST(ListFile, SortIgnoresCaseAndIsStable) {
  QStringList entries = {"b", "A", "a", "B", "", "*.tmp", "a"};
  SortEntries(entries);
  EXPECT_EQ(entries, QStringList({"", "*.tmp", "A", "a", "a", "b", "B"}));

  const QStringList sorted = {"*.bak", "A", "a", "c"};
  EXPECT_EQ(SortedInsertIndex(sorted, "a"), 3);  // after equal ones
  EXPECT_EQ(SortedInsertIndex(sorted, "B"), 3);
  EXPECT_EQ(SortedInsertIndex(sorted, ""), 0);
  EXPECT_EQ(SortedInsertIndex(sorted, "z"), 4);
  EXPECT_EQ(SortedInsertIndex({}, "z"), 0);
  EXPECT_LT(CompareEntries("A", "b"), 0);
  EXPECT_EQ(CompareEntries("ABC", "abc"), 0);
}

}  // namespace

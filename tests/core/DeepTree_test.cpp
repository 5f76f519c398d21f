// Trees far deeper than PATH_MAX allows to name at once, walked and cleaned with a few dozen
// descriptors; and a folder of a million entries, walked and cleaned in linear time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "ScanTestSupport.h"
#include "TestEnv.h"
#include "i18n/LanguageFile.h"
#include "platform/UniqueFd.h"
#include "scan/Deletion.h"
#include "scan/Scanner.h"
#include "settings/ListFile.h"

namespace {

constexpr int kLevels = 10000;

TEST(DeepTreeTest, TenThousandLevelsWalkedSizedAndCleaned) {
  TestEnv env;
  env.WriteFile(QStringLiteral("exceptions.ini"), QByteArray());
  const std::string drive = Bytes(env.Root()) + "/drive";
  MakeDir(drive);

  // d/d/d/... with a file "sN.tmp" beside the subdirectory on the first 30 levels, and
  // "deep.tmp" at the bottom.
  std::string expectedDeep = drive;
  QStringList expected;
  {
    UniqueFd fd(::open(drive.c_str(), O_RDONLY | O_DIRECTORY));
    for (int level = 0; level < kLevels; ++level) {
      if (level < 30) {
        const std::string side = "s" + std::to_string(level) + ".tmp";
        UniqueFd file(::openat(fd.Get(), side.c_str(), O_WRONLY | O_CREAT, 0644));
        expected.append(QString::fromStdString(expectedDeep + "/" + side));
      }
      ASSERT_EQ(::mkdirat(fd.Get(), "d", 0755), 0);
      fd = UniqueFd(::openat(fd.Get(), "d", O_RDONLY | O_DIRECTORY));
      ASSERT_TRUE(fd.Valid());
      expectedDeep += "/d";
    }
    UniqueFd file(::openat(fd.Get(), "deep.tmp", O_WRONLY | O_CREAT, 0644));
    ASSERT_EQ(::write(file.Get(), "abcd", 4), 4);
  }
  expectedDeep += "/deep.tmp";
  expected.append(QString::fromStdString(expectedDeep));

  TResultList list;
  RecordingView view;
  TLanguageFile language;
  TExceptionsFile exceptions;
  exceptions.Load();
  {
    LowDescriptorLimit limit(128);
    TScanner scanner(list, view, language, exceptions, {QStringLiteral("*.tmp")});
    scanner.ScanDrive(drive);
  }
  QStringList found = Texts(list);
  found.sort();
  expected.sort();
  EXPECT_EQ(found, expected);
  EXPECT_EQ(view.size, QStringLiteral("Total size: 4 bytes"));

  list.SetAllChecked(true);
  QuietDeletionView quiet;
  const DeletionResult result = DeleteTickedEntries(list, quiet, language);
  EXPECT_EQ(result.deleted, kLevels < 30 ? kLevels + 1 : 31);
  EXPECT_TRUE(list.IsEmpty());

  // Nothing left that the scan would find.
  TScanner again(list, view, language, exceptions, {QStringLiteral("*.tmp")});
  again.ScanDrive(drive);
  EXPECT_TRUE(list.IsEmpty());
  ASSERT_EQ(std::system(("rm -rf '" + drive + "'").c_str()), 0);
}

constexpr int kWideEntries = 1000000;
constexpr int kFitEvery = 50;

// Where a million files are made and removed fastest: a memory file system when there is one.
std::string WideBase(const TestEnv& env) {
  struct stat st {};
  if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0)
    return "/dev/shm";
  return Bytes(env.Root());
}

// Seconds since start.
double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(WideTreeTest, MillionEntriesInOneFolder) {
  TestEnv env;
  env.WriteFile(QStringLiteral("exceptions.ini"), QByteArray());
  std::string drive = WideBase(env) + "/vantrel-wide-XXXXXX";
  ASSERT_NE(::mkdtemp(drive.data()), nullptr);
  struct Remove {
    std::string path;
    ~Remove() { std::system(("rm -rf '" + path + "'").c_str()); }
  } remove{drive};

  // Empty files, one in kFitEvery named to fit the mask.
  QStringList expected;
  {
    UniqueFd dir(::open(drive.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(dir.Valid());
    char name[32];
    for (int i = 0; i < kWideEntries; ++i) {
      const bool fits = i % kFitEvery == 0;
      std::snprintf(name, sizeof name, fits ? "f%07d.tmp" : "f%07d.dat", i);
      ASSERT_EQ(::mknodat(dir.Get(), name, S_IFREG | 0644, 0), 0) << name;
      if (fits) expected.append(QString::fromStdString(drive + "/" + name));
    }
  }

  TResultList list;
  RecordingView view;
  TLanguageFile language;
  TExceptionsFile exceptions;
  exceptions.Load();
  // Walking and cleaning each take well under a second here; work quadratic in the entries
  // (10^12 steps), or the total measured afresh after each finding (2 * 10^8 stats), would take
  // minutes.
  auto start = std::chrono::steady_clock::now();
  {
    LowDescriptorLimit limit(64);
    TScanner scanner(list, view, language, exceptions, {QStringLiteral("*.tmp")});
    scanner.ScanDrive(drive);
  }
  EXPECT_LT(Since(start), 10.0);
  EXPECT_EQ(view.files, QStringLiteral("Files: 20000"));
  QStringList found = Texts(list);
  found.sort();
  EXPECT_EQ(found, expected);

  start = std::chrono::steady_clock::now();
  list.SetAllChecked(true);
  QuietDeletionView quiet;
  EXPECT_EQ(DeleteTickedEntries(list, quiet, language).deleted, kWideEntries / kFitEvery);
  EXPECT_LT(Since(start), 10.0);
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_FALSE(Exists(drive + "/f0000000.tmp"));
  EXPECT_TRUE(Exists(drive + "/f0000001.dat"));
}

}  // namespace

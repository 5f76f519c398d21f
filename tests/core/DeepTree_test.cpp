// Trees far deeper than PATH_MAX allows to name at once, walked and cleaned with a few dozen
// descriptors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

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

class NoDeletionEvents : public IDeletionView {
 public:
  void SetProgress(int) override {}
  void ProcessEvents() override {}
};

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
  NoDeletionEvents quiet;
  const DeletionResult result = DeleteTickedEntries(list, quiet, language);
  EXPECT_EQ(result.deleted, kLevels < 30 ? kLevels + 1 : 31);
  EXPECT_TRUE(list.IsEmpty());

  // Nothing left that the scan would find.
  TScanner again(list, view, language, exceptions, {QStringLiteral("*.tmp")});
  again.ScanDrive(drive);
  EXPECT_TRUE(list.IsEmpty());
  ASSERT_EQ(std::system(("rm -rf '" + drive + "'").c_str()), 0);
}

}  // namespace

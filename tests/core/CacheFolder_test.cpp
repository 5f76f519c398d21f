#include "scan/CacheFolder.h"

#include <gtest/gtest.h>

#include <QDir>

#include "TestEnv.h"
#include "platform/Errors.h"
#include "settings/Registry.h"

namespace {

class CacheFolderTest : public ::testing::Test {
 protected:
  void SetCache(const QByteArray& json) {
    env.WriteFile(env.RegistryFile(),
                  "{\"Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell "
                  "Folders\": {\"Cache\": " +
                      json + "}}");
  }
  QString Browser(const char* relative) {
    const QString folder = env.Root() + QStringLiteral("/cache/") + QString::fromLatin1(relative);
    QDir().mkpath(folder);
    return folder;
  }
  std::optional<QString> Find() { return FindCacheFolder(registry); }

  TestEnv env;
  TRegistry registry;
};

TEST_F(CacheFolderTest, TheStoredValueComesFirst) {
  Browser("chromium");
  const QString stored = env.Root() + QStringLiteral("/home/ie-cache");
  QDir().mkpath(stored);
  SetCache('"' + stored.toUtf8() + '"');
  EXPECT_EQ(Find(), stored);
}

TEST_F(CacheFolderTest, WithoutAValueTheFirstBrowserCacheFound) {
  EXPECT_EQ(Find(), std::nullopt);
  const QString chrome = Browser("google-chrome");
  EXPECT_EQ(Find(), chrome);
  const QString chromium = Browser("chromium");
  EXPECT_EQ(Find(), chromium);
  const QString firefox = Browser("mozilla/firefox");
  EXPECT_EQ(Find(), firefox);
}

TEST_F(CacheFolderTest, RootHomeAndNonFoldersCountAsMissing) {
  Browser("chromium");  // a stored value is not second-guessed by a browser folder
  for (const QByteArray& value :
       {QByteArray("\"/\""), QByteArray("\"/./\""), '"' + env.Root().toUtf8() + "/home\"",
        '"' + env.Root().toUtf8() + "/home/../home/\"", QByteArray("\"\""),
        '"' + env.Root().toUtf8() + "/missing\"", '"' + env.RegistryFile().toUtf8() + '"'}) {
    SetCache(value);
    EXPECT_EQ(Find(), std::nullopt) << value.constData();
  }
}

TEST_F(CacheFolderTest, ValueOfTheWrongKindFails) {
  SetCache("12");
  try {
    Find();
    ADD_FAILURE() << "no failure";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("Invalid data type for 'Cache'"));
  }
}

}  // namespace

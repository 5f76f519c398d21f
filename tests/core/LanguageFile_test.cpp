#include "i18n/LanguageFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonValue>

#include "TestEnv.h"
#include "i18n/Catalogue.h"
#include "platform/Errors.h"
#include "platform/MessageBox.h"
#include "platform/RegistryStore.h"
#include "settings/Registry.h"

namespace {

class LanguageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetMessageBoxHandler([this](const MessageBoxCall& call) { boxes.push_back(call); });
  }
  void TearDown() override { SetMessageBoxHandler(previous_); }

  void SetLanguageValue(const QJsonValue& value) {
    TRegistry reg;
    reg.OpenKey(kOptionsKey, true);
    ASSERT_TRUE(RegistryStore::WriteValue(kOptionsKey, QStringLiteral("Language"), value));
  }

  QStringList List(const QString& dir, int* walked = nullptr) {
    QStringList items;
    int count = 0;
    ListLanguageFiles(items, dir, language, [&] { ++count; });
    if (walked != nullptr) *walked = count;
    return items;
  }

  TestEnv env;
  TRegistry registry;
  TLanguageFile language;
  std::vector<MessageBoxCall> boxes;

 private:
  MessageBoxHandler previous_;
};

TEST_F(LanguageFileTest, HandleNamesLanguageDirectoryPlusTheValue) {
  EXPECT_EQ(language.Path(), QStringLiteral("Language/"));
  language.OpenLanguageFile(registry);
  EXPECT_EQ(language.Path(), QStringLiteral("Language/"));  // missing value: empty
  EXPECT_FALSE(registry.KeyOpen());
  EXPECT_TRUE(QFile::exists(env.RegistryFile()));  // the key was created

  SetLanguageValue(QStringLiteral("sub dir\\Deutsch.lng"));
  language.OpenLanguageFile(registry);
  EXPECT_EQ(language.Path(), QStringLiteral("Language/sub dir\\Deutsch.lng"));  // verbatim
}

TEST_F(LanguageFileTest, NonStringValueFailsAndKeepsTheHandle) {
  SetLanguageValue(QStringLiteral("de.lng"));
  language.OpenLanguageFile(registry);
  SetLanguageValue(1);
  try {
    language.OpenLanguageFile(registry);
    ADD_FAILURE() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("Invalid data type for 'Language'"));
  }
  EXPECT_EQ(language.Path(), QStringLiteral("Language/de.lng"));
}

TEST_F(LanguageFileTest, LookupsReadTheChosenFile) {
  env.WriteFile(QStringLiteral("Language/de.lng"), "[Main]\r\nStart=Starten\r\nExit=\r\n");
  EXPECT_EQ(Tr(language, Txt::Main_Start), QStringLiteral("Start"));  // empty value: defaults
  SetLanguageValue(QStringLiteral("de.lng"));
  language.OpenLanguageFile(registry);
  EXPECT_EQ(Tr(language, Txt::Main_Start), QStringLiteral("Starten"));
  EXPECT_EQ(Tr(language, Txt::Main_Exit), QString());
  EXPECT_EQ(Tr(language, Txt::Main_Options), QStringLiteral("Options"));
  // The handle is only a path: the file is read as it is at each lookup.
  env.WriteFile(QStringLiteral("Language/de.lng"), "[Main]\r\nStart=Los\r\n");
  EXPECT_EQ(Tr(language, Txt::Main_Start), QStringLiteral("Los"));
}

TEST_F(LanguageFileTest, ListsLngFilesAtAnyDepthUnsortedWithDuplicates) {
  env.WriteFile(QStringLiteral("Language/Deutsch.lng"), "");
  env.WriteFile(QStringLiteral("Language/RUSSIAN.LNG"), "");
  env.WriteFile(QStringLiteral("Language/.hidden.lng"), "");
  env.WriteFile(QStringLiteral("Language/old.lng.bak"), "");
  env.WriteFile(QStringLiteral("Language/readme.txt"), "");
  env.WriteFile(QStringLiteral("Language/extra/Deutsch.lng"), "");
  env.WriteFile(QStringLiteral("Language/extra/deeper/still/Polski.lng"), "");
  QDir().mkpath(env.Abs(QStringLiteral("Language/empty")));
  QDir().mkpath(env.Abs(QStringLiteral("Language/dir.lng")));  // a directory is not a file

  int walked = 0;
  QStringList items = List(QStringLiteral("Language"), &walked);
  // The file system's order is kept; compare as a sorted list.
  items.sort();
  EXPECT_EQ(items, QStringList(
                       {".hidden.lng", "Deutsch.lng", "Deutsch.lng", "Polski.lng", "RUSSIAN.LNG"}));
  EXPECT_EQ(walked, 6);  // Language, extra, deeper, still, empty, dir.lng
  EXPECT_TRUE(boxes.empty());
}

TEST_F(LanguageFileTest, EmptyDirectoryListsNothingWithoutBox) {
  QDir().mkpath(env.Abs(QStringLiteral("Language")));
  EXPECT_EQ(List(QStringLiteral("Language")), QStringList());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(LanguageFileTest, MissingDirectoryShowsTheWarning) {
  int walked = -1;
  EXPECT_EQ(List(QStringLiteral("Language"), &walked), QStringList());
  EXPECT_EQ(walked, 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("Attention"));
  EXPECT_EQ(boxes[0].text, QStringLiteral("No language files"));
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);

  // A regular file of that name is no directory either.
  boxes.clear();
  env.WriteFile(QStringLiteral("Language"), "");
  EXPECT_EQ(List(QStringLiteral("Language")), QStringList());
  EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(LanguageFileTest, WarningTitleIsLookedUp) {
  // The language file lies elsewhere: the handle may name any readable file.
  env.WriteFile(QStringLiteral("fr.lng"), "[Masks]\nAttention=Attention !\n");
  language.SetPath(QStringLiteral("fr.lng"));
  List(QStringLiteral("Language"));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("Attention !"));
  EXPECT_EQ(boxes[0].text, QStringLiteral("No language files"));
}

TEST_F(LanguageFileTest, LinkedDirectoryLoopEnds) {
  env.WriteFile(QStringLiteral("Language/sub/a.lng"), "");
  ASSERT_TRUE(QFile::link(env.Abs(QStringLiteral("Language")),
                          env.Abs(QStringLiteral("Language/sub/loop"))));
  ASSERT_TRUE(QFile::link(env.Abs(QStringLiteral("Language/sub/a.lng")),
                          env.Abs(QStringLiteral("Language/linked.lng"))));
  QStringList items = List(QStringLiteral("Language"));
  items.sort();
  EXPECT_EQ(items, QStringList({"a.lng", "linked.lng"}));
}

}  // namespace

#include "i18n/ProfileFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QThread>

#include "TestEnv.h"
#include "platform/SafeRead.h"

namespace {

const QString kSample = QStringLiteral(
    "; a comment line\r\n"
    "Stray=before any section\r\n"
    "[Main]\r\n"
    "DriveLabel=Laufwerke\r\n"
    "Start = Start  \r\n"
    "  Exit=Beenden\r\n"
    "Quoted=\"  spaced  \"\r\n"
    "Single='  single '\r\n"
    "Half=\"unbalanced\r\n"
    "Mixed=\"mixed'\r\n"
    "Empty=\r\n"
    "Blank=   \r\n"
    "EmptyQuotes=\"\"\r\n"
    "Inner=a \"b\" c\r\n"
    "Equals=a=b\r\n"
    "no equals sign here\r\n"
    "Dup=first\r\n"
    "dup=second\r\n"
    "[ find ]\n"
    "Files=Dateien\n"
    "[Main]\r"
    "Later=in a second Main section\r");

TEST(LookupProfileText, Rules) {
  struct Case {
    const char* section;
    const char* key;
    std::optional<QString> value;
  };
  const Case cases[] = {
      {"Main", "DriveLabel", QStringLiteral("Laufwerke")},
      {"MAIN", "drivelabel", QStringLiteral("Laufwerke")},  // names ignore case
      {"Main", "Start", QStringLiteral("Start")},           // blanks around dropped
      {"Main", "Exit", QStringLiteral("Beenden")},
      {"Main", "Quoted", QStringLiteral("  spaced  ")},  // quotes keep inner blanks
      {"Main", "Single", QStringLiteral("  single ")},
      {"Main", "Half", QStringLiteral("\"unbalanced")},
      {"Main", "Mixed", QStringLiteral("\"mixed'")},
      {"Main", "Empty", QString()},  // Key= is the empty text
      {"Main", "Blank", QString()},
      {"Main", "EmptyQuotes", QString()},
      {"Main", "Inner", QStringLiteral("a \"b\" c")},
      {"Main", "Equals", QStringLiteral("a=b")},
      {"Main", "Dup", QStringLiteral("first")},      // first match wins
      {"Find", "Files", QStringLiteral("Dateien")},  // blanks inside brackets
      {"Main", "Files", std::nullopt},
      {"Main", "Missing", std::nullopt},
      {"Nowhere", "Start", std::nullopt},
      {"Main", "no equals sign here", std::nullopt},
      {"", "Stray", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(
        LookupProfileText(kSample, QString::fromLatin1(c.section), QString::fromLatin1(c.key)),
        c.value)
        << c.section << "/" << c.key;
}

TEST(LookupProfileText, ValueIsCutAt2047Characters) {
  const QString longValue(3000, u'x');
  const std::optional<QString> got = LookupProfileText(QStringLiteral("[S]\nK=") + longValue,
                                                       QStringLiteral("S"), QStringLiteral("K"));
  EXPECT_EQ(got, QString(2047, u'x'));
  const std::optional<QString> exact = LookupProfileText(
      QStringLiteral("[S]\nK=") + QString(2047, u'y'), QStringLiteral("S"), QStringLiteral("K"));
  EXPECT_EQ(exact, QString(2047, u'y'));
  // The cut never leaves half of a character outside the basic plane.
  const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
  const std::optional<QString> cut =
      LookupProfileText(QStringLiteral("[S]\nK=") + QString(2046, u'z') + emoji,
                        QStringLiteral("S"), QStringLiteral("K"));
  EXPECT_EQ(cut, QString(2046, u'z'));
}

TEST(ReadProfileString, DefaultsForEveryFailure) {
  TestEnv env;
  env.WriteFile(QStringLiteral("Language/de.lng"), "[Main]\r\nStart=Starten\r\nEmpty=\r\n");
  const QString def = QStringLiteral("Start");
  EXPECT_EQ(ReadProfileString("Language/de.lng", "Main", "Start", def), QStringLiteral("Starten"));
  EXPECT_EQ(ReadProfileString("Language/de.lng", "Main", "Empty", def), QString());
  EXPECT_EQ(ReadProfileString("Language/de.lng", "Main", "Nope", def), def);
  EXPECT_EQ(ReadProfileString("Language/de.lng", "Find", "Start", def), def);
  EXPECT_EQ(ReadProfileString("Language/xx.lng", "Main", "Start", def), def);
  EXPECT_EQ(ReadProfileString("Language/", "Main", "Start", def), def);  // the directory
  EXPECT_EQ(ReadProfileString("NoDir/de.lng", "Main", "Start", def), def);
  EXPECT_EQ(ReadProfileString(QString(), "Main", "Start", def), def);
}

// Whatever stands in the language file's place, a lookup answers at once with the default.
TEST(ReadProfileString, OddFilesGiveTheDefaultWithoutBlocking) {
  TestEnv env;
  QDir().mkpath(env.Abs(QStringLiteral("Language")));
  ASSERT_EQ(::mkfifo(QFile::encodeName(env.Abs(QStringLiteral("Language/fifo.lng"))), 0644), 0);
  ASSERT_TRUE(
      QFile::link(QStringLiteral("/dev/zero"), env.Abs(QStringLiteral("Language/zero.lng"))));
  QByteArray huge = "[Main]\r\nStart=Riesig\r\n";
  huge.append(QByteArray(kMaxConfigFileSize, ';'));
  env.WriteFile(QStringLiteral("Language/huge.lng"), huge);
  for (const char* name : {"fifo.lng", "zero.lng", "huge.lng"})
    EXPECT_EQ(ReadProfileString(QStringLiteral("Language/") + QString::fromLatin1(name), "Main",
                                "Start", "Start"),
              QStringLiteral("Start"))
        << name;
}

// A root run reads only language files that root owns and nobody else can write.
TEST(ReadProfileString, RootRunRefusesFilesOthersCouldWrite) {
  if (::geteuid() != 0) GTEST_SKIP() << "the rule applies to root runs only";
  TestEnv env;
  env.WriteFile(QStringLiteral("Language/de.lng"), "[Main]\r\nStart=Starten\r\n");
  const QByteArray path = QFile::encodeName(env.Abs(QStringLiteral("Language/de.lng")));
  ASSERT_EQ(::chmod(path.constData(), 0644), 0);
  EXPECT_EQ(ReadProfileString("Language/de.lng", "Main", "Start", "Start"),
            QStringLiteral("Starten"));
  ASSERT_EQ(::chmod(path.constData(), 0664), 0);
  EXPECT_EQ(ReadProfileString("Language/de.lng", "Main", "Start", "Start"),
            QStringLiteral("Start"));
  ASSERT_EQ(::chmod(path.constData(), 0644), 0);
  ASSERT_EQ(::chown(path.constData(), 65534, 65534), 0);
  EXPECT_EQ(ReadProfileString("Language/de.lng", "Main", "Start", "Start"),
            QStringLiteral("Start"));
}

TEST(ReadProfileString, Windows1251File) {
  TestEnv env;
  env.SetEnv("VANTREL_CODEPAGE", "windows-1251");
  env.WriteFile(QStringLiteral("Language/ru.lng"),
                "[Main]\r\nFixed=\xC6\xE5\xF1\xF2\xEA\xE8\xE9 \xE4\xE8\xF1\xEA\r\n");
  EXPECT_EQ(ReadProfileString("Language/ru.lng", "Main", "Fixed", "Hard Drive"),
            QString::fromUtf8("Жесткий диск"));
}

// Lookups may be served from memory, but never from a file that has changed since.
TEST(ReadProfileString, EveryLookupSeesTheFileAsItIs) {
  TestEnv env;
  const QString path = QStringLiteral("Language/de.lng");
  env.WriteFile(path, "[Main]\nStart=Eins\n");
  EXPECT_EQ(ReadProfileString(path, "Main", "Start", "Start"), QStringLiteral("Eins"));
  // Same size, rewritten in place at once.
  env.WriteFile(path, "[Main]\nStart=Zwei\n");
  EXPECT_EQ(ReadProfileString(path, "Main", "Start", "Start"), QStringLiteral("Zwei"));
  // Replaced by another file through a rename.
  env.WriteFile(QStringLiteral("Language/new.lng"), "[Main]\nStart=Drei\n");
  ASSERT_TRUE(QFile::remove(env.Abs(path)));
  ASSERT_TRUE(QFile::rename(env.Abs(QStringLiteral("Language/new.lng")), env.Abs(path)));
  EXPECT_EQ(ReadProfileString(path, "Main", "Start", "Start"), QStringLiteral("Drei"));
  ASSERT_TRUE(QFile::remove(env.Abs(path)));
  EXPECT_EQ(ReadProfileString(path, "Main", "Start", "Start"), QStringLiteral("Start"));
}

// A file that has rested a while may be kept in memory; a change must still show at once.
TEST(ReadProfileString, AgedFileChangedInPlaceIsReadAgain) {
  TestEnv env;
  const QString path = QStringLiteral("Language/de.lng");
  env.WriteFile(path, "[Main]\nStart=Eins\n");
  QThread::msleep(3200);
  EXPECT_EQ(ReadProfileString(path, "Main", "Start", "Start"), QStringLiteral("Eins"));
  EXPECT_EQ(ReadProfileString(path, "Main", "Start", "Start"), QStringLiteral("Eins"));
  env.WriteFile(path, "[Main]\nStart=Zwei\n");
  EXPECT_EQ(ReadProfileString(path, "Main", "Start", "Start"), QStringLiteral("Zwei"));
}

TEST(ReadProfileString, RelativePathFollowsTheWorkingDirectory) {
  TestEnv first;
  first.WriteFile(QStringLiteral("Language/x.lng"), "[Main]\nStart=First\n");
  EXPECT_EQ(ReadProfileString("Language/x.lng", "Main", "Start", "Start"), QStringLiteral("First"));
  TestEnv second;  // another working directory, same relative name
  second.WriteFile(QStringLiteral("Language/x.lng"), "[Main]\nStart=Second\n");
  EXPECT_EQ(ReadProfileString("Language/x.lng", "Main", "Start", "Start"),
            QStringLiteral("Second"));
}

}  // namespace

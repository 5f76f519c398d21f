// Names built to fool a reader: a newline, bytes that are not UTF-8, a terminal escape
// sequence, a right-to-left override. Each is shown escaped wherever a path is shown, and
// deleted by its exact bytes, never by the text shown.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <memory>

#include "ScanTestSupport.h"
#include "TestEnv.h"
#include "i18n/LanguageFile.h"
#include "scan/Deletion.h"
#include "scan/Scanner.h"
#include "settings/ListFile.h"

namespace {

struct HostileName {
  const char* bytes;
  const char* shown;
};

const HostileName kNames[] = {
    {"new\nline.tmp", "new\\nline.tmp"},
    {"bad\xff.tmp", "bad\\xff.tmp"},
    {"esc\x1b[31mred.tmp", "esc\\x1b[31mred.tmp"},
    {"bidi\xe2\x80\xaepmt.exe.tmp", "bidi\\u202epmt.exe.tmp"},
};

// Files whose names are, byte for byte, what the hostile names look like once escaped.
const char* const kLookAlikes[] = {"new\\nline.tmp", "bad\\xff.tmp", "esc\\x1b[31mred.tmp"};

// The folder holding them also has a hostile name.
constexpr char kFolder[] = "dir\x1b]0;title\x07";
constexpr char kFolderShown[] = "dir\\x1b]0;title\\x07";

class HostileNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive = Bytes(env.Root()) + "/drive";
    MakeDir(drive);
    MakeDir(drive + "/" + kFolder);
    for (const HostileName& name : kNames) MakeFile(Path(name.bytes), "12");
    for (const char* name : kLookAlikes) MakeFile(Path(name), "1");
    env.WriteFile(QStringLiteral("exceptions.ini"), QByteArray());
  }

  std::string Path(const char* name) const { return drive + "/" + kFolder + "/" + name; }
  QString Shown(const QString& shownName) const {
    return QString::fromStdString(drive + "/" + kFolderShown + "/") + shownName;
  }

  TestEnv env;
  std::string drive;
};

TEST_F(HostileNamesTest, ShownEscapedInTheListAndTheCaptionAndDeletedByTheirBytes) {
  TResultList list;
  RecordingView view;
  TLanguageFile language;
  TExceptionsFile exceptions;
  exceptions.Load();
  TScanner scanner(list, view, language, exceptions, {QStringLiteral("*.tmp")},
                   ScanSettings{false, std::chrono::nanoseconds(0)});
  scanner.ScanDrive(drive);

  // What the find window's list shows: the model's display text of each row.
  QStringList shown;
  for (int row = 0; row < list.rowCount(); ++row)
    shown.append(list.data(list.index(row), Qt::DisplayRole).toString());
  shown.sort();
  QStringList expected;
  for (const HostileName& name : kNames) expected.append(Shown(QString::fromUtf8(name.shown)));
  // A backslash that would read as an escape is doubled, so the two never look the same.
  for (const char* name : kLookAlikes)
    expected.append(Shown(QString::fromLatin1(name).replace(u'\\', QStringLiteral("\\\\"))));
  expected.sort();
  EXPECT_EQ(shown, expected);
  EXPECT_TRUE(view.log.contains(QStringLiteral("caption  Scanning: [") + Shown(QString()) + u']'));
  for (const QString& line : view.log) {
    EXPECT_FALSE(line.contains(u'\n') || line.contains(QChar(0x1b)) || line.contains(QChar(0x202e)))
        << line.toStdString();
  }

  // Tick the hostile entries only: they go, the look-alikes stay.
  for (qsizetype row = 0; row < list.Count(); ++row) {
    const std::string_view path = list.Entry(row).path.View();
    for (const HostileName& name : kNames) {
      if (path.ends_with(name.bytes)) list.SetChecked(row, true);
    }
  }
  QuietDeletionView quiet;
  const DeletionResult result = DeleteTickedEntries(list, quiet, language);
  EXPECT_EQ(result.deleted, 4);
  EXPECT_TRUE(result.marked.isEmpty());
  for (const HostileName& name : kNames) EXPECT_FALSE(Exists(Path(name.bytes))) << name.shown;
  for (const char* name : kLookAlikes) EXPECT_TRUE(Exists(Path(name))) << name;
  EXPECT_EQ(list.Count(), 3);
}

// The real program without a display: what it prints is escaped too, and the unattended run
// deletes the very files it found.
TEST_F(HostileNamesTest, HeadlessOutputIsEscaped) {
  if (!QFileInfo::exists(QStringLiteral(VANTREL_BINARY)))
    GTEST_SKIP() << "the program is not built yet: " << VANTREL_BINARY;
  for (const char* name : kLookAlikes) ::unlink(Path(name).c_str());
  env.WriteFile(QStringLiteral("vantrel.ini"), FormatListText({QStringLiteral("*.tmp")}));
  env.WriteFile(env.RegistryFile(),
                "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"AutoCheckHD\": 0, \"AutoCheckFF\": 1}}");
  const auto run = [&](const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("VANTREL_DRIVES"),
                       QString::fromStdString("C=fixed:" + drive));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(env.Work());
    process.start(QStringLiteral(VANTREL_BINARY), arguments);
    EXPECT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0);
    return process.readAllStandardOutput();
  };

  const QByteArray dry = run({QStringLiteral("--dry-run"), QStringLiteral("/dc")});
  QList<QByteArray> lines = dry.split('\n');
  ASSERT_EQ(lines.size(), 8) << dry.constData();  // three status lines, four paths, the end
  EXPECT_EQ(lines.takeLast(), QByteArray());
  EXPECT_EQ(lines.mid(0, 3), QList<QByteArray>({" Finished", "Files: 4", "Total size: 8 bytes"}));
  QList<QByteArray> paths = lines.mid(3);
  std::sort(paths.begin(), paths.end());
  QList<QByteArray> expected;
  for (const HostileName& name : kNames)
    expected.append(Shown(QString::fromUtf8(name.shown)).toUtf8());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(paths, expected);
  EXPECT_FALSE(dry.contains('\x1b'));
  for (const HostileName& name : kNames) EXPECT_TRUE(Exists(Path(name.bytes)));

  EXPECT_EQ(run({QStringLiteral("/dc")}),
            " Finished\nFiles: 4\nTotal size: 8 bytes\n"
            " Deleted files 4 of 4\nFiles: 0\nTotal size: 0 bytes\n");
  for (const HostileName& name : kNames) EXPECT_FALSE(Exists(Path(name.bytes))) << name.shown;
}

}  // namespace

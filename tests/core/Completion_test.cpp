// The bash completion, run in a real bash against the built program's drive map.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

const char* const kScript = VANTREL_SOURCE_DIR "/resources/completion/vantrel";

// Completes the last of words, as bash would after "vantrel": COMPREPLY, one entry a line.
QString Complete(const QStringList& words, const QString& drives) {
  QProcess bash;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("VANTREL_DRIVES"), drives);
  environment.remove(QStringLiteral("DISPLAY"));
  bash.setProcessEnvironment(environment);
  QStringList arguments = {
      QStringLiteral("-c"),
      QStringLiteral("source \"$1\"; shift; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1));"
                     " _vantrel \"$1\" \"${COMP_WORDS[COMP_CWORD]}\";"
                     " printf '%s\\n' \"${COMPREPLY[@]}\""),
      QStringLiteral("bash"), QString::fromUtf8(kScript), QStringLiteral(VANTREL_BINARY)};
  arguments += words;
  bash.start(QStringLiteral("bash"), arguments);
  bash.waitForFinished(30000);
  return QString::fromUtf8(bash.readAllStandardOutput()).trimmed();
}

struct CompletionCase {
  QStringList words;  // after the command name; the last is being completed
  QString expected;   // blank-separated
};

TEST(CompletionTest, SwitchesWithTheCurrentLettersAndOptions) {
  if (!QFileInfo(QStringLiteral(VANTREL_BINARY)).isExecutable())
    GTEST_SKIP() << "the program is not built yet";
  const QString drives = QStringLiteral("C=fixed:/;E=removable:/media/stick;D=cdrom:/mnt/cd");
  const QString kinds = QStringLiteral("/dall /dhard /dremovable /dremote /dram");
  const std::vector<CompletionCase> cases = {
      {{""}, kinds + " /dc /de"},
      {{"/d"}, kinds + " /dc /de"},
      {{"/dr"}, "/dremovable /dremote /dram"},
      // Switches are matched without regard to case.
      {{"/DE"}, "/de"},
      {{"/dAl"}, "/dall"},
      {{"--"}, "--dry-run --trash --list-drives --help --version --"},
      {{"--t"}, "--trash"},
      {{"--l"}, "--list-drives"},
      {{"--dry-run", "/dh"}, "/dhard"},
      // After the switch come DOCUMENT and ARGUMENTS: left to file name completion.
      {{"/dall", ""}, ""},
      {{"--dry-run", "/dc", "notes", "-"}, ""},
      // After "--" nothing is an option any more.
      {{"--", "--d"}, ""},
      {{"--", "/dc"}, "/dc"},
      {{"--help", ""}, ""},
  };
  for (const CompletionCase& c : cases)
    EXPECT_EQ(Complete(c.words, drives).replace(u'\n', u' '), c.expected)
        << c.words.join(u' ').toStdString();

  // A map that cannot be read leaves the kind switches.
  EXPECT_EQ(Complete({"/d"}, QStringLiteral("C:/")).replace(u'\n', u' '), kinds);
}

TEST(CompletionTest, RegisteredWithFileNamesAsTheFallback) {
  QProcess bash;
  bash.start(QStringLiteral("bash"),
             {QStringLiteral("-c"), QStringLiteral("source \"$1\"; complete -p vantrel"),
              QStringLiteral("bash"), QString::fromUtf8(kScript)});
  bash.waitForFinished(30000);
  EXPECT_EQ(QString::fromUtf8(bash.readAllStandardOutput()),
            "complete -o default -F _vantrel vantrel\n");
}

}  // namespace

#include "app/CommandLine.h"

namespace {

CommandLine& Stored() {
  static CommandLine commandLine;
  return commandLine;
}

bool& HeadlessFlag() {
  static bool headless = false;
  return headless;
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
  CommandLine result;
  bool optionsEnded = false;
  for (const QString& argument : arguments) {
    if (!optionsEnded && argument.startsWith(QStringLiteral("--"))) {
      if (argument == QStringLiteral("--"))
        optionsEnded = true;
      else if (argument == QStringLiteral("--help"))
        result.help = true;
      else if (argument == QStringLiteral("--version"))
        result.version = true;
      else if (argument == QStringLiteral("--list-drives"))
        result.listDrives = true;
      else if (argument == QStringLiteral("--dry-run"))
        result.dryRun = true;
      else if (argument == QStringLiteral("--trash"))
        result.trash = true;
      else if (result.unknownOption.isEmpty())
        result.unknownOption = argument;
      continue;
    }
    result.parameters.append(argument);
  }
  return result;
}

const CommandLine& ProgramCommandLine() {
  return Stored();
}
void SetProgramCommandLine(const CommandLine& commandLine) {
  Stored() = commandLine;
}

QString ParamStr(int n) {
  const QStringList& parameters = Stored().parameters;
  return n >= 1 && n <= parameters.size() ? parameters.at(n - 1) : QString();
}

int ParamCount() {
  return static_cast<int>(Stored().parameters.size());
}

bool IsDriveSwitch(const QString& parameter) {
  QString lower = parameter;
  for (QChar& c : lower)
    if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() + (u'a' - u'A'));
  for (const char* named : {"/dall", "/dhard", "/dram", "/dremovable", "/dremote"})
    if (lower == QLatin1String(named)) return true;
  return lower.size() == 3 && lower.startsWith(QStringLiteral("/d")) && lower.at(2) >= u'a' &&
         lower.at(2) <= u'z';
}

bool IsHeadless() {
  return HeadlessFlag();
}
void SetHeadless(bool headless) {
  HeadlessFlag() = headless;
}

QString UsageText() {
  return QStringLiteral(
      "Usage: vantrel [--dry-run] [--trash] [SWITCH [DOCUMENT [ARGUMENTS]]]\n"
      "Finds unneeded files on the chosen drives and deletes them.\n"
      "\n"
      "Switches (run one check unattended, delete the findings and end):\n"
      "  /dall         every listed drive\n"
      "  /dhard        hard drives        /dremovable   removable drives\n"
      "  /dremote      network drives     /dram         RAM drives\n"
      "  /dX           drive X only (for example /dc)\n"
      "DOCUMENT [ARGUMENTS] is opened after the unattended check.\n"
      "\n"
      "Options:\n"
      "  --dry-run     delete nothing; print each file that would be deleted\n"
      "  --trash       move the files to the trash instead of deleting them\n"
      "  --list-drives print the drives and their letters, one a line, and exit\n"
      "  --help        show this text\n"
      "  --version     show the version\n"
      "\n"
      "Environment: VANTREL_DRIVES (drive map, e.g. C=fixed:/srv/data;E=removable:/media/stick),\n"
      "VANTREL_CODEPAGE (8-bit code page of language and list files, default windows-1252),\n"
      "XDG_CONFIG_HOME (settings), XDG_CACHE_HOME (browser caches).\n");
}

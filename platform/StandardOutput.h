#pragma once

#include <QString>
#include <string>
#include <string_view>

// The program's standard output (status lines, dry-run paths, marked entries): lines collect
// in a block and are written when it fills, at the end of each check and each Delete command,
// before any message box, and when the program ends, so that a million printed paths cost a
// million appends and a few hundred writes.
void WriteOutputLine(std::string_view line);
void WriteOutputLine(const QString& line);
void FlushOutput();

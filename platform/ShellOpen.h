#pragma once

#include <QString>
#include <functional>

// Opening a document, a program or a web address the way the desktop does (the original's
// ShellExecute). The result is never checked by callers.
struct ShellOpenCall {
  QString target;      // a path or an address
  QString parameters;  // arguments for a program; may be empty
};

using ShellOpenHandler = std::function<void(const ShellOpenCall&)>;

void ShellOpen(const QString& target, const QString& parameters = QString());

// Starts the target with its parameters split into words as a POSIX shell splits them
// (SplitShellWords: quotes and backslashes, nothing expanded, never through a shell), when it
// names an executable file; false otherwise (the target is then a document or an address for the
// desktop).
bool StartIfProgram(const ShellOpenCall& call);

// Replaces the handler (tests record calls); returns the previous one. The initial handler
// starts an executable file with QProcess::startDetached, its parameters split into
// words the same way; anything else goes to the desktop's default handler (xdg-open).
ShellOpenHandler SetShellOpenHandler(ShellOpenHandler handler);

#pragma once

#include <QString>
#include <QStringList>

// Splits a command's argument text into words the way a POSIX shell does, and nothing more:
// blanks (space, tab, newline) separate words; 'single quotes' keep everything literally;
// "double quotes" keep everything but a backslash before $ ` " \ or a newline, which stands for
// that character (a backslash-newline disappears); outside quotes a backslash keeps the next
// character (a backslash-newline disappears). Quotes may join parts of one word ('a'b"c" is abc)
// and '' or "" make an empty word. Nothing is expanded: $HOME, `cmd`, * and ~ stay as written.
// A quote left open runs to the end of the text; a trailing lone backslash stays a backslash.
QStringList SplitShellWords(const QString& text);

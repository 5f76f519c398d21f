#include "platform/ShellWords.h"

namespace {

bool IsBlank(QChar c) {
  return c == u' ' || c == u'\t' || c == u'\n';
}

// The characters a backslash escapes inside double quotes.
bool EscapableInDoubleQuotes(QChar c) {
  return c == u'$' || c == u'`' || c == u'"' || c == u'\\' || c == u'\n';
}

}  // namespace

QStringList SplitShellWords(const QString& text) {
  QStringList words;
  QString word;
  bool inWord = false;  // a word has begun, possibly empty ('' or "")
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = text.at(i);
    if (IsBlank(c)) {
      if (inWord) words.append(word);
      word.clear();
      inWord = false;
      continue;
    }
    const bool wasInWord = inWord;
    inWord = true;
    if (c == u'\'') {
      for (++i; i < n && text.at(i) != u'\''; ++i) word += text.at(i);
    } else if (c == u'"') {
      for (++i; i < n && text.at(i) != u'"'; ++i) {
        if (text.at(i) == u'\\' && i + 1 < n && EscapableInDoubleQuotes(text.at(i + 1))) {
          ++i;
          if (text.at(i) == u'\n') continue;
        }
        word += text.at(i);
      }
    } else if (c == u'\\' && i + 1 < n) {
      ++i;
      if (text.at(i) == u'\n') {
        // A line continuation joins what surrounds it; alone it makes no word.
        inWord = wasInWord;
        continue;
      }
      word += text.at(i);
    } else {
      word += c;
    }
  }
  if (inWord) words.append(word);
  return words;
}

// Input: a list file's bytes. Parsing and writing back must agree on entries without line ends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "settings/ListFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QStringList entries =
      ParseListText(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  for (const QString& entry : entries)
    if (entry.contains(u'\r') || entry.contains(u'\n') || entry.contains(QChar(0))) std::abort();
  if (ParseListText(FormatListText(entries)) != entries) std::abort();
  return 0;
}

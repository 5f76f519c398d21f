// Input: a language file's bytes. Lookups must never fail or run past the value limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "i18n/ProfileFile.h"
#include "platform/TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString text =
      DecodeText(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  for (const char* key : {"Fixed", "Title", "Version"}) {
    const auto value = LookupProfileText(text, QStringLiteral("Main"), QString::fromLatin1(key));
    if (value && value->size() > kMaxProfileValueLength) std::abort();
  }
  return 0;
}

// Input: a mask, a NUL byte, a name. Compiling may fail; matching must always answer.
#include <cstddef>
#include <cstdint>

#include "scan/Mask.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const qsizetype split = bytes.indexOf('\0');
  const QString mask = QString::fromUtf8(split < 0 ? bytes : bytes.left(split));
  const QString name =
      split < 0 ? QStringLiteral("a.tmp") : QString::fromUtf8(bytes.mid(split + 1));
  try {
    FitsMask(name, mask);
  } catch (const EMaskException&) {
  }
  return 0;
}

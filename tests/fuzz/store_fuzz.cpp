// Input: the settings store file's bytes. Every read answers or raises the store's error; a
// file that is not a JSON object is never overwritten.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/Errors.h"
#include "platform/RegistryStore.h"
#include "settings/Registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QTemporaryDir dir;
  static const bool ready = [] {
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    return QDir().mkpath(dir.path() + QStringLiteral("/vantrel"));
  }();
  if (!ready) std::abort();
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const QString path = RegistryStore::FilePath();
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    file.write(bytes);
  }
  TRegistry registry;
  registry.OpenKey(kOptionsKey, false);
  for (const char* name : {"AutoCheckHD", "Language", "CheckTemp"}) {
    const QString value = QString::fromLatin1(name);
    try {
      registry.ValueExists(value);
      registry.ReadString(value);
    } catch (const ERegistryException&) {
    }
    try {
      registry.ReadInteger(value);
    } catch (const ERegistryException&) {
    }
  }
  try {
    registry.WriteInteger(QStringLiteral("FindWndTop"), 7);
  } catch (const ERegistryException&) {
  }
  registry.CloseKey();
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "store file cannot be opened again: %s\n",
                   qPrintable(file.errorString()));
      std::abort();
    }
    const QByteArray after = file.readAll();
    if (after != bytes) {
      std::fprintf(stderr, "store file overwritten; now %d bytes:\n%s\n", int(after.size()),
                   after.constData());
      std::abort();
    }
  }
  return 0;
}

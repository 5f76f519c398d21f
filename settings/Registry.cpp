#include "settings/Registry.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <cmath>
#include <limits>
#include <optional>

#include "platform/Errors.h"
#include "platform/RegistryStore.h"

namespace {

[[noreturn]] void Fail(const char* format, const QString& name) {
  throw ERegistryException(QString::fromLatin1(format).arg(name));
}

std::optional<std::int32_t> AsInteger(const QJsonValue& value) {
  if (!value.isDouble()) return std::nullopt;
  const double number = value.toDouble();
  if (std::trunc(number) != number) return std::nullopt;
  if (number < std::numeric_limits<std::int32_t>::min() ||
      number > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return static_cast<std::int32_t>(number);
}

// The size the value's data would have in the registry: a string's UTF-8 bytes and its NUL,
// another kind's compact JSON text and a NUL.
qsizetype DataSize(const QJsonValue& value) {
  if (value.isString()) return value.toString().toUtf8().size() + 1;
  const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
  return wrapped.size() - 2 + 1;  // without the brackets, with the NUL
}

}  // namespace

bool TRegistry::OpenKey(const QString& keyPath, bool create) {
  key_ = keyPath;
  open_ = create ? RegistryStore::CreateKey(keyPath) : RegistryStore::KeyExists(keyPath);
  return open_;
}

bool TRegistry::ValueExists(const QString& name) const {
  return open_ && RegistryStore::ReadValue(key_, name).has_value();
}

QString TRegistry::ReadString(const QString& name) const {
  if (!open_) return QString();
  const std::optional<QJsonValue> value = RegistryStore::ReadValue(key_, name);
  if (!value) return QString();
  if (!value->isString()) Fail("Invalid data type for '%1'", name);
  const QString text = value->toString();
  const qsizetype nul = text.indexOf(QChar(u'\0'));
  return nul < 0 ? text : text.left(nul);
}

std::int32_t TRegistry::ReadInteger(const QString& name) const {
  const std::optional<QJsonValue> value =
      open_ ? RegistryStore::ReadValue(key_, name) : std::nullopt;
  if (!value) Fail("Failed to get data for '%1'", name);
  if (const std::optional<std::int32_t> number = AsInteger(*value)) return *number;
  if (DataSize(*value) > 4) Fail("Failed to get data for '%1'", name);
  Fail("Invalid data type for '%1'", name);
}

void TRegistry::WriteString(const QString& name, const QString& value) {
  if (!open_ || !RegistryStore::WriteValue(key_, name, QJsonValue(value)))
    Fail("Failed to set data for '%1'", name);
}

void TRegistry::WriteInteger(const QString& name, std::int32_t value) {
  if (!open_ || !RegistryStore::WriteValue(key_, name, QJsonValue(value)))
    Fail("Failed to set data for '%1'", name);
}

void TRegistry::CloseKey() {
  open_ = false;
  key_.clear();
}

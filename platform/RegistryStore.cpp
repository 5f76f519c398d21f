#include "platform/RegistryStore.h"

#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>

#include "platform/SafeRead.h"
#include "platform/SafeSave.h"

namespace {

// A write holds the lock for a few milliseconds. A lock whose holder lives is never taken
// over, whatever its time stamp says; a holder on this machine that is gone is noticed by its
// process id. A lock written from another machine (a home folder shared over the network) is
// taken over when its time stamp lies this far in the past; one stamped in the future stays.
constexpr int kForeignStaleLockMs = 10000;
constexpr int kLockWaitMs = 5000;
// A copy killed between creating its lock file and writing its process id into it leaves an
// empty lock; a live copy writes its id at once, so an empty lock that stays unchanged this long,
// by this machine's own clock, is a dead copy's.
constexpr qint64 kEmptyLockGraceMs = 1000;

// The store as read from disk. A corrupt or unreadable file makes the whole store unusable, so
// that nothing is written over it.
struct Store {
  bool usable = false;
  QJsonObject root;
};

Store ReadStore() {
  bool missing = false;
  const std::optional<QByteArray> bytes = ReadConfigFile(RegistryStore::FilePath(), &missing);
  if (!bytes) return Store{missing, QJsonObject()};
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(*bytes, &error);
  if (error.error != QJsonParseError::NoError || !doc.isObject()) return Store{};
  return Store{true, doc.object()};
}

bool SameName(const QString& a, const QString& b) {
  return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

// The member's name as stored, for a name compared without regard to case; an exact match is
// preferred over one in another case.
std::optional<QString> FindMember(const QJsonObject& object, const QString& name,
                                  bool normaliseKeys) {
  if (object.contains(name)) return name;
  for (auto it = object.begin(); it != object.end(); ++it) {
    const QString stored = normaliseKeys ? RegistryStore::NormaliseKey(it.key()) : it.key();
    if (SameName(stored, name)) return it.key();
  }
  return std::nullopt;
}

// Where a key lives in the store. `usable` is false when the store or the key's member is
// corrupt; `member` is empty when the key does not exist.
struct KeyLookup {
  bool usable = false;
  std::optional<QString> member;
  QJsonObject values;
};

KeyLookup FindKey(const Store& store, const QString& keyPath) {
  if (!store.usable) return KeyLookup{};
  const QString key = RegistryStore::NormaliseKey(keyPath);
  const std::optional<QString> member = FindMember(store.root, key, true);
  if (!member) return KeyLookup{true, std::nullopt, QJsonObject()};
  const QJsonValue value = store.root.value(*member);
  if (!value.isObject()) return KeyLookup{};
  return KeyLookup{true, member, value.toObject()};
}

bool SaveStore(const QJsonObject& root) {
  return SaveFileWhole(RegistryStore::FilePath(),
                       QJsonDocument(root).toJson(QJsonDocument::Indented));
}

// What a waiting writer knows of a lock file it cannot take.
class LockWatch {
 public:
  explicit LockWatch(QString path) : path_(std::move(path)) {}

  // Whether the lock was left by a copy that is gone and may be removed.
  bool Abandoned(const QLockFile& lock) {
    struct stat st {};
    if (::stat(QFile::encodeName(path_).constData(), &st) != 0) return false;
    if (st.st_size == 0) {
      const Sighting now{st.st_dev, st.st_ino, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
      if (!emptySince_.isValid() || !(now == empty_)) {
        empty_ = now;
        emptySince_.start();
        return false;
      }
      return emptySince_.hasExpired(kEmptyLockGraceMs);
    }
    emptySince_.invalidate();
    qint64 pid = 0;
    QString host;
    QString application;
    // A holder on this machine: QLockFile itself takes the lock over once the process is gone.
    if (!lock.getLockInfo(&pid, &host, &application) || host.isEmpty() ||
        host == QSysInfo::machineHostName())
      return false;
    const qint64 ageMs = QFileInfo(path_).lastModified().msecsTo(QDateTime::currentDateTime());
    return ageMs > kForeignStaleLockMs;
  }

 private:
  struct Sighting {
    dev_t device;
    ino_t inode;
    time_t seconds;
    long nanoseconds;
    bool operator==(const Sighting&) const = default;
  };
  QString path_;
  Sighting empty_{};
  QElapsedTimer emptySince_;
};

// QLockFile::tryLock(timeout) sleeps ever longer between attempts (100 ms, doubling), so a
// copy waiting behind another busy writer can lose every round and give up. Short, even
// retries keep two running copies fair.
bool TakeLock(QLockFile& lock, const QString& lockPath) {
  QElapsedTimer waited;
  waited.start();
  LockWatch watch(lockPath);
  while (!lock.tryLock(0)) {
    if (lock.error() == QLockFile::PermissionError || lock.error() == QLockFile::UnknownError)
      return false;
    if (waited.hasExpired(kLockWaitMs)) return false;
    if (watch.Abandoned(lock)) lock.removeStaleLockFile();
    QThread::usleep(500 + QRandomGenerator::global()->bounded(1500));
  }
  return true;
}

// Runs one read-modify-write under the store's lock. The change returns false to abandon the
// write; the result is false on that and on every failure.
template <typename Change>
bool Update(Change&& change) {
  const QString path = RegistryStore::FilePath();
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  const QString lockPath = path + QStringLiteral(".lock");
  QLockFile lock(lockPath);
  // Never stale by age alone: QLockFile takes the age both ways, so a lock stamped in the
  // future (a clock set back, a file from another machine) would be taken from a live holder.
  lock.setStaleLockTime(0);
  if (!TakeLock(lock, lockPath)) return false;
  Store store = ReadStore();
  if (!store.usable) return false;
  if (!change(store.root)) return false;
  return SaveStore(store.root);
}

}  // namespace

namespace RegistryStore {

QString FilePath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/vantrel/registry.json");
}

QString NormaliseKey(const QString& keyPath) {
  qsizetype start = 0;
  while (start < keyPath.size() && keyPath.at(start) == u'\\') ++start;
  return keyPath.mid(start);
}

bool KeyExists(const QString& keyPath) {
  const KeyLookup key = FindKey(ReadStore(), keyPath);
  return key.usable && key.member.has_value();
}

bool CreateKey(const QString& keyPath) {
  if (KeyExists(keyPath)) return true;
  return Update([&](QJsonObject& root) {
    const KeyLookup key = FindKey(Store{true, root}, keyPath);
    if (!key.usable) return false;
    if (!key.member) root.insert(NormaliseKey(keyPath), QJsonObject());
    return true;
  });
}

std::optional<QJsonValue> ReadValue(const QString& keyPath, const QString& name) {
  const KeyLookup key = FindKey(ReadStore(), keyPath);
  if (!key.usable || !key.member) return std::nullopt;
  const std::optional<QString> member = FindMember(key.values, name, false);
  if (!member) return std::nullopt;
  return key.values.value(*member);
}

bool WriteValue(const QString& keyPath, const QString& name, const QJsonValue& value) {
  return Update([&](QJsonObject& root) {
    const KeyLookup key = FindKey(Store{true, root}, keyPath);
    if (!key.usable) return false;
    QJsonObject values = key.values;
    // One value per name whatever its case: the new spelling replaces every old one.
    while (const std::optional<QString> old = FindMember(values, name, false)) values.remove(*old);
    values.insert(name, value);
    root.insert(key.member.value_or(NormaliseKey(keyPath)), values);
    return true;
  });
}

}  // namespace RegistryStore

#include "i18n/ProfileFile.h"

#include <QList>
#include <QRegularExpression>
#include <deque>
#include <mutex>
#include <utility>

#include "platform/SafeRead.h"
#include "platform/TextCodec.h"

namespace {

struct Entry {
  QString key;
  QString value;  // as written after "=", not yet trimmed or unquoted
};

struct Section {
  QString name;
  QList<Entry> entries;
};

using Profile = QList<Section>;

Profile ParseProfile(const QString& text) {
  Profile profile;
  static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
  const QStringList lines = text.split(lineEnd);
  for (const QString& raw : lines) {
    const QString line = raw.trimmed();
    if (line.startsWith(u'[')) {
      const qsizetype close = line.indexOf(u']');
      const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
      profile.append(Section{name, {}});
      continue;
    }
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0 || profile.isEmpty()) continue;
    profile.last().entries.append(Entry{line.left(eq).trimmed(), line.mid(eq + 1)});
  }
  return profile;
}

QString FinishValue(const QString& written) {
  QString value = written.trimmed();
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
      value.back() == value.front())
    value = value.sliced(1, value.size() - 2);
  if (value.size() > kMaxProfileValueLength) {
    value.truncate(kMaxProfileValueLength);
    // Never hand out half of a surrogate pair.
    if (value.back().isHighSurrogate()) value.chop(1);
  }
  return value;
}

bool SameName(const QString& a, const QString& b) {
  return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

std::optional<QString> Lookup(const Profile& profile, const QString& section, const QString& key) {
  for (const Section& s : profile) {
    if (!SameName(s.name, section)) continue;
    for (const Entry& e : s.entries)
      if (SameName(e.key, key)) return FinishValue(e.value);
    return std::nullopt;
  }
  return std::nullopt;
}

// Language files are looked up some twenty times each time a window is shown. A parsed file is
// kept as long as one stat finds it unchanged (same inode, size, times), so every lookup still
// sees the file as it is; a file changed moments ago is not kept (see RecentlyChanged).
class ProfileCache {
 public:
  std::optional<Profile> Get(const QString& path) {
    const std::optional<FileIdentity> now = StatFileIdentity(path);
    if (!now) return std::nullopt;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      for (const Cached& c : cached_)
        if (c.path == path && c.identity == *now) return c.profile;
    }
    FileIdentity identity;
    const std::optional<QByteArray> bytes = ReadConfigFile(path, nullptr, &identity);
    if (!bytes) return std::nullopt;
    Profile profile = ParseProfile(DecodeText(*bytes));
    std::lock_guard<std::mutex> guard(mutex_);
    std::erase_if(cached_, [&](const Cached& c) { return c.path == path; });
    if (RecentlyChanged(identity)) return profile;
    cached_.push_front(Cached{path, identity, profile});
    if (cached_.size() > kCapacity) cached_.pop_back();
    return profile;
  }

 private:
  static constexpr size_t kCapacity = 8;
  struct Cached {
    QString path;
    FileIdentity identity;
    Profile profile;
  };
  std::mutex mutex_;
  std::deque<Cached> cached_;
};

ProfileCache& Cache() {
  static ProfileCache cache;
  return cache;
}

}  // namespace

std::optional<QString> LookupProfileText(const QString& text, const QString& section,
                                         const QString& key) {
  return Lookup(ParseProfile(text), section, key);
}

QString ReadProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue) {
  const std::optional<Profile> profile = Cache().Get(path);
  if (!profile) return defaultValue;
  return Lookup(*profile, section, key).value_or(defaultValue);
}

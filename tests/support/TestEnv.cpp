#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstdlib>
#include <vector>

TestEnv::TestEnv() : oldCwd_(QDir::currentPath()) {
  QDir root(dir_.path());
  for (const char* sub : {"work", "config", "cache", "home"}) root.mkpath(QString::fromLatin1(sub));
  SetEnv("XDG_CONFIG_HOME", Config().toUtf8());
  SetEnv("XDG_CACHE_HOME", (Root() + QStringLiteral("/cache")).toUtf8());
  SetEnv("HOME", (Root() + QStringLiteral("/home")).toUtf8());
  Save("VANTREL_DRIVES");
  ::unsetenv("VANTREL_DRIVES");
  Save("VANTREL_CODEPAGE");
  ::unsetenv("VANTREL_CODEPAGE");
  Save("XDG_DATA_HOME");
  ::unsetenv("XDG_DATA_HOME");
  QDir::setCurrent(Work());
}

TestEnv::~TestEnv() {
  QDir::setCurrent(oldCwd_);
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->had)
      ::setenv(it->name.c_str(), it->value.constData(), 1);
    else
      ::unsetenv(it->name.c_str());
  }
  // Leave nothing behind: tests make read-only directories and names that are not UTF-8, which
  // QDir::removeRecursively cannot take away.
  QProcess::execute(QStringLiteral("chmod"),
                    {QStringLiteral("-R"), QStringLiteral("u+rwX"), dir_.path()});
  QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), dir_.path()});
}

void TestEnv::Save(const char* name) {
  const char* old = std::getenv(name);
  saved_.push_back({name, old != nullptr, old ? QByteArray(old) : QByteArray()});
}

void TestEnv::SetEnv(const char* name, const QByteArray& value) {
  Save(name);
  ::setenv(name, value.constData(), 1);
}

QString TestEnv::Abs(const QString& path) const {
  return QFileInfo(path).isAbsolute() ? path : Work() + u'/' + path;
}

void TestEnv::WriteFile(const QString& path, const QByteArray& bytes) const {
  const QString abs = Abs(path);
  QDir().mkpath(QFileInfo(abs).absolutePath());
  QFile file(abs);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
  file.write(bytes);
}

QByteArray TestEnv::ReadFile(const QString& path) const {
  QFile file(Abs(path));
  if (!file.open(QIODevice::ReadOnly)) return QByteArray();
  return file.readAll();
}

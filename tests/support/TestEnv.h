#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <string>
#include <vector>

// A private world for one test: a temporary directory holding the working directory ("work"),
// the settings store (XDG_CONFIG_HOME = "config"), the cache root (XDG_CACHE_HOME = "cache") and
// HOME ("home"). VANTREL_DRIVES, VANTREL_CODEPAGE and XDG_DATA_HOME are cleared (so the trash
// is the one below that HOME). Everything is restored when the
// object goes.
class TestEnv {
 public:
  TestEnv();
  ~TestEnv();
  TestEnv(const TestEnv&) = delete;
  TestEnv& operator=(const TestEnv&) = delete;

  QString Root() const { return dir_.path(); }
  QString Work() const { return dir_.path() + QStringLiteral("/work"); }
  QString Config() const { return dir_.path() + QStringLiteral("/config"); }
  QString RegistryFile() const { return Config() + QStringLiteral("/vantrel/registry.json"); }

  // Writes a file (parents created); a relative path is taken below Work().
  void WriteFile(const QString& path, const QByteArray& bytes) const;
  QByteArray ReadFile(const QString& path) const;
  QString Abs(const QString& path) const;

  // Sets an environment variable for the test's lifetime.
  void SetEnv(const char* name, const QByteArray& value);

 private:
  QTemporaryDir dir_;
  QString oldCwd_;
  struct Saved {
    std::string name;
    bool had;
    QByteArray value;
  };
  std::vector<Saved> saved_;
  void Save(const char* name);
};

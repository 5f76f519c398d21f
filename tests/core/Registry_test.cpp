#include "settings/Registry.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSysInfo>
#include <csignal>
#include <functional>
#include <vector>

#include "BlockingVolume.h"
#include "TestEnv.h"
#include "platform/Errors.h"
#include "platform/RegistryStore.h"

namespace {

QString ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ERegistryException& e) {
    return e.Message();
  }
  return QStringLiteral("<no error>");
}

class RegistryTest : public ::testing::Test {
 protected:
  void WriteStore(const QByteArray& json) { env.WriteFile(env.RegistryFile(), json); }
  QJsonObject StoredOptions() const {
    return QJsonDocument::fromJson(env.ReadFile(env.RegistryFile()))
        .object()
        .value(QStringLiteral("SOFTWARE\\Vantrel\\Options"))
        .toObject();
  }

  TestEnv env;
  TRegistry reg;
};

TEST_F(RegistryTest, StoreFileFollowsXdgConfigHome) {
  EXPECT_EQ(RegistryStore::FilePath(), env.RegistryFile());
}

TEST_F(RegistryTest, OpenKeyCreatesKeyAndFile) {
  EXPECT_TRUE(reg.OpenKey(kOptionsKey, true));
  EXPECT_TRUE(reg.KeyOpen());
  EXPECT_EQ(QJsonDocument::fromJson(env.ReadFile(env.RegistryFile())).object(),
            QJsonObject({{QStringLiteral("SOFTWARE\\Vantrel\\Options"), QJsonObject()}}));
}

TEST_F(RegistryTest, OpenWithoutCreateFailsOnMissingKey) {
  EXPECT_FALSE(reg.OpenKey(kOptionsKey, false));
  EXPECT_FALSE(QFile::exists(env.RegistryFile()));
  EXPECT_FALSE(reg.ValueExists(QStringLiteral("Language")));
}

TEST_F(RegistryTest, WrittenValuesReadBackWithTheirKinds) {
  reg.OpenKey(kOptionsKey, true);
  reg.WriteInteger(QStringLiteral("AutoCheckHD"), 0);
  reg.WriteInteger(QStringLiteral("FindWndLeft"), -20);
  reg.WriteString(QStringLiteral("Language"), QString::fromUtf8("Русский.lng"));
  reg.CloseKey();

  TRegistry other;  // another window's accessor sees the same store
  other.OpenKey(kOptionsKey, true);
  EXPECT_EQ(other.ReadInteger(QStringLiteral("AutoCheckHD")), 0);
  EXPECT_EQ(other.ReadInteger(QStringLiteral("FindWndLeft")), -20);
  EXPECT_EQ(other.ReadString(QStringLiteral("Language")), QString::fromUtf8("Русский.lng"));
  EXPECT_EQ(StoredOptions(),
            QJsonObject({{QStringLiteral("AutoCheckHD"), 0},
                         {QStringLiteral("FindWndLeft"), -20},
                         {QStringLiteral("Language"), QString::fromUtf8("Русский.lng")}}));
}

TEST_F(RegistryTest, MissingValues) {
  reg.OpenKey(kOptionsKey, true);
  EXPECT_FALSE(reg.ValueExists(QStringLiteral("CheckTemp")));
  EXPECT_EQ(reg.ReadString(QStringLiteral("Language")), QString());
  EXPECT_EQ(ErrorOf([&] { reg.ReadInteger(QStringLiteral("CheckTemp")); }),
            QStringLiteral("Failed to get data for 'CheckTemp'"));
}

TEST_F(RegistryTest, WrongKindsAndTheSizeRule) {
  WriteStore(R"({"SOFTWARE\\Vantrel\\Options": {
      "Empty": "", "One": "1", "Three": "abc", "Four": "abcd", "Euro": "\u20ac",
      "Int": 7, "Big": 4294967296, "Frac": 1.5, "True": true, "Null": null,
      "List": [1], "Obj": {}}})");
  reg.OpenKey(kOptionsKey, true);
  struct Case {
    const char* name;
    const char* error;
  };
  // A string's data is its UTF-8 bytes and a NUL; another kind's is its JSON text and a NUL.
  const Case integerReads[] = {
      {"Empty", "Invalid data type for 'Empty'"},  // 1 byte
      {"One", "Invalid data type for 'One'"},      // 2 bytes
      {"Three", "Invalid data type for 'Three'"},  // 4 bytes
      {"Euro", "Invalid data type for 'Euro'"},    // 3 + 1 bytes
      {"Four", "Failed to get data for 'Four'"},   // 5 bytes
      {"Big", "Failed to get data for 'Big'"},     // out of 32-bit range
      {"Frac", "Invalid data type for 'Frac'"},    // "1.5"
      {"True", "Failed to get data for 'True'"},   // "true"
      {"Null", "Failed to get data for 'Null'"},   // "null"
      {"List", "Invalid data type for 'List'"},    // "[1]"
      {"Obj", "Invalid data type for 'Obj'"},      // "{}"
  };
  for (const Case& c : integerReads)
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger(QString::fromLatin1(c.name)); }),
              QString::fromLatin1(c.error))
        << c.name;
  for (const char* name : {"Int", "Big", "Frac", "True", "Null", "List", "Obj"}) {
    EXPECT_TRUE(reg.ValueExists(QString::fromLatin1(name))) << name;
    EXPECT_EQ(ErrorOf([&] { reg.ReadString(QString::fromLatin1(name)); }),
              QStringLiteral("Invalid data type for '%1'").arg(QString::fromLatin1(name)));
  }
}

TEST_F(RegistryTest, StringIsCutAtItsFirstNul) {
  WriteStore(R"({"SOFTWARE\\Vantrel\\Options": {"Language": "de.lng\u0000junk"}})");
  reg.OpenKey(kOptionsKey, true);
  EXPECT_EQ(reg.ReadString(QStringLiteral("Language")), QStringLiteral("de.lng"));
}

TEST_F(RegistryTest, KeyAndValueNamesIgnoreCase) {
  WriteStore(R"({"software\\vantrel\\OPTIONS": {"autocheckhd": 1}, "Other": {"x": 1}})");
  reg.OpenKey(kOptionsKey, true);
  EXPECT_TRUE(reg.ValueExists(QStringLiteral("AutoCheckHD")));
  EXPECT_EQ(reg.ReadInteger(QStringLiteral("AUTOCHECKHD")), 1);
  // Writing a name that exists in another case replaces it; the key keeps its spelling.
  reg.WriteInteger(QStringLiteral("AutoCheckHD"), 0);
  EXPECT_EQ(QJsonDocument::fromJson(env.ReadFile(env.RegistryFile())).object(),
            QJsonObject({{QStringLiteral("software\\vantrel\\OPTIONS"),
                          QJsonObject({{QStringLiteral("AutoCheckHD"), 0}})},
                         {QStringLiteral("Other"), QJsonObject({{QStringLiteral("x"), 1}})}}));
}

TEST_F(RegistryTest, WriteReplacesAValueOfAnotherKind) {
  WriteStore(R"({"SOFTWARE\\Vantrel\\Options": {"CheckTemp": "1"}})");
  reg.OpenKey(kOptionsKey, true);
  reg.WriteInteger(QStringLiteral("CheckTemp"), 1);
  EXPECT_EQ(reg.ReadInteger(QStringLiteral("CheckTemp")), 1);
  reg.WriteString(QStringLiteral("CheckTemp"), QStringLiteral("x"));
  EXPECT_EQ(reg.ReadString(QStringLiteral("CheckTemp")), QStringLiteral("x"));
}

TEST_F(RegistryTest, EveryReadSeesTheFileAsItIsNow) {
  reg.OpenKey(kOptionsKey, true);
  EXPECT_FALSE(reg.ValueExists(QStringLiteral("Language")));
  WriteStore(R"({"SOFTWARE\\Vantrel\\Options": {"Language": "fr.lng"}})");
  EXPECT_EQ(reg.ReadString(QStringLiteral("Language")), QStringLiteral("fr.lng"));
}

TEST_F(RegistryTest, ClosedKeyReadsDefaultsAndRefusesWrites) {
  reg.OpenKey(kOptionsKey, true);
  reg.WriteString(QStringLiteral("Language"), QStringLiteral("fr.lng"));
  reg.CloseKey();
  reg.CloseKey();  // harmless twice
  EXPECT_FALSE(reg.ValueExists(QStringLiteral("Language")));
  EXPECT_EQ(reg.ReadString(QStringLiteral("Language")), QString());
  EXPECT_EQ(ErrorOf([&] { reg.WriteInteger(QStringLiteral("AutoCheckHD"), 0); }),
            QStringLiteral("Failed to set data for 'AutoCheckHD'"));
}

// A store that cannot be read or parsed is never written over: every key counts as one that
// cannot be opened.
TEST_F(RegistryTest, CorruptOrUnreadableStoreIsNeverOverwritten) {
  const QByteArray corrupt[] = {
      "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"AutoCheckHD\": 1}",  // cut short
      "[1, 2]",                                                     // not an object
      "{\"SOFTWARE\\\\Vantrel\\\\Options\": 5}",                    // key not an object
      "",
  };
  for (const QByteArray& bytes : corrupt) {
    WriteStore(bytes);
    TRegistry r;
    EXPECT_FALSE(r.OpenKey(kOptionsKey, true)) << bytes.constData();
    EXPECT_FALSE(r.ValueExists(QStringLiteral("AutoCheckHD")));
    EXPECT_EQ(r.ReadString(QStringLiteral("Language")), QString());
    EXPECT_EQ(ErrorOf([&] { r.WriteInteger(QStringLiteral("AutoCheckHD"), 0); }),
              QStringLiteral("Failed to set data for 'AutoCheckHD'"));
    EXPECT_FALSE(RegistryStore::WriteValue(kOptionsKey, QStringLiteral("X"), 1));
    EXPECT_EQ(env.ReadFile(env.RegistryFile()), bytes);
  }
}

TEST_F(RegistryTest, OddMemberOfAnotherKeyIsKept) {
  WriteStore(R"({"Elsewhere": 5})");
  reg.OpenKey(kOptionsKey, true);
  reg.WriteInteger(QStringLiteral("AutoCheckHD"), 0);
  EXPECT_EQ(QJsonDocument::fromJson(env.ReadFile(env.RegistryFile())).object(),
            QJsonObject({{QStringLiteral("Elsewhere"), 5},
                         {QStringLiteral("SOFTWARE\\Vantrel\\Options"),
                          QJsonObject({{QStringLiteral("AutoCheckHD"), 0}})}}));
}

TEST_F(RegistryTest, FifoOrDirectoryInPlaceOfTheStoreDoesNotHang) {
  QDir().mkpath(env.Config() + QStringLiteral("/vantrel"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(env.RegistryFile()).constData(), 0600), 0);
  EXPECT_FALSE(reg.OpenKey(kOptionsKey, true));
  EXPECT_EQ(reg.ReadString(QStringLiteral("Language")), QString());
  EXPECT_FALSE(RegistryStore::WriteValue(kOptionsKey, QStringLiteral("X"), 1));
  ::unlink(QFile::encodeName(env.RegistryFile()).constData());

  ASSERT_TRUE(QDir().mkpath(env.RegistryFile()));
  EXPECT_FALSE(reg.OpenKey(kOptionsKey, true));
  EXPECT_FALSE(RegistryStore::WriteValue(kOptionsKey, QStringLiteral("X"), 1));
  EXPECT_TRUE(QFileInfo(env.RegistryFile()).isDir());
}

TEST_F(RegistryTest, UnwritableDirectoryFailsToCreate) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
  QDir().mkpath(env.Config() + QStringLiteral("/vantrel"));
  ::chmod(QFile::encodeName(env.Config() + QStringLiteral("/vantrel")).constData(), 0500);
  EXPECT_FALSE(reg.OpenKey(kOptionsKey, true));
  EXPECT_EQ(ErrorOf([&] { reg.WriteString(QStringLiteral("Language"), QString()); }),
            QStringLiteral("Failed to set data for 'Language'"));
  ::chmod(QFile::encodeName(env.Config() + QStringLiteral("/vantrel")).constData(), 0700);
}

// A lock is taken over only when its holder is gone, whatever its time stamp says: a clock set
// back (or a file from a machine whose clock runs ahead) must not hand a live writer's lock to a
// second one. Each case runs in a child of its own, all at once, against a store of its own.
TEST_F(RegistryTest, LockIsTakenOverOnlyFromAHolderThatIsGone) {
  enum class Holder { Dead, Live, Empty, OtherMachine };
  struct Case {
    const char* name;
    Holder holder;
    qint64 stampSeconds;  // the lock file's time stamp, from now
    bool takenOver;
  };
  const Case cases[] = {
      {"dead, stamped in the past", Holder::Dead, -60, true},
      {"dead, stamped in the future", Holder::Dead, 3600, true},
      {"live, stamped in the future", Holder::Live, 3600, false},
      {"live, stamped in the past", Holder::Live, -60, false},
      {"empty, stamped in the future", Holder::Empty, 3600, true},
      {"empty, stamped now", Holder::Empty, 0, true},
      {"other machine, stamped in the past", Holder::OtherMachine, -60, true},
      {"other machine, stamped in the future", Holder::OtherMachine, 3600, false},
  };
  struct Running {
    const Case* c;
    pid_t writer;
    pid_t holder;
    QString lock;
  };
  std::vector<Running> running;
  for (const Case& c : cases) {
    const QString config = env.Root() + QStringLiteral("/lock-%1").arg(running.size());
    const QString lockPath = config + QStringLiteral("/vantrel/registry.json.lock");
    QDir().mkpath(config + QStringLiteral("/vantrel"));
    pid_t holder = -1;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    if (c.holder == Holder::Live) {
      holder = ::fork();
      ASSERT_GE(holder, 0);
      if (holder == 0) {
        QLockFile lock(lockPath);
        const char done = lock.lock() ? 'y' : 'n';
        ::write(ready[1], &done, 1);
        ::pause();
        ::_exit(0);
      }
      char done = 0;
      ASSERT_EQ(::read(ready[0], &done, 1), 1);
      ASSERT_EQ(done, 'y');
    } else if (c.holder == Holder::Dead) {
      const pid_t gone = ::fork();
      if (gone == 0) ::_exit(0);
      ::waitpid(gone, nullptr, 0);
      env.WriteFile(lockPath, QByteArray::number(gone) + "\nvantrel\n" +
                                  QSysInfo::machineHostName().toUtf8() + "\n");
    } else {
      env.WriteFile(lockPath, c.holder == Holder::Empty
                                  ? QByteArray()
                                  : QByteArray::number(::getpid()) + "\nvantrel\nfar-away-host\n");
    }
    ::close(ready[0]);
    ::close(ready[1]);
    QFile stamp(lockPath);
    ASSERT_TRUE(stamp.open(QIODevice::ReadWrite));
    ASSERT_TRUE(stamp.setFileTime(QDateTime::currentDateTime().addSecs(c.stampSeconds),
                                  QFileDevice::FileModificationTime));
    stamp.close();
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
      ::setenv("XDG_CONFIG_HOME", config.toUtf8().constData(), 1);
      const bool wrote =
          RegistryStore::WriteValue(kOptionsKey, QStringLiteral("AutoCheckHD"), QJsonValue(1));
      ::_exit(wrote ? 0 : 1);
    }
    running.push_back({&c, writer, holder, lockPath});
  }
  for (const Running& r : running) {
    int status = 0;
    ASSERT_EQ(::waitpid(r.writer, &status, 0), r.writer);
    EXPECT_TRUE(WIFEXITED(status)) << r.c->name;
    EXPECT_EQ(WEXITSTATUS(status) == 0, r.c->takenOver) << r.c->name;
    if (r.c->holder == Holder::Live) {
      // The holder's own lock is still there, untouched.
      EXPECT_TRUE(env.ReadFile(r.lock).startsWith(QByteArray::number(r.holder) + '\n'))
          << r.c->name;
      ::kill(r.holder, SIGKILL);
      ::waitpid(r.holder, nullptr, 0);
    }
  }
}

// Two running copies writing different values at the same time lose none of them.
TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
  constexpr int kWrites = 1000;
  TRegistry setup;
  setup.OpenKey(kOptionsKey, true);
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = ::fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      TRegistry r;
      r.OpenKey(kOptionsKey, true);
      bool ok = true;
      for (int i = 0; i < kWrites; ++i) {
        try {
          r.WriteInteger(QStringLiteral("P%1_%2").arg(c).arg(i), i);
        } catch (const ERegistryException&) {
          ok = false;
        }
      }
      ::_exit(ok ? 0 : 1);  // never run the parent's clean-up in the child
    }
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const QJsonObject values = StoredOptions();
  EXPECT_EQ(values.size(), 2 * kWrites);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < kWrites; ++i)
      EXPECT_EQ(values.value(QStringLiteral("P%1_%2").arg(c).arg(i)).toInt(-1), i);
  EXPECT_FALSE(QFile::exists(env.RegistryFile() + QStringLiteral(".lock")));
}

// A copy killed in the middle of a save leaves the old file or the new one, never a part of
// one, and the lock it held does not stop the next writer.
TEST_F(RegistryTest, CopyKilledWhileSavingLeavesAWholeFile) {
  TRegistry setup;
  setup.OpenKey(kOptionsKey, true);
  const QString big(20000, u'x');  // long saves, so kills land inside them
  for (int round = 0; round < 12; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TRegistry r;
      r.OpenKey(kOptionsKey, true);
      for (int i = 0;; ++i) r.WriteString(QStringLiteral("V%1").arg(i % 50), big);
    }
    ::usleep(static_cast<useconds_t>(3000 + round * 2500));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);

    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(env.ReadFile(env.RegistryFile()), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << "round " << round;
    const QJsonObject options = StoredOptions();
    for (auto it = options.begin(); it != options.end(); ++it)
      if (it.key().startsWith(u'V')) {
        EXPECT_TRUE(it.value().toString() == big) << it.key().toStdString() << " is cut short";
      }
    reg.OpenKey(kOptionsKey, true);
    reg.WriteInteger(QStringLiteral("AfterKill"), round);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("AfterKill")), round);
  }
}

// A disk that fills up during a save (simulated with a file size limit, which binds root too):
// the write fails with the store's error and the previous file stays as it was.
TEST_F(RegistryTest, SaveCutShortByAFullDiskFailsAndKeepsTheFile) {
  reg.OpenKey(kOptionsKey, true);
  reg.WriteInteger(QStringLiteral("AutoCheckHD"), 1);
  const QByteArray before = env.ReadFile(env.RegistryFile());
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{static_cast<rlim_t>(before.size()), static_cast<rlim_t>(before.size())};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const QString error = ErrorOf([] {
      TRegistry r;
      r.OpenKey(kOptionsKey, true);
      r.WriteString(QStringLiteral("Language"), QString(4000, u'x'));
    });
    ::_exit(error == QStringLiteral("Failed to set data for 'Language'") ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(env.ReadFile(env.RegistryFile()), before);
}

// A disk or share that takes the writes but fails the flush (fdatasync gives EIO): the store
// keeps its old file byte for byte, no temporary file stays, and the write is refused.
TEST_F(RegistryTest, SyncThatFailsKeepsTheOldStoreByteForByte) {
  const QString mount = env.Root() + QStringLiteral("/volume");
  const BlockingVolume volume(mount.toStdString(), "w vantrel\n");
  if (!volume.Skip().empty()) GTEST_SKIP() << volume.Skip();
  env.SetEnv("XDG_CONFIG_HOME", mount.toUtf8());
  reg.OpenKey(kOptionsKey, true);
  reg.WriteInteger(QStringLiteral("AutoCheckHD"), 1);
  const QByteArray before = env.ReadFile(mount + QStringLiteral("/vantrel/registry.json"));
  ASSERT_TRUE(before.contains("AutoCheckHD"));
  volume.FailSync();
  EXPECT_EQ(ErrorOf([&] { reg.WriteInteger(QStringLiteral("AutoCheckHD"), 0); }),
            QStringLiteral("Failed to set data for 'AutoCheckHD'"));
  EXPECT_EQ(env.ReadFile(mount + QStringLiteral("/vantrel/registry.json")), before);
  EXPECT_EQ(QDir(mount + QStringLiteral("/vantrel")).entryList(QDir::Files | QDir::Hidden),
            QStringList({"registry.json"}));
}

}  // namespace

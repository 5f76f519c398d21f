#include "scan/CacheFolder.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>
#include <QStandardPaths>
#include <atomic>

#include "helper/CacheFolderGuard.h"
#include "platform/UniqueFd.h"
#include "platform/WakeUp.h"
#include "scan/HelperClient.h"
#include "settings/Registry.h"

namespace {

// Only looked at, never listed.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

}  // namespace

bool UsableCacheFolder(const QString& folder) {
  if (folder.isEmpty()) return false;
  const UniqueFd fd(::open(QFile::encodeName(folder).constData(), kFolderFlags));
  return fd.Valid() && UsableCacheFolder(fd.Get());
}

namespace {

struct Answer : THelperClient::Stream {
  std::shared_ptr<TWakeUp> wake = std::make_shared<TWakeUp>();
  std::atomic<int> yes{-1};  // -1 while unanswered
  std::atomic<bool> gone{false};
  void Receive(channel::Message type, std::string_view body) override {
    if (type != channel::Message::Answer) return;
    channel::Reader in(body);
    yes = in.U8() != 0 ? 1 : 0;
    wake->Raise();
  }
  void Gone(bool) override {
    gone = true;
    wake->Raise();
  }
};

}  // namespace

bool UsableCacheFolder(const std::shared_ptr<THelperClient>& helper, const QString& folder,
                       const std::function<bool(TWakeUp&, std::chrono::milliseconds)>& wait) {
  if (folder.isEmpty()) return false;
  auto answer = std::make_shared<Answer>();
  const std::uint32_t id = helper->Open(answer);
  channel::Writer out;
  out.Begin(channel::Message::CacheFolder, id);
  out.Str(QFile::encodeName(folder).toStdString());
  out.End();
  helper->Send(out);
  while (answer->yes < 0 && !answer->gone && wait(*answer->wake, std::chrono::milliseconds(20))) {
  }
  helper->Close(id);
  return answer->yes == 1;
}

std::optional<QString> FindCacheFolder(TRegistry& registry, const TFolderTest& test) {
  const TFolderTest usable =
      test ? test : [](const QString& folder) { return UsableCacheFolder(folder); };
  registry.SetRoot();
  registry.OpenKey(kShellFoldersKey, true);
  std::optional<QString> configured;
  try {
    if (registry.ValueExists(QStringLiteral("Cache")))
      configured = registry.ReadString(QStringLiteral("Cache"));
  } catch (...) {
    registry.CloseKey();
    throw;
  }
  registry.CloseKey();
  if (configured) {
    if (usable(*configured)) return configured;
    return std::nullopt;
  }

  const QString cacheRoot = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  for (const char* browser : {"mozilla/firefox", "chromium", "google-chrome"}) {
    const QString folder = cacheRoot + u'/' + QString::fromLatin1(browser);
    if (usable(folder)) return folder;
  }
  return std::nullopt;
}

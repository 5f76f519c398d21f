#include "helper/CacheFolderGuard.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/HomeFolder.h"
#include "platform/UniqueFd.h"

namespace {

// Only looked at, never listed: a folder on the way up that may be searched but not read
// (a /home of mode 0711) is still reached.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

}  // namespace

namespace {

enum class Lineage { Unrelated, FolderOrAncestor, Unknown };

// Whether the folder is the folder open at start or one of its ancestors, up to "/" (where ".."
// is the folder itself). Unknown when the way up cannot be followed.
Lineage LineageOf(const UniqueFd& start, const struct stat& folder) {
  struct stat st {};
  if (::fstat(start.Get(), &st) != 0) return Lineage::Unknown;
  UniqueFd at;
  int current = start.Get();
  for (;;) {
    if (st.st_dev == folder.st_dev && st.st_ino == folder.st_ino) return Lineage::FolderOrAncestor;
    UniqueFd up(::openat(current, "..", kFolderFlags));
    struct stat above {};
    if (!up.Valid() || ::fstat(up.Get(), &above) != 0) return Lineage::Unknown;
    if (above.st_dev == st.st_dev && above.st_ino == st.st_ino) return Lineage::Unrelated;
    at = std::move(up);
    current = at.Get();
    st = above;
  }
}

}  // namespace

bool UsableCacheFolder(int folderFd) {
  struct stat folder {};
  if (::fstat(folderFd, &folder) != 0 || !S_ISDIR(folder.st_mode)) return false;
  // Each home folder there is ($HOME and the password database's: a cron job may have no HOME,
  // or one that is not the user's), and each folder on its way up to "/". A home folder that
  // does not exist holds nothing to lose; when no home folder can be told at all, no folder is
  // safe to empty.
  bool anyHome = false;
  for (const std::string& home : HomeFolders()) {
    const UniqueFd at(::open(home.c_str(), kFolderFlags));
    if (!at.Valid()) continue;
    if (LineageOf(at, folder) != Lineage::Unrelated) return false;
    anyHome = true;
  }
  return anyHome;
}

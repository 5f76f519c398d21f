#include "helper/FileSizes.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>

#include <string_view>

namespace {

// Only a place to look names up from, as a whole path would pass the folder: searching it
// needs no right to list it.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

}  // namespace

bool TFileSizes::Stat(const TFoundFile& file, struct stat& st) {
  if (file.path.size() >= PATH_MAX) {
    // The kernel resolves a whole path only up to PATH_MAX; deeper files are reached folder by
    // folder.
    return deepFiles_.Stat(file, st);
  }
  const size_t slash = file.path.rfind('/');
  if (slash == std::string::npos) return false;
  const std::string_view folder(file.path.data(), slash + 1);
  while (!open_.empty() && !folder.starts_with(open_.back().path)) open_.pop_back();
  if (open_.empty() && file.relativeStart > 0 && file.relativeStart <= folder.size()) {
    // The walk's root folder, once for all the files below it.
    const std::string_view root = folder.substr(0, file.relativeStart);
    if (root != triedRoot_) {
      triedRoot_.assign(root);
      UniqueFd fd(::open(triedRoot_.c_str(), kFolderFlags));
      if (fd.Valid()) open_.push_back(Folder{triedRoot_, std::move(fd)});
    }
  }
  const auto from = [&] { return open_.empty() ? 0 : open_.back().path.size(); };
  const auto at = [&] { return open_.empty() ? AT_FDCWD : open_.back().fd.Get(); };
  if (folder == lastFolder_ && from() != folder.size() && open_.size() < kMaxOpen) {
    const std::string below(folder.substr(from()));
    UniqueFd fd(::openat(at(), below.c_str(), kFolderFlags));
    if (fd.Valid()) open_.push_back(Folder{std::string(folder), std::move(fd)});
  }
  lastFolder_.assign(folder);
  return ::fstatat(at(), file.path.c_str() + from(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

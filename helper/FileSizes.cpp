#include "helper/FileSizes.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>

#include <string_view>

std::uint64_t TFileSizes::SizeOf(const TFoundFile& file) {
  struct stat st {};
  if (file.path.size() >= PATH_MAX) {
    // The kernel resolves a whole path only up to PATH_MAX; deeper files are reached folder by
    // folder.
    return deepFiles_.Stat(file, st) ? static_cast<std::uint64_t>(st.st_size) : 0;
  }
  const size_t slash = file.path.rfind('/');
  if (slash == std::string::npos) return 0;
  const std::string_view folder(file.path.data(), slash + 1);
  if (folder != folder_) {
    // The first file of a folder is looked up whole: most folders hold one finding.
    folder_.assign(folder);
    folderFd_.Reset();
    folderOpened_ = false;
    return ::fstatat(AT_FDCWD, file.path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0
               ? static_cast<std::uint64_t>(st.st_size)
               : 0;
  }
  if (!folderOpened_) {
    folderOpened_ = true;
    folderFd_.Reset(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  }
  if (!folderFd_.Valid()) return 0;
  return ::fstatat(folderFd_.Get(), file.path.c_str() + slash + 1, &st, AT_SYMLINK_NOFOLLOW) == 0
             ? static_cast<std::uint64_t>(st.st_size)
             : 0;
}

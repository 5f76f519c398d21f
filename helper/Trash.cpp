#include "helper/Trash.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <unordered_map>

#include "platform/DriveMap.h"
#include "platform/HomeFolder.h"

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr size_t kMaxExtension = 16;
constexpr std::string_view kInfoSuffix = ".trashinfo";
// Names are numbered on from the last number used for them in this run, so trashing many
// files of one name costs one free-name search per name, not one per file.
constexpr unsigned kMaxAttempts = 100000;

bool StartsWithFolder(const std::string& path, const std::string& folder) {
  if (folder == "/") return !path.empty() && path.front() == '/';
  return path.size() >= folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '/');
}

// The real path of an open folder as the kernel names it, checked to lead back to that very
// folder; empty when it has none (removed, out of reach), with errno ENAMETOOLONG when it is
// too long for the kernel to name whole.
std::string FolderPath(int fd) {
  char link[40];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  std::string path(PATH_MAX, '\0');
  const ssize_t length = ::readlink(link, path.data(), path.size());
  if (length < 0 || static_cast<size_t>(length) >= path.size()) {
    if (length >= 0) errno = ENAMETOOLONG;
    return std::string();
  }
  path.resize(static_cast<size_t>(length));
  struct stat opened {};
  struct stat named {};
  errno = 0;
  if (path.empty() || path.front() != '/' || ::fstat(fd, &opened) != 0 ||
      ::stat(path.c_str(), &named) != 0 || opened.st_dev != named.st_dev ||
      opened.st_ino != named.st_ino) {
    if (errno == ENAMETOOLONG) errno = ENOENT;  // a name shorter than that is no long path
    return std::string();
  }
  return path;
}

bool Same(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The name under which the open folder parentFd holds the folder child (a mount point's entry
// has the inode of what lies under the mount: every folder entry is stat'ed when none fits by
// its inode). Empty when none leads there.
std::string EntryNaming(int parentFd, const struct stat& child) {
  for (const bool byInode : {true, false}) {
    DIR* dir = ::fdopendir(::openat(parentFd, ".", kFolderFlags));
    if (dir == nullptr) return std::string();
    std::string found;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string_view name(entry->d_name);
      if (name == "." || name == ".." || (byInode && entry->d_ino != child.st_ino) ||
          (!byInode && entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN))
        continue;
      struct stat st {};
      if (::fstatat(parentFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && Same(st, child)) {
        found = name;
        break;
      }
    }
    ::closedir(dir);
    if (!found.empty()) return found;
  }
  return std::string();
}

// The real path of an open folder too long for the kernel to name whole: its names from the
// folder up, each found as the entry of its parent that leads to it, until a parent that the
// kernel can name. Empty when a step finds no way back (the folder removed meanwhile).
std::string LongFolderPath(int fd) {
  std::string below;
  UniqueFd at(::openat(fd, ".", kFolderFlags));
  while (at.Valid()) {
    struct stat self {};
    struct stat up {};
    UniqueFd parent(::openat(at.Get(), "..", kFolderFlags));
    if (::fstat(at.Get(), &self) != 0 || !parent.Valid() || ::fstat(parent.Get(), &up) != 0 ||
        Same(self, up))
      return std::string();
    const std::string name = EntryNaming(parent.Get(), self);
    if (name.empty()) return std::string();
    below.insert(0, '/' + name);
    const std::string head = FolderPath(parent.Get());
    if (!head.empty()) return (head == "/" ? std::string() : head) + below;
    if (errno != ENAMETOOLONG) return std::string();
    at = std::move(parent);
  }
  return std::string();
}

// Opens the folder name below at, never through a link, making it (0700) when it is missing.
UniqueFd OpenOrMakeFolder(int at, const char* name) {
  UniqueFd fd(::openat(at, name, kFolderFlags));
  if (!fd.Valid() && errno == ENOENT) {
    if (::mkdirat(at, name, 0700) != 0 && errno != EEXIST) return UniqueFd();
    fd.Reset(::openat(at, name, kFolderFlags));
  }
  return fd;
}

// Makes every missing folder of an absolute path, each 0700 (as the data folders should be).
bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

// The device of the folder, or of the nearest folder above it that exists: where it would be
// made.
std::optional<dev_t> DeviceOfNearest(std::string path) {
  for (;;) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return st.st_dev;
    const size_t slash = path.find_last_of('/');
    // ENOTDIR: a file stands where a folder of the path would be; it is on the same volume.
    if ((errno != ENOENT && errno != ENOTDIR) || slash == std::string::npos || path == "/")
      return std::nullopt;
    path.resize(slash == 0 ? 1 : slash);
  }
}

bool WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A rename that never replaces what is already in the trash. File systems that cannot do that
// in one call get the name tested just before.
int RenameNoReplace(int fromFd, const char* from, int toFd, const char* to) {
  if (::renameat2(fromFd, from, toFd, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  struct stat st {};
  if (::fstatat(toFd, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::renameat(fromFd, from, toFd, to);
}

}  // namespace

std::string TrashName(std::string_view name, unsigned attempt, size_t limit) {
  std::string_view stem = name;
  std::string_view extension;
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0 && name.size() - dot >= 2 &&
      name.size() - dot <= kMaxExtension) {
    stem = name.substr(0, dot);
    extension = name.substr(dot);
  }
  const std::string number = attempt <= 1 ? std::string() : '.' + std::to_string(attempt);
  if (extension.size() + number.size() >= limit) extension = {};
  const size_t room =
      limit > number.size() + extension.size() ? limit - number.size() - extension.size() : 0;
  if (stem.size() > room) {
    size_t cut = room;
    // Back over the continuation bytes of a UTF-8 character that the cut would split.
    for (int back = 0;
         back < 3 && cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80; ++back)
      --cut;
    stem = stem.substr(0, cut);
  }
  return std::string(stem) + number + std::string(extension);
}

std::string EncodeTrashPath(std::string_view path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(path.size());
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
        (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~' ||
        byte == '/') {
      encoded.push_back(c);
    } else {
      encoded.push_back('%');
      encoded.push_back(kHex[byte >> 4]);
      encoded.push_back(kHex[byte & 15]);
    }
  }
  return encoded;
}

std::string TrashDate(std::time_t when) {
  std::tm local{};
  ::localtime_r(&when, &local);
  char text[32];
  const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return std::string(text, length);
}

// One trash: its files/ and info/ folders, open.
struct TTrash::Place {
  std::string path;    // the trash folder's real path
  std::string topdir;  // the volume's mount point; empty for the home trash (absolute Path=)
  UniqueFd files;
  UniqueFd info;
  dev_t device = 0;      // of files/: only files of this file system are renamed there
  size_t nameLimit = 0;  // the longest NAME whose NAME.trashinfo the file system takes
  std::unordered_map<std::string, unsigned> nextAttempt;  // names that collided, by file name
};

TTrash::TTrash() : uid_(::getuid()), uidName_(std::to_string(::getuid())) {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && dataHome[0] == '/') {
    homePath_ = std::string(dataHome) + "/Trash";
  } else {
    const std::string home = HomeFolder();
    if (!home.empty() && home.front() == '/') homePath_ = home + "/.local/share/Trash";
  }
  if (!homePath_.empty()) {
    if (char* real = ::realpath(homePath_.c_str(), nullptr)) {
      homeReal_ = real;
      std::free(real);
    }
  }
  for (MountEntry& mount : CurrentMountTable()) mountPoints_.push_back(std::move(mount.mountPoint));
}

TTrash::~TTrash() = default;

bool TTrash::OwnedFolder(const UniqueFd& fd, bool privateToo) const {
  struct stat st {};
  return fd.Valid() && ::fstat(fd.Get(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid_ &&
         (!privateToo || (st.st_mode & (S_IRWXG | S_IRWXO)) == 0);
}

std::unique_ptr<TTrash::Place> TTrash::MakePlace(int trashFd, const std::string& topdir,
                                                 bool mustOwn) {
  auto place = std::make_unique<Place>();
  place->path = FolderPath(trashFd);
  place->topdir = topdir;
  place->files = OpenOrMakeFolder(trashFd, "files");
  place->info = OpenOrMakeFolder(trashFd, "info");
  struct stat st {};
  if (place->path.empty() || !place->files.Valid() || !place->info.Valid() ||
      (mustOwn && (!OwnedFolder(place->files) || !OwnedFolder(place->info))) ||
      ::fstat(place->files.Get(), &st) != 0)
    return nullptr;
  place->device = st.st_dev;
  long limit = ::fpathconf(place->info.Get(), _PC_NAME_MAX);
  if (limit <= 0 || limit > NAME_MAX) limit = NAME_MAX;
  if (static_cast<size_t>(limit) < kInfoSuffix.size() + 32) return nullptr;
  place->nameLimit = static_cast<size_t>(limit) - kInfoSuffix.size();
  return place;
}

bool TTrash::OnHomeFileSystem(dev_t device) {
  if (!homeDeviceKnown_) {
    homeDeviceKnown_ = true;
    if (!homePath_.empty()) homeDevice_ = DeviceOfNearest(homePath_);
  }
  return homeDevice_ && *homeDevice_ == device;
}

TTrash::Place* TTrash::HomePlace(dev_t device) {
  if (homeTried_) return home_.get();
  // Not made for a file that could not be renamed into it anyway.
  if (!OnHomeFileSystem(device)) return nullptr;
  homeTried_ = true;
  if (!MakeFolders(homePath_)) return nullptr;
  UniqueFd fd(::open(homePath_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.Valid()) return nullptr;
  home_ = MakePlace(fd.Get(), std::string(), false);
  if (home_) homeReal_ = home_->path;
  return home_.get();
}

// $topdir/.Trash/$uid, only when .Trash is a real directory with the sticky bit, so that
// nobody else can take the user's folder out of it.
std::unique_ptr<TTrash::Place> TTrash::SharedTrash(int topFd, const std::string& topdir) {
  UniqueFd shared(::openat(topFd, ".Trash", kFolderFlags));
  struct stat st {};
  if (!shared.Valid() || ::fstat(shared.Get(), &st) != 0 || (st.st_mode & S_ISVTX) == 0)
    return nullptr;
  const UniqueFd mine = OpenOrMakeFolder(shared.Get(), uidName_.c_str());
  if (!OwnedFolder(mine, true)) return nullptr;
  return MakePlace(mine.Get(), topdir, true);
}

std::unique_ptr<TTrash::Place> TTrash::OwnTrash(int topFd, const std::string& topdir) {
  // One that others can read or enter would show them every trashed path: not used as it is.
  const UniqueFd own = OpenOrMakeFolder(topFd, (".Trash-" + uidName_).c_str());
  if (!OwnedFolder(own, true)) return nullptr;
  return MakePlace(own.Get(), topdir, true);
}

TTrash::Place* TTrash::VolumePlace(const std::string& topdir, int method, dev_t device) {
  const std::string key = std::to_string(method) + topdir;
  if (const auto found = volumes_.find(key); found != volumes_.end()) return found->second.get();
  UniqueFd topFd(::open(topdir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st {};
  if (!topFd.Valid() || ::fstat(topFd.Get(), &st) != 0) return nullptr;
  // A btrfs subvolume below the mount point has a device of its own: nothing of this volume's
  // trash could take its files without a copy. Not remembered: the next file may be on the
  // mounted subvolume itself.
  if (st.st_dev != device) return nullptr;
  std::unique_ptr<Place> place =
      method == 1 ? SharedTrash(topFd.Get(), topdir) : OwnTrash(topFd.Get(), topdir);
  return (volumes_[key] = std::move(place)).get();
}

std::string TTrash::TopDirOf(const std::string& folder) const {
  std::string best;
  for (const std::string& point : mountPoints_) {
    if (point.size() > best.size() && StartsWithFolder(folder, point)) best = point;
  }
  return best;
}

bool TTrash::InsideATrash(const std::string& folder, const std::string& topdir) const {
  if (!homeReal_.empty() && StartsWithFolder(folder, homeReal_)) return true;
  if (topdir.empty()) return false;
  const std::string base = topdir == "/" ? std::string() : topdir;
  return StartsWithFolder(folder, base + "/.Trash") ||
         StartsWithFolder(folder, base + "/.Trash-" + uidName_);
}

TTrash::Outcome TTrash::MoveInto(Place& place, int folderFd, const char* name,
                                 const std::string& folder) {
  const std::string original = (folder == "/" ? std::string() : folder) + '/' + name;
  const std::string path = place.topdir.empty()
                               ? original
                               : original.substr(place.topdir == "/" ? 1 : place.topdir.size() + 1);
  const std::string info = "[Trash Info]\nPath=" + EncodeTrashPath(path) +
                           "\nDeletionDate=" + TrashDate(std::time(nullptr)) + '\n';
  const auto known = place.nextAttempt.find(name);
  const unsigned first = known == place.nextAttempt.end() ? 1 : known->second;
  for (unsigned attempt = first; attempt < first + kMaxAttempts; ++attempt) {
    const std::string trashName = TrashName(name, attempt, place.nameLimit);
    const std::string infoName = trashName + std::string(kInfoSuffix);
    UniqueFd fd(::openat(place.info.Get(), infoName.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.Valid()) {
      if (errno == EEXIST) continue;
      return Outcome::Failed;
    }
    if (!WriteAll(fd.Get(), info) || ::close(fd.Release()) != 0) {
      ::unlinkat(place.info.Get(), infoName.c_str(), 0);
      return Outcome::Failed;
    }
    if (RenameNoReplace(folderFd, name, place.files.Get(), trashName.c_str()) == 0) {
      if (attempt > 1) place.nextAttempt[name] = attempt + 1;
      return Outcome::Moved;
    }
    const int error = errno;
    ::unlinkat(place.info.Get(), infoName.c_str(), 0);
    if (error == EEXIST) continue;  // files/ holds that name without its .trashinfo
    return error == EXDEV ? Outcome::OtherFileSystem : Outcome::Failed;
  }
  return Outcome::Failed;
}

std::string TTrash::PathOf(int folderFd, const struct stat& st) {
  std::string path = FolderPath(folderFd);
  if (!path.empty() || errno != ENAMETOOLONG) return path;
  // Files of one folder come together: its long path is found once for all of them.
  if (!longPath_.empty() && longDevice_ == st.st_dev && longInode_ == st.st_ino) return longPath_;
  longPath_ = LongFolderPath(folderFd);
  longDevice_ = st.st_dev;
  longInode_ = st.st_ino;
  return longPath_;
}

bool TTrash::Move(int folderFd, const char* name) {
  struct stat st {};
  if (::fstat(folderFd, &st) != 0) return false;
  const std::string folder = PathOf(folderFd, st);
  if (folder.empty()) return false;
  const std::string topdir = TopDirOf(folder);
  // Moving a file about inside a trash would orphan its .trashinfo.
  if (InsideATrash(folder, topdir)) return false;
  // The home trash, then the volume's trashes in the freedesktop.org order; a trash
  // that turns out to be on another mount of the file system (a bind mount) passes the file on.
  // A file on the home trash's file system goes there or stays: a volume's trash is for the
  // other volumes.
  const bool homeFileSystem = OnHomeFileSystem(st.st_dev);
  for (int method = 0; method <= (homeFileSystem ? 0 : 2); ++method) {
    Place* place = method == 0      ? HomePlace(st.st_dev)
                   : topdir.empty() ? nullptr
                                    : VolumePlace(topdir, method, st.st_dev);
    if (place == nullptr || place->device != st.st_dev) continue;
    switch (MoveInto(*place, folderFd, name, folder)) {
      case Outcome::Moved:
        return true;
      case Outcome::OtherFileSystem:
        continue;
      case Outcome::Failed:
        return false;
    }
  }
  return false;
}

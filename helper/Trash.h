#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/UniqueFd.h"

// The name a file gets in a trash's files/ folder (and, followed by ".trashinfo", in info/):
// attempt 1 is the file's own name, later attempts number it before its extension, "a.tmp",
// "a.2.tmp", "a.3.tmp"... (the extension is the part from the last "." when that is not the first
// character and is 2 to 16 bytes long: ".bashrc" becomes ".bashrc.2", "x.tar.gz" "x.tar.2.gz").
// A name longer than limit bytes is cut at the end of the part before the extension, never
// inside a UTF-8 character, so that the extension and the number stay.
std::string TrashName(std::string_view name, unsigned attempt, size_t limit);

// A path as the Path= line of a .trashinfo holds it: every byte but the ASCII letters and
// digits, "-", ".", "_", "~" and "/" written as %XX, so newlines and bytes that are not UTF-8
// survive the line-based file.
std::string EncodeTrashPath(std::string_view path);

// The DeletionDate= value: local time as YYYY-MM-DDThh:mm:ss.
std::string TrashDate(std::time_t when);

// Moves files into the desktop's trash (the freedesktop.org trash, version 1.0), where a file
// manager shows each with its original place and can put it back.
//
// A file goes to the home trash when its folder is on the same file system (device) as the
// home trash (or where it would be made), or stays where it is when the home trash cannot be
// used (a link for files/ or info/, a plain file for Trash); otherwise to the trash of the
// volume that holds it, $topdir being the longest
// mount point of the mount table that contains the folder's real path (so a btrfs subvolume,
// whose device matches no mount, still finds its volume): $topdir/.Trash/$uid when .Trash is a
// real directory (not a link) with the sticky bit, else $topdir/.Trash-$uid, made 0700. Folders
// of a volume's trash must be real directories owned by this user, and $uid and .Trash-$uid
// closed to everyone else (a trash others can read would show them every trashed path). A
// folder too long for the kernel to name whole (past PATH_MAX) is named from its parents up
// (once for all the files of one folder in a row), the file renamed from it as any other.
// info/NAME.trashinfo is created first (O_EXCL), then the file is renamed into files/NAME (never
// replacing anything there); when the rename fails the .trashinfo goes again. A file is never
// copied: one that no trash on its own file system can take stays where it is.
//
// Trashes are opened (and made) when first needed and kept for the life of the object; the
// mount table is read when it is made. One object serves one Delete command.
class TTrash {
 public:
  // The home trash is $XDG_DATA_HOME/Trash when XDG_DATA_HOME is an absolute path, otherwise
  // <home>/.local/share/Trash (home from HomeFolder()); none when no home is known.
  TTrash();
  ~TTrash();
  TTrash(const TTrash&) = delete;
  TTrash& operator=(const TTrash&) = delete;

  // Moves name, a file or link in the open folder folderFd (already checked to be the one
  // found), into its trash. True when it was moved. False, and the file left in place, when no
  // trash of its file system can take it, when it lies in a trash already, or when creating
  // the .trashinfo or the rename fails.
  bool Move(int folderFd, const char* name);

  const std::string& HomeTrashPath() const { return homePath_; }

 private:
  struct Place;
  enum class Outcome { Moved, OtherFileSystem, Failed };

  bool OnHomeFileSystem(dev_t device);
  Place* HomePlace(dev_t device);
  Place* VolumePlace(const std::string& topdir, int method, dev_t device);
  std::unique_ptr<Place> SharedTrash(int topFd, const std::string& topdir);
  std::unique_ptr<Place> OwnTrash(int topFd, const std::string& topdir);
  std::unique_ptr<Place> MakePlace(int trashFd, const std::string& topdir, bool mustOwn);
  bool OwnedFolder(const UniqueFd& fd, bool privateToo = false) const;
  std::string PathOf(int folderFd, const struct stat& st);
  std::string TopDirOf(const std::string& folder) const;
  bool InsideATrash(const std::string& folder, const std::string& topdir) const;
  Outcome MoveInto(Place& place, int folderFd, const char* name, const std::string& folder);

  uid_t uid_;
  std::string uidName_;
  std::string homePath_;  // as configured
  std::string homeReal_;  // its real path, once it exists
  bool homeTried_ = false;
  bool homeDeviceKnown_ = false;
  std::optional<dev_t> homeDevice_;  // where the home trash is or would be made
  std::unique_ptr<Place> home_;
  std::vector<std::string> mountPoints_;
  std::map<std::string, std::unique_ptr<Place>> volumes_;  // by method and topdir; null: unusable
  std::string longPath_;  // the last folder named from its parents up
  dev_t longDevice_ = 0;
  ino_t longInode_ = 0;
};

#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "helper/FoundFile.h"
#include "platform/UniqueFd.h"

// Deletes listed files without letting the tree redirect the deletion: the folder holding the
// file is reached from the walk's root folder one component at a time with O_NOFOLLOW |
// O_DIRECTORY, so a directory swapped for a symbolic link after the check ends the attempt
// instead of deleting elsewhere; the file is removed with unlinkat only while it is still the
// file that was found (same device, inode and kind: regular file or link). Nothing else is
// changed: no permission bits (unlink needs none on the file), never a directory.
//
// The descriptors of the folders on the way are kept (up to kMaxKeptFolders deep) for the life
// of the object, so that entries of one folder, and of neighbouring folders, cost no new opens:
// the result list holds a folder's files together.
class TSafeUnlink {
 public:
  // Tries to delete the entry's file; true when no file of that name is there afterwards (a
  // file already gone counts as deleted). Anything put in the file's place since the check
  // (another file, a link, a directory, a FIFO) is left alone and counts as not deleted.
  bool Delete(const TFoundFile& entry);

  // The same walk and check, with the removal left to act: it gets the checked folder's
  // descriptor and the file's name while the file there is still the one found, and answers
  // whether it removed (or moved away) the file. True when no file of that name is there
  // afterwards, whatever act answered.
  using Removal = std::function<bool(int folderFd, const char* name)>;
  bool Remove(const TFoundFile& entry, const Removal& act);

  // The entry's file as it is now, reached the same way (for paths too long to hand to the
  // kernel whole). False when it cannot be reached or is gone.
  bool Stat(const TFoundFile& entry, struct stat& st);

 private:
  enum class Reach { Open, Gone, Blocked };
  Reach OpenFolder(const TFoundFile& entry, size_t nameStart);

  struct Folder {
    std::string name;  // the root folder's path for the first, a component for the others
    UniqueFd fd;
  };
  static constexpr size_t kMaxKeptFolders = 64;

  std::vector<Folder> chain_;  // the root folder, then the folders below it, in order
  std::string deepFolder_;     // past kMaxKeptFolders: the one folder kept, by its path
  UniqueFd deepFd_;
  int folderFd_ = -1;  // the folder OpenFolder reached
};

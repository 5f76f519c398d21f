#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/UniqueFd.h"
#include "scan/ResultList.h"

// Deletes listed files without letting the tree redirect the deletion: the folder holding the
// file is reached from the walk's root folder one component at a time with O_NOFOLLOW |
// O_DIRECTORY, so a directory swapped for a symbolic link after the check ends the attempt
// instead of deleting elsewhere; the file is removed with unlinkat only while it is still the
// file that was found (same device and inode). Nothing else is changed: no permission bits
// (unlink needs none on the file), never a directory.
//
// Consecutive entries of one folder share its descriptor, which is kept for the life of the
// object.
class TSafeUnlink {
 public:
  // Tries to delete the entry's file; true when no file of that name is there afterwards (a
  // file already gone counts as deleted). A file replaced by another since the check is left
  // alone and counts as not deleted.
  bool Delete(const ResultEntry& entry);

  // The entry's file as it is now, reached the same way (for paths too long to hand to the
  // kernel whole). False when it cannot be reached or is gone.
  bool Stat(const ResultEntry& entry, struct stat& st);

 private:
  enum class Reach { Open, Gone, Blocked };
  Reach OpenFolder(const ResultEntry& entry, size_t nameStart);

  std::string folder_;  // path bytes of the folder whose descriptor is kept, with "/"
  UniqueFd folderFd_;
};

#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "helper/FoundFile.h"
#include "helper/SafeUnlink.h"
#include "platform/UniqueFd.h"

// Measures listed files as they are now, never following the file's own link (its folders are
// passed as a lookup of its whole path passes them); false for a file that is gone (or cannot be
// reached), which counts 0. Files of one folder come together in the result list, the files of its
// subfolders among them: the walk's root folder is opened once, any other folder for its second
// file in a row, each kept while the files after it lie in it or below it, and every file is
// looked up from the deepest folder open on its way.
class TFileSizes {
 public:
  bool Stat(const TFoundFile& file, struct stat& st);

 private:
  struct Folder {
    std::string path;  // ends with '/'
    UniqueFd fd;
  };
  static constexpr size_t kMaxOpen = 64;

  std::vector<Folder> open_;  // each folder below the one before
  std::string lastFolder_;
  std::string triedRoot_;
  TSafeUnlink deepFiles_;
};

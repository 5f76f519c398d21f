#pragma once

#include <cstdint>
#include <string>

#include "helper/FoundFile.h"
#include "helper/SafeUnlink.h"
#include "platform/UniqueFd.h"

// Measures listed files as they are now, never following a link; a file that is gone (or cannot
// be reached) counts 0. Files of one folder come together in the result list: the first is looked
// up by its whole path, and from the second on one open of the folder serves the rest, each a
// one-name lookup.
class TFileSizes {
 public:
  std::uint64_t SizeOf(const TFoundFile& file);

 private:
  std::string folder_;
  UniqueFd folderFd_;
  bool folderOpened_ = false;
  TSafeUnlink deepFiles_;
};

#pragma once

#include <cstdint>
#include <string>

#include "helper/FoundFile.h"
#include "helper/SafeUnlink.h"
#include "platform/UniqueFd.h"

// Measures listed files as they are now, never following a link; a file that is gone (or cannot
// be reached) counts 0. Files of one folder come together in the result list, so one open of the
// folder serves them all and each file costs a one-name lookup instead of a whole path.
class TFileSizes {
 public:
  std::uint64_t SizeOf(const TFoundFile& file);

 private:
  std::string folder_;
  UniqueFd folderFd_;
  TSafeUnlink deepFiles_;
};

#pragma once

#include <cstdint>
#include <string>

// A listed file as the helper gets it for a removal or a measurement: its exact path bytes and
// what it was when the check found it.
struct TFoundFile {
  std::string path;                 // absolute
  std::uint32_t relativeStart = 0;  // where the part below the walk's root folder begins in path
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool symlink = false;
};

// Input: a mount table's text. Parsing and classifying must never fail; letters stay C to Z.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/DriveMap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto mounts = ParseMountInfo(std::string_view(reinterpret_cast<const char*>(data), size));
  const DriveMap map = ClassifyMounts(mounts, [](const std::string&) { return false; });
  for (const Drive& drive : map.Drives())
    if (drive.letter < 'C' || drive.letter > 'Z') std::abort();
  return 0;
}

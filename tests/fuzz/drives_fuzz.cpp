// Input: a VANTREL_DRIVES value. Parsing must never fail; letters stay A to Z.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/DriveMap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto map = ParseDrivesOverride(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!map) return 0;
  for (const Drive& drive : map->Drives())
    if (drive.letter < 'A' || drive.letter > 'Z') std::abort();
  return 0;
}

#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

// The paths of a result list's unmarked entries, for the duplicate test of a million findings:
// a slot holds only a pointer to a path's own bytes (kept, with a NUL after them, by the list),
// and at most half the slots are used, so a path costs 16 to 32 bytes here, where a node-based
// set spent about 56.
class TPathSet {
 public:
  // Room for count paths without growing.
  void Reserve(size_t count);
  // Adds the NUL-terminated path (nothing when it is already in); its bytes must stay in place
  // until it is erased or the set is cleared.
  void Insert(const char* path);
  void Erase(std::string_view path);
  bool Contains(std::string_view path) const;
  void Clear();

 private:
  // The slot that holds path, or the empty slot where it would go.
  size_t SlotOf(std::string_view path) const;
  size_t Home(std::string_view path) const;
  void Grow(size_t slots);

  std::vector<const char*> slots_;  // nullptr: empty; the size a power of two
  size_t count_ = 0;
};

#include "scan/PathSet.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

constexpr size_t kFewestSlots = 16;

}  // namespace

size_t TPathSet::Home(std::string_view path) const {
  return std::hash<std::string_view>{}(path) & (slots_.size() - 1);
}

size_t TPathSet::SlotOf(std::string_view path) const {
  // A stored path is NUL-terminated and no path holds a NUL: the comparison stops at its end.
  for (size_t slot = Home(path);; slot = (slot + 1) & (slots_.size() - 1)) {
    const char* stored = slots_[slot];
    if (stored == nullptr ||
        (std::strncmp(stored, path.data(), path.size()) == 0 && stored[path.size()] == '\0'))
      return slot;
  }
}

void TPathSet::Grow(size_t slots) {
  std::vector<const char*> old;
  old.swap(slots_);
  slots_.assign(slots, nullptr);
  for (const char* path : old)
    if (path != nullptr) slots_[SlotOf(path)] = path;
}

void TPathSet::Reserve(size_t count) {
  size_t slots = kFewestSlots;
  while (slots < 2 * count) slots *= 2;
  if (slots > slots_.size()) Grow(slots);
}

void TPathSet::Insert(const char* path) {
  if (2 * (count_ + 1) > slots_.size()) Grow(std::max(kFewestSlots, 2 * slots_.size()));
  const char*& slot = slots_[SlotOf(path)];
  if (slot != nullptr) return;
  slot = path;
  ++count_;
}

bool TPathSet::Contains(std::string_view path) const {
  return !slots_.empty() && slots_[SlotOf(path)] != nullptr;
}

void TPathSet::Erase(std::string_view path) {
  if (slots_.empty()) return;
  size_t hole = SlotOf(path);
  if (slots_[hole] == nullptr) return;
  --count_;
  // Moves back each later path of the run that may not stay behind the hole (no tombstones:
  // lookups stay as short after a deletion of many entries as before).
  const size_t mask = slots_.size() - 1;
  for (size_t next = (hole + 1) & mask; slots_[next] != nullptr; next = (next + 1) & mask) {
    const size_t home = Home(slots_[next]);
    const bool movable =
        hole <= next ? (home <= hole || home > next) : (home <= hole && home > next);
    if (movable) {
      slots_[hole] = slots_[next];
      hole = next;
    }
  }
  slots_[hole] = nullptr;
}

void TPathSet::Clear() {
  std::vector<const char*>().swap(slots_);
  count_ = 0;
}

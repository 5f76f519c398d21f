#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

// Objects kept for reuse instead of being freed and allocated again, handed between threads as
// whole lists.
template <typename T>
using Spares = std::vector<std::unique_ptr<T>>;

// The last one kept, or nullptr when none is.
template <typename T>
std::unique_ptr<T> TakeSpare(Spares<T>& spares) {
  if (spares.empty()) return nullptr;
  std::unique_ptr<T> spare = std::move(spares.back());
  spares.pop_back();
  return spare;
}

// Moves those of `from` to `to` until `to` holds `most`; the rest stay in `from`.
template <typename T>
void MoveSpares(Spares<T>& from, Spares<T>& to, size_t most) {
  while (!from.empty() && to.size() < most) to.push_back(TakeSpare(from));
}

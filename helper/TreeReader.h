#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "helper/Listing.h"
#include "platform/WakeUp.h"

// Reads one tree on threads of its own (one reads the directories and tests the names, a
// second measures the files while the first reads on), depth first in the file system's order,
// exactly as the check walks it (DirectoryWalk: never through a link, never onto another volume),
// and hands the check one TListing per directory, in the order the check enters them; a directory's
// listing comes whole before any listing below it.
//
// The reader keeps at most kMaxListings listings or kMaxBytes of them waiting for the check (one
// larger listing is still handed over whole), and the check takes at most as many at a time: so
// no more than twice those are read ahead and raises `wake` when the check has asked for more
// and a batch is ready, the first listing is ready, or the walk is over; between those, the check
// looks again at its own pace (it waits with a timeout). Abandon() lets it go: a reader stuck in
// the kernel is left behind with its descriptors and ends on its own once the call returns; nothing
// waits for it, not a later check and not the program's exit.
class TTreeReader {
 public:
  static constexpr size_t kMaxListings = 32;
  static constexpr size_t kMaxBytes = 128 * 1024;

  // Starts reading the folder at path (the walk's root, which may be reached through a link).
  TTreeReader(std::string path, TReadOptions options, std::shared_ptr<TWakeUp> wake);
  ~TTreeReader();  // abandons the reader when it is still running
  TTreeReader(const TTreeReader&) = delete;
  TTreeReader& operator=(const TTreeReader&) = delete;

  // The next listing, or nullptr when none is ready yet (wait for the wake-up and ask again).
  std::unique_ptr<TListing> Next();
  // Reads nothing more, but still hands over what it has read (then the End).
  void StopReading();
  void Abandon();

  // What the reader thread and the check share; the thread holds it as long as it runs.
  struct State;

 private:
  std::shared_ptr<State> state_;
  std::deque<std::unique_ptr<TListing>> taken_;
};

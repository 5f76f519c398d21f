#pragma once

#include <sys/types.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "helper/Listing.h"
#include "platform/WakeUp.h"

// Reads one tree on a pool of threads, exactly as the check walks it (EnterFolder: never through
// a link, never onto another volume), and hands over one TListing per directory in the order the
// check enters them: depth first, in the file system's order, a directory's listing before any
// listing below it. Folders are read ahead of that order, the earliest in the walk's order first
// (a heap of the folders whose subfolders wait, keyed by their place in the tree). As many threads
// are at work as there are processors while reads come from the cache; each read that had to
// sleep (the disk, a network server) lets one more to work, up to the pool, and a run of quick
// reads one fewer: a cold tree waits on the disk, not the processor. Each listing comes with its
// kinds, its mask tests and the sizes of its fitting and temporary files, all taken by the pool.
//
// Bounds: at most kMaxAhead folders (kMaxCacheAhead for the cache cleaning, whose listings keep
// their folder open) are being read, read, or waiting for the check; past that, only folders the
// walk reaches sooner than the farthest one already queued, up to kNearFactor times as many
// (kCacheNearFactor for the cache cleaning); and at most kMaxAheadBytes of their listings (one
// larger listing is still read whole). The folder the walk needs next is always read, so the bounds
// never stop the walk. Besides the folders being read (one a thread), at most kMaxOpenFolders
// folders whose subfolders still wait are kept open, and no more than an eighth of what the process
// may open (the root always; the others are opened again from the nearest open one, checked by
// device and inode, when needed): a folder of a million subfolders, or a tree ten thousand levels
// deep, opens a few hundred at most. Fewer than that, the read-ahead of a bushy tree keeps opening
// folders it gave up. Folders the walk is through with and listings given back are kept for the
// folders to come, at most 1024 of each, none with more than 4 KiB of names or records.
//
// `wake` is raised when the check has asked for more (Next found none) and a batch is ready,
// the first listing or the end is ready. Abandon() lets the reader go: a thread stuck in the
// kernel is left behind and ends on its own once its call returns; nothing waits for it, not a
// later check and not the program's exit.
class TTreeReader {
 public:
  static constexpr size_t kMaxAhead = 64;
  static constexpr size_t kMaxCacheAhead = 32;
  // Wide enough that while the walk goes down a part of the tree that can only be read one level
  // at a time, the other threads still have room to read what comes after it.
  static constexpr size_t kNearFactor = 32;
  static constexpr size_t kCacheNearFactor = 8;
  static constexpr size_t kMaxAheadBytes = 8 * 1024 * 1024;
  static constexpr size_t kMaxOpenFolders = 256;
  // The pool's threads: VANTREL_READERS (1 to kMaxThreads) when set, else kDefaultThreads.
  static constexpr size_t kDefaultThreads = 8;
  static constexpr size_t kMaxThreads = 16;

  // Starts reading the folder at path (the walk's root, which may be reached through a link).
  TTreeReader(std::string path, TReadOptions options, std::shared_ptr<TWakeUp> wake);
  ~TTreeReader();  // abandons the reader when it is still running
  TTreeReader(const TTreeReader&) = delete;
  TTreeReader& operator=(const TTreeReader&) = delete;

  // The next listing, or nullptr when none is ready yet (wait for the wake-up and ask again).
  std::unique_ptr<TListing> Next();
  // A listing taken and done with: its room serves a folder read later.
  void GiveBack(std::unique_ptr<TListing> listing);
  // Reads nothing more, but still hands over what it has read in order (then the end).
  void StopReading();
  void Abandon();

  // What the pool's threads and the taker share; each thread holds it as long as it runs.
  struct State;

 private:
  std::shared_ptr<State> state_;
  std::deque<std::unique_ptr<TListing>> taken_;
  std::vector<std::unique_ptr<TListing>> givenBack_;  // handed to the readers with the next batch
};

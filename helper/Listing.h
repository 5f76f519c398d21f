#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/UniqueFd.h"
#include "scan/Mask.h"

// One directory as a reader thread saw it, handed to the check on the GUI thread.
struct TListing {
  enum class Kind : std::uint8_t {
    RootMissing,  // the walk's starting folder is not a directory (the warning box)
    Listed,       // a directory entered and read: its entries follow
    NotEntered,   // a directory that could not be entered (gone, unreadable, another volume)
    End,          // the walk is over
  };

  // What the reader knows of one entry. Files are regular files and symbolic links; other
  // kinds (FIFOs, sockets, devices) are left out of the listing.
  struct Entry {
    std::string_view name;
    bool directory = false;
    bool symlink = false;
    bool fits = false;   // the name fits a mask of the check (masked walks only)
    bool sized = false;  // size, device and inode were taken (fitting files, temporary files)
    bool gone = false;   // sized: the file was gone, or no longer a file, when it was measured
    std::uint64_t size = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
  };

  // Reads the entries in the file system's order. Entry::name views the listing's own bytes.
  class Cursor {
   public:
    explicit Cursor(const TListing& listing)
        : at_(listing.data_.data()), end_(at_ + listing.data_.size()) {}
    bool Next(Entry& entry);

   private:
    const char* at_;
    const char* end_;
  };

  Kind kind = Kind::End;
  std::string name;     // the directory's own name (empty for the walk's root)
  bool exists = false;  // NotEntered: a directory of that name is still there
  // Listed, cache walks only: the directory itself, for deletions relative to it. In the helper
  // its descriptor; in the program the helper's id for it, held while the program may still
  // name it in a deletion.
  std::shared_ptr<UniqueFd> folder;
  std::shared_ptr<const std::uint32_t> remoteFolder;

  void Add(const Entry& entry);
  void Reserve(size_t bytes) { data_.reserve(bytes); }
  // Empties it for another directory; the room its records had stays.
  void Clear();
  // Keeps a listing done with, emptied, in kept while kept holds fewer than `most`; one with room
  // for more than kKeptRoom bytes of records is freed instead.
  static constexpr size_t kKeptRoom = 4 * 1024;
  static void KeepForReuse(std::vector<std::unique_ptr<TListing>>& kept,
                           std::unique_ptr<TListing> listing, size_t most);
  // Takes size, device and inode of every entry added as sized, relative to the directory at
  // dirFd; a file gone or no longer a file since the listing is marked gone.
  void TakeSizes(int dirFd);
  bool sizesPending = false;  // entries added as sized still wait for TakeSizes
  size_t Bytes() const { return data_.size() + name.size() + sizeof(TListing); }
  // The entries' records as they travel between the helper and the program.
  std::string_view Records() const { return std::string_view(data_.data(), data_.size()); }
  void SetRecords(std::string_view records) { data_.assign(records.begin(), records.end()); }

 private:
  std::vector<char> data_;
};

// What a reader is asked to do while it reads.
struct TReadOptions {
  // Masked walks: the check's masks in list order, up to (not including) the first invalid one;
  // a file fits when any of them fits its name (tested in order, the first fit ends the test).
  std::vector<std::shared_ptr<const TMask>> masks;
  bool matchMasks = false;
  // Takes sizes for every file below a directory named temp, tmp or temporary (any case).
  bool sizeTemporaryFiles = false;
  // The cache cleaning: the folder is opened once, checked to be one that may be emptied
  // (UsableCacheFolder: not "/", not a home folder, not one holding one; otherwise RootMissing),
  // walked from that very descriptor, and each listed directory is kept open for deletions
  // relative to it.
  bool cacheFolder = false;
  // Leaves out the files that neither fit a mask nor were sized: the check has no use for them
  // (directories are always listed).
  bool onlyUsedFiles = false;
  // Nothing shows a running total: the files that would be sized are listed without a stat of
  // their own (size, device and inode 0); the end of the check measures and identifies them.
  bool sizesLater = false;
};

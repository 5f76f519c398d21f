#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/UniqueFd.h"

// The volume a walk stays on: a directory on another device than its parent, the root of a
// mount (a bind mount shares its device), or one whose path is a mount point of the mount table,
// is never entered. A btrfs subvolume that is not mounted (its own device number, but no mount)
// is part of the volume and is walked.
struct WalkVolume {
  dev_t device = 0;
  const std::unordered_set<std::string>* mountPoints = nullptr;  // paths without trailing "/"
};

// What the kernel tells of an open directory.
struct FolderIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool mountRoot = false;  // the root of a mount, as far as the kernel tells (Linux 5.8 on)
};

// Opens the directory name below parentFd as a walk enters it and tells whether it is on the
// walk's volume: the walk's root (which may be reached through a link and be a mount's root) on
// the volume's device; any other directory never through a link, on its parent's device or an
// unmounted btrfs subvolume of it, not a mount's root, not a mount point of the table. path: the
// directory's path with its trailing "/".
bool EnterFolder(int parentFd, const char* name, bool isRoot, dev_t parentDevice,
                 const WalkVolume& volume, std::string_view path, UniqueFd& fd, FolderIdentity& id);

// The kind of an entry whose d_type the file system left unknown (DT_DIR, DT_REG, DT_LNK, or
// DT_UNKNOWN for anything else or a name gone).
unsigned char TypeByStat(int dirFd, const char* name);

// Mount points of the process's mount table, read now, that lie strictly below root (no
// trailing "/"), named as below root as given even when root is reached through a link.
std::unordered_set<std::string> MountPointsBelow(const std::string& root);

// A depth-first walk through directory descriptors. Each directory is opened relative to its
// parent with O_NOFOLLOW | O_DIRECTORY, listed whole with getdents (names as bytes, d_type for
// the kind, fstatat only when the file system gives no type) and then visited entry by entry in
// the file system's order; a subdirectory is walked completely when it is met. Symbolic links
// are entries like files and are never followed; sockets, FIFOs and devices are left out.
// The walk keeps an explicit stack instead of recursing, and at most kMaxOpenDirectories
// descriptors: deeper ancestors are closed and reopened through ".." (checked by device and
// inode) on the way back up, so trees thousands of levels deep are walked.
class DirectoryWalk {
 public:
  static constexpr size_t kMaxOpenDirectories = 48;

  // A directory's entries in the file system's order, "." and ".." left out, each with its kind:
  // DT_DIR, DT_REG, DT_LNK, or another d_type value for what the walk leaves out (a kind the file
  // system did not give is asked with fstatat once, when the directory is read).
  class Listing {
   public:
    Listing(const char* begin, const char* end) : begin_(begin), end_(end) {}
    template <typename Each>  // Each(std::string_view name, unsigned char type)
    void ForEach(Each&& each) const;
    // The bytes the kernel gave for the directory: a bound on what its names take.
    size_t Bytes() const { return static_cast<size_t>(end_ - begin_); }

   private:
    const char* begin_;
    const char* end_;
  };

  // The walker's callbacks: the find window's walkers are implementations of it.
  class Visitor {
   public:
    virtual ~Visitor() = default;
    // Start of a directory step, before the directory is opened. False: skip the directory.
    virtual bool BeforeDirectory() = 0;
    // The directory could be listed; path ends with "/".
    virtual void DirectoryOpened(const std::string& path) = 0;
    // A regular file or symbolic link in the directory open at dirFd, whose path ends with "/".
    // False ends the whole walk.
    virtual bool File(int dirFd, std::string_view name, const std::string& dirPath) = 0;
    // A subdirectory met in the listing, before it is walked. False: do not walk it.
    virtual bool Subdirectory(int dirFd, std::string_view name, const std::string& dirPath) {
      (void)dirFd;
      (void)name;
      (void)dirPath;
      return true;
    }
    // Called every few hundred entries, so that a huge directory does not starve the display.
    virtual void Heartbeat() {}
    // The whole listing of the directory just opened at dirFd (right after DirectoryOpened,
    // before any of its entries is visited).
    virtual void Listed(int dirFd, const Listing& listing) {
      (void)dirFd;
      (void)listing;
    }
    // A subdirectory met in the listing that could not be entered: gone, unreadable, on another
    // volume or a mount point.
    virtual void NotEntered(int dirFd, std::string_view name) {
      (void)dirFd;
      (void)name;
    }
  };

  // Walks the directory name below parentFd, staying on the volume. startIsRoot: the directory
  // is a walk's own root (a drive, the cache folder), which may be reached through a link and
  // may be a mount's root; otherwise it is taken like any subdirectory (never through a link,
  // never a mount's root). path is the directory's path with a trailing "/". Returns false when
  // the visitor ended the walk, true otherwise (also when the directory could not be listed).
  // One object serves any number of walks, one at a time, and keeps its buffers between them.
  bool Walk(const WalkVolume& volume, int parentFd, const char* name, std::string path,
            bool startIsRoot, Visitor& visitor);

 private:
  struct Frame {
    UniqueFd fd;
    size_t begin = 0;  // the listing: linux_dirent64 records in listings_[begin, end)
    size_t end = 0;
    size_t next = 0;
    size_t pathLength = 0;  // length of this directory's path, trailing "/" included
    dev_t device = 0;
    ino_t inode = 0;
  };

  // The listings of the open directories, stacked as the frames are: a listing is read onto
  // the end and dropped when its frame goes, so the walk allocates nothing per directory (and
  // leaves no holes in the heap between the findings it keeps).
  class ListingStack {
   public:
    char* Reserve(size_t bytes);
    void Commit(size_t bytes) { size_ += bytes; }
    void Truncate(size_t size) { size_ = size; }
    size_t Size() const { return size_; }
    const char* At(size_t offset) const { return data_.get() + offset; }
    char* At(size_t offset) { return data_.get() + offset; }

   private:
    std::unique_ptr<char[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
  };

  // Opens and lists a directory; false when it cannot be entered (gone, unreadable, another
  // volume, a mount point).
  bool Enter(int parentFd, const char* name, bool isRoot, dev_t parentDevice, size_t pathLength,
             Frame& frame);
  bool ReadListing(Frame& frame);
  void Announce(const Frame& frame, Visitor& visitor);
  void LimitOpenDirectories();
  bool ReopenParentOfTop();

  WalkVolume volume_;
  std::vector<Frame> stack_;
  std::string path_;
  size_t closedBelow_ = 1;  // frames [1, closedBelow_) have their descriptor closed
  ListingStack listings_;
};

template <typename Each>
void DirectoryWalk::Listing::ForEach(Each&& each) const {
  for (const char* at = begin_; at < end_;) {
    const auto* entry = reinterpret_cast<const struct dirent64*>(at);
    at += entry->d_reclen;
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    each(std::string_view(name, std::strlen(name)), entry->d_type);
  }
}

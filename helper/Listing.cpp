#include "helper/Listing.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

namespace {

enum Flags : std::uint8_t {
  kDirectory = 1,
  kSymlink = 2,
  kFits = 4,
  kSized = 8,
  kGone = 16,
};

struct RecordHead {
  std::uint8_t flags;
  std::uint8_t unused;
  std::uint16_t nameLength;
};

}  // namespace

void TListing::Add(const Entry& entry) {
  RecordHead head{};
  head.flags = static_cast<std::uint8_t>((entry.directory ? kDirectory : 0) |
                                         (entry.symlink ? kSymlink : 0) | (entry.fits ? kFits : 0) |
                                         (entry.sized ? kSized : 0) | (entry.gone ? kGone : 0));
  head.nameLength = static_cast<std::uint16_t>(entry.name.size());
  const size_t start = data_.size();
  const size_t sizes = entry.sized ? 3 * sizeof(std::uint64_t) : 0;
  data_.resize(start + sizeof head + sizes + entry.name.size());
  char* at = data_.data() + start;
  std::memcpy(at, &head, sizeof head);
  at += sizeof head;
  if (entry.sized) {
    const std::uint64_t values[3] = {entry.size, entry.device, entry.inode};
    std::memcpy(at, values, sizeof values);
    at += sizeof values;
  }
  std::memcpy(at, entry.name.data(), entry.name.size());
}

void TListing::Clear() {
  kind = Kind::End;
  name.clear();
  exists = false;
  folder.reset();
  remoteFolder.reset();
  sizesPending = false;
  data_.clear();
}

void TListing::KeepForReuse(std::vector<std::unique_ptr<TListing>>& kept,
                            std::unique_ptr<TListing> listing, size_t most) {
  if (listing->data_.capacity() > kKeptRoom || kept.size() >= most) return;
  listing->Clear();
  kept.push_back(std::move(listing));
}

void TListing::TakeSizes(int dirFd) {
  sizesPending = false;
  std::string name;
  for (size_t at = 0; at < data_.size();) {
    RecordHead head{};
    std::memcpy(&head, data_.data() + at, sizeof head);
    char* const record = data_.data() + at;
    at += sizeof head;
    char* const values = data_.data() + at;
    if ((head.flags & kSized) != 0) at += 3 * sizeof(std::uint64_t);
    name.assign(data_.data() + at, head.nameLength);
    at += head.nameLength;
    if ((head.flags & kSized) == 0) continue;
    // One stat per file gives its size and identity.
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) {
      head.flags |= kGone;
    } else {
      head.flags = static_cast<std::uint8_t>(S_ISLNK(st.st_mode) ? head.flags | kSymlink
                                                                 : head.flags & ~kSymlink);
      const std::uint64_t measured[3] = {static_cast<std::uint64_t>(st.st_size),
                                         static_cast<std::uint64_t>(st.st_dev),
                                         static_cast<std::uint64_t>(st.st_ino)};
      std::memcpy(values, measured, sizeof measured);
    }
    std::memcpy(record, &head, sizeof head);
  }
}

bool TListing::Cursor::Next(Entry& entry) {
  RecordHead head{};
  if (static_cast<size_t>(end_ - at_) < sizeof head) return false;
  std::memcpy(&head, at_, sizeof head);
  const size_t sizes = (head.flags & kSized) != 0 ? 3 * sizeof(std::uint64_t) : 0;
  // Records that came over the channel are read no further than they go.
  if (static_cast<size_t>(end_ - at_) < sizeof head + sizes + head.nameLength) {
    at_ = end_;
    return false;
  }
  at_ += sizeof head;
  entry.directory = (head.flags & kDirectory) != 0;
  entry.symlink = (head.flags & kSymlink) != 0;
  entry.fits = (head.flags & kFits) != 0;
  entry.sized = sizes > 0;
  entry.gone = (head.flags & kGone) != 0;
  if (entry.sized) {
    std::uint64_t values[3];
    std::memcpy(values, at_, sizeof values);
    at_ += sizeof values;
    entry.size = values[0];
    entry.device = values[1];
    entry.inode = values[2];
  } else {
    entry.size = entry.device = entry.inode = 0;
  }
  entry.name = std::string_view(at_, head.nameLength);
  at_ += head.nameLength;
  return true;
}

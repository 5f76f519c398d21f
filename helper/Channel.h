#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "helper/FoundFile.h"
#include "helper/Listing.h"

// The one channel between the program and its file system helper: a stream socket pair, the
// helper's end at descriptor 3 of the helper process (or at the other end in a thread, in tests).
// Both ends are this very program, so integers travel in the machine's own byte order.
//
// Every message, both ways, is a 12-byte head followed by its body:
//   u32 size     bytes of the body
//   u16 type     Message below
//   u16 zero
//   u32 stream   the tree, removal batch, measurement or question it belongs to (ids are chosen
//                by the program, never reused while the channel lives)
//
// Program to helper:
//   ReadTree       u8 options (1 match masks, 2 size temporary files, 4 cache folder, 8 only
//                  the files that fit or are sized, 16 sizes later),
//                  u32 mask count, each mask as str (UTF-8), then str path.
//                  Reads the tree; its listings come as Listings on the same stream.
//   Taken          u32 listings, u32 bytes: the program took these from what it was sent; the
//                  helper sends no more than kWindowListings / kWindowBytes not yet taken (one
//                  larger listing still goes whole).
//   StopReading    reads nothing more of the tree; what was read is still sent, then End.
//   Abandon        the tree is not wanted any more; answered at once by Abandoned.
//   RemoveFiles    u8 how (0 unlink, 1 trash), u8 first (1: the first batch of a Delete
//                  command), u32 count, each a file (below): the Delete command's removals, in
//                  order. Results come as Removed, then BatchOver.
//   RemoveCached   u32 count, each u32 folder, str name: the cache cleaning's deletions, each
//                  relative to a folder a cache listing named. Results as for RemoveFiles.
//   Cut            starts no further removal of the batch; BatchOver follows when the one
//                  running has ended.
//   Measure        u32 first, u8 identify, u32 count, each a file: sizes of listed files now
//                  (first: the place of the first in the program's list), with identify 1
//                  their identities too. Answered by Sizes.
//   Release        u32 count, each u32 folder: folders no listing of the program holds any more.
//   CacheFolder    str path: whether the folder may be emptied. Answered by Answer.
// Helper to program:
//   Listings       one or more listings, each u8 kind, u8 exists, u16 zero, u32 folder (0: none,
//                  else an id for RemoveCached), str name, str records (TListing's own bytes).
//   Abandoned      the tree's reading has been told to end.
//   Removed        u32 first, then one byte a removal: 1 when no file of that name is left.
//   BatchOver      the batch is over: every removal has ended, or it was cut and the running
//                  one has ended.
//   Sizes          u32 first, u8 identify, then a file each: u64 size (0 for a file gone); with
//                  identify 1 also u64 device, u64 inode, u8 kind (0 gone or neither file nor
//                  link, 1 file, 2 link).
//   Answer         u8 yes.
//   Note           str text: what the helper would have written on standard error.
// A file is u32 relativeStart, u64 device, u64 inode, u8 symlink, str path; a str is a u32
// length and the bytes.
//
// The helper ends when the program's end of the channel closes.
namespace channel {

enum class Message : std::uint16_t {
  ReadTree = 1,
  Taken,
  StopReading,
  Abandon,
  RemoveFiles,
  RemoveCached,
  Cut,
  Measure,
  Release,
  CacheFolder,

  Listings = 100,
  Abandoned,
  Removed,
  BatchOver,
  Sizes,
  Answer,
  Note,
};

// What the helper may send of a tree ahead of what the program took.
constexpr std::uint32_t kWindowListings = 4096;
constexpr std::uint32_t kWindowBytes = 1024 * 1024;
// A message larger than this is a broken channel.
constexpr std::uint32_t kMaxBody = 512u * 1024 * 1024;

struct Head {
  std::uint32_t size = 0;
  Message type = Message::Note;
  std::uint16_t zero = 0;
  std::uint32_t stream = 0;
};
static_assert(sizeof(Head) == 12);

// Builds one or more messages into one buffer, to be sent with a single write.
class Writer {
 public:
  // Starts a message; its size is filled in by End.
  void Begin(Message type, std::uint32_t stream);
  void End();
  void U8(std::uint8_t value) { bytes_.push_back(static_cast<char>(value)); }
  void U16(std::uint16_t value) { Put(&value, sizeof value); }
  void U32(std::uint32_t value) { Put(&value, sizeof value); }
  void U64(std::uint64_t value) { Put(&value, sizeof value); }
  void Str(std::string_view text) {
    U32(static_cast<std::uint32_t>(text.size()));
    Put(text.data(), text.size());
  }
  void Put(const void* data, size_t size) {
    const size_t at = bytes_.size();
    bytes_.resize(at + size);
    if (size > 0) std::memcpy(bytes_.data() + at, data, size);
  }
  // Bytes since the current message began (its body so far).
  size_t BodySize() const { return bytes_.size() - begun_ - sizeof(Head); }

  const std::string& Bytes() const { return bytes_; }
  bool Empty() const { return bytes_.empty(); }
  void Clear() { bytes_.clear(); }
  void Reserve(size_t size) { bytes_.reserve(size); }

 private:
  std::string bytes_;
  size_t begun_ = 0;
};

// Reads a message body. A read past the end marks the reader bad and gives zeros.
class Reader {
 public:
  explicit Reader(std::string_view body) : at_(body.data()), end_(body.data() + body.size()) {}
  std::uint8_t U8() { return Get<std::uint8_t>(); }
  std::uint16_t U16() { return Get<std::uint16_t>(); }
  std::uint32_t U32() { return Get<std::uint32_t>(); }
  std::uint64_t U64() { return Get<std::uint64_t>(); }
  std::string_view Str() {
    const std::uint32_t length = U32();
    if (static_cast<size_t>(end_ - at_) < length) {
      bad_ = true;
      at_ = end_;
      return {};
    }
    const std::string_view text(at_, length);
    at_ += length;
    return text;
  }
  bool AtEnd() const { return at_ >= end_; }
  bool Bad() const { return bad_; }
  std::string_view Rest() const { return std::string_view(at_, static_cast<size_t>(end_ - at_)); }

 private:
  template <typename T>
  T Get() {
    T value{};
    if (static_cast<size_t>(end_ - at_) < sizeof value) {
      bad_ = true;
      at_ = end_;
      return value;
    }
    std::memcpy(&value, at_, sizeof value);
    at_ += sizeof value;
    return value;
  }

  const char* at_;
  const char* end_;
  bool bad_ = false;
};

// The messages that arrive on a descriptor, cut out of large reads.
class Inbox {
 public:
  // Reads what the descriptor has (once; a blocking descriptor waits for something). False at
  // the end of the stream or on an error.
  bool Fill(int fd);
  // The next whole message, if one has arrived; its body stays valid until the next Fill.
  // A message that breaks the format ends the inbox (Broken).
  bool Next(Head& head, std::string_view& body);
  bool Broken() const { return broken_; }

 private:
  std::vector<char> buffer_ = std::vector<char>(64 * 1024);  // grows for a larger message
  size_t begin_ = 0;
  size_t end_ = 0;
  bool broken_ = false;
};

// A found file's record: u32 relative start, u64 device, u64 inode, u8 link, str path.
constexpr size_t kFoundFileBytesBesidesPath = 4 + 8 + 8 + 1 + 4;
void PutFoundFile(Writer& out, std::uint32_t relativeStart, std::uint64_t device,
                  std::uint64_t inode, bool symlink, std::string_view path);
inline void PutFoundFile(Writer& out, const TFoundFile& file) {
  PutFoundFile(out, file.relativeStart, file.device, file.inode, file.symlink, file.path);
}
TFoundFile GetFoundFile(Reader& in);
// A listing; folder is the helper's id for its directory (0: none).
void PutListing(Writer& out, const TListing& listing, std::uint32_t folder);
// The next listing of a Listings body, and its folder id; nullptr when the body breaks the format.
// reuse: an emptied listing to fill instead of a new one.
std::unique_ptr<TListing> GetListing(Reader& in, std::uint32_t& folder,
                                     std::unique_ptr<TListing> reuse = nullptr);

// Writes all of bytes to a blocking descriptor; false when the other end is gone.
bool SendAll(int fd, std::string_view bytes);

}  // namespace channel

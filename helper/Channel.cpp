#include "helper/Channel.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace channel {

void Writer::Begin(Message type, std::uint32_t stream) {
  begun_ = bytes_.size();
  Head head;
  head.type = type;
  head.stream = stream;
  Put(&head, sizeof head);
}

void Writer::End() {
  const auto size = static_cast<std::uint32_t>(BodySize());
  std::memcpy(bytes_.data() + begun_, &size, sizeof size);
}

bool Inbox::Fill(int fd) {
  if (broken_) return false;
  if (begin_ == end_) {
    begin_ = end_ = 0;
  } else if (buffer_.size() - end_ < buffer_.size() / 4) {
    // Less than a quarter left: what is still unread goes to the front.
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // A message larger than the buffer needs room for all of it.
  if (end_ - begin_ >= sizeof(Head)) {
    Head head;
    std::memcpy(&head, buffer_.data() + begin_, sizeof head);
    const size_t whole = sizeof head + head.size;
    if (head.size <= kMaxBody && buffer_.size() - begin_ < whole) {
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
      if (buffer_.size() < whole) buffer_.resize(std::max(whole, buffer_.size() * 2));
    }
  }
  for (;;) {
    const ssize_t got = ::read(fd, buffer_.data() + end_, buffer_.size() - end_);
    if (got > 0) {
      end_ += static_cast<size_t>(got);
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
}

bool Inbox::Next(Head& head, std::string_view& body) {
  if (broken_ || end_ - begin_ < sizeof head) return false;
  std::memcpy(&head, buffer_.data() + begin_, sizeof head);
  if (head.size > kMaxBody || head.zero != 0) {
    broken_ = true;
    return false;
  }
  if (end_ - begin_ < sizeof head + head.size) return false;
  body = std::string_view(buffer_.data() + begin_ + sizeof head, head.size);
  begin_ += sizeof head + head.size;
  return true;
}

void PutFoundFile(Writer& out, std::uint32_t relativeStart, std::uint64_t device,
                  std::uint64_t inode, bool symlink, std::string_view path) {
  out.U32(relativeStart);
  out.U64(device);
  out.U64(inode);
  out.U8(symlink ? 1 : 0);
  out.Str(path);
}

TFoundFile GetFoundFile(Reader& in) {
  TFoundFile file;
  file.relativeStart = in.U32();
  file.device = in.U64();
  file.inode = in.U64();
  file.symlink = in.U8() != 0;
  file.path = std::string(in.Str());
  return file;
}

void PutListing(Writer& out, const TListing& listing, std::uint32_t folder) {
  out.U8(static_cast<std::uint8_t>(listing.kind));
  out.U8(listing.exists ? 1 : 0);
  out.U16(0);
  out.U32(folder);
  out.Str(listing.name);
  out.Str(listing.Records());
}

std::unique_ptr<TListing> GetListing(Reader& in, std::uint32_t& folder,
                                     std::unique_ptr<TListing> reuse) {
  std::unique_ptr<TListing> listing = reuse ? std::move(reuse) : std::make_unique<TListing>();
  const std::uint8_t kind = in.U8();
  listing->exists = in.U8() != 0;
  in.U16();
  folder = in.U32();
  listing->name = std::string(in.Str());
  listing->SetRecords(in.Str());
  if (in.Bad() || kind > static_cast<std::uint8_t>(TListing::Kind::End)) return nullptr;
  listing->kind = static_cast<TListing::Kind>(kind);
  return listing;
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

}  // namespace channel

#include "scan/TotalSize.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// Files a Measure message names (at most, and about as many bytes), and how many such messages
// may be on their way at once: two for each of the helper's measuring threads, so that each
// has its next at hand.
constexpr size_t kPart = 512;
constexpr size_t kPartBytes = 64 * 1024;
constexpr size_t kPartsInFlight = 16;
constexpr std::chrono::milliseconds kWaitSlice(20);

struct Measurement : THelperClient::Stream {
  std::shared_ptr<TWakeUp> wake = std::make_shared<TWakeUp>();
  std::mutex mutex;
  std::vector<quint64> sizes;
  // Identities of files or links found since the program last took them, by place in the list.
  std::vector<std::pair<size_t, MeasuredIdentity>> found;
  size_t arrived = 0;  // files measured, in parts of any order
  bool gone = false;

  void Receive(channel::Message type, std::string_view body) override {
    if (type != channel::Message::Sizes) return;
    channel::Reader in(body);
    const std::uint32_t first = in.U32();
    // The answer says whether it carries identities (asked for only while some entry lacks one).
    const bool identified = in.U8() != 0;
    std::lock_guard lock(mutex);
    size_t at = first;
    for (; !in.AtEnd() && !in.Bad() && at < sizes.size(); ++at) {
      sizes[at] = in.U64();
      if (!identified) continue;
      MeasuredIdentity identity;
      identity.device = in.U64();
      identity.inode = in.U64();
      identity.kind = in.U8();
      if (identity.kind != 0) found.emplace_back(at, identity);
    }
    arrived += at - first;
    wake->Raise();
  }
  void Gone(bool) override {
    {
      std::lock_guard lock(mutex);
      gone = true;
    }
    wake->Raise();
  }
};

}  // namespace

std::optional<quint64> MeasureTotal(TResultList& list, const std::shared_ptr<THelperClient>& helper,
                                    const TWaiter& wait, const std::function<bool()>& hurry) {
  list.CommitPending();
  for (;;) {
    const quint64 revision = list.Revision();
    const size_t count = static_cast<size_t>(list.Count());
    auto measurement = std::make_shared<Measurement>();
    measurement->sizes.assign(count, 0);
    const bool identify = list.HasUnidentified();
    const std::uint32_t id = helper->Open(measurement);
    size_t sent = 0;
    channel::Writer out;  // one buffer for every part
    out.Reserve(kPartBytes + 4096);
    const auto sendPart = [&] {
      size_t end = sent;
      for (size_t bytes = 0; end < count && end - sent < kPart && bytes < kPartBytes; ++end)
        bytes += channel::kFoundFileBytesBesidesPath +
                 static_cast<size_t>(list.Entry(static_cast<qsizetype>(end)).path.size());
      out.Clear();
      out.Begin(channel::Message::Measure, id);
      out.U32(static_cast<std::uint32_t>(sent));
      out.U8(identify ? 1 : 0);
      out.U32(static_cast<std::uint32_t>(end - sent));
      for (; sent < end; ++sent) {
        const ResultEntry& entry = list.Entry(static_cast<qsizetype>(sent));
        channel::PutFoundFile(out, entry.relativeStart, entry.device, entry.inode, entry.symlink,
                              entry.path.View());
      }
      out.End();
      helper->Send(out);
    };
    bool changed = false;
    bool hurried = false;
    size_t answered = 0;
    std::vector<std::pair<size_t, MeasuredIdentity>> found;
    for (;;) {
      size_t arrived = 0;
      {
        std::lock_guard lock(measurement->mutex);
        if (measurement->gone) {
          helper->Close(id);
          return std::nullopt;
        }
        arrived = measurement->arrived;
        found.swap(measurement->found);
      }
      // Taken into the entries as they come: the whole list's identities are never held twice.
      if (list.Revision() == revision)
        for (const auto& [row, identity] : found)
          list.Identify(static_cast<qsizetype>(row), identity);
      found.clear();
      if (arrived == count) break;
      // The parts go as the socket takes them: the helper holds the rest of those in flight. One
      // is always on its way, so there is always an answer to wait for (and, after Stop, to time).
      while (sent < count && sent - arrived < kPart * kPartsInFlight &&
             (sent == arrived || !helper->Backlogged()))
        sendPart();
      // Every part that comes is an answer: the time runs from the last one.
      if ((!hurried && hurry && hurry()) || (hurried && arrived != answered)) {
        hurried = true;
        answered = arrived;
        helper->ExpectAnswer(id);
      }
      if (!wait(*measurement->wake, kWaitSlice)) {
        helper->Kill();
        return std::nullopt;
      }
      if (list.Revision() != revision) {
        changed = true;
        break;
      }
    }
    helper->Close(id);
    if (changed) continue;
    std::lock_guard lock(measurement->mutex);
    list.SetMeasuredTotal(measurement->sizes);
    return list.RunningTotal();
  }
}

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

// A file as measured, at its place in the list.
struct MeasuredFile {
  quint64 size = 0;
  MeasuredIdentity identity;  // kind 0 when not asked for
  quint32 row = 0;
};

struct Measurement : THelperClient::Stream {
  std::shared_ptr<TWakeUp> wake = std::make_shared<TWakeUp>();
  std::mutex mutex;
  // Measured since the program last took them: never more than the parts in flight, so that a
  // long list's sizes and identities are not held a second time beside its entries.
  std::vector<MeasuredFile> measured;
  size_t count = 0;    // files asked for
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
    for (; !in.AtEnd() && !in.Bad() && at < count; ++at) {
      MeasuredFile& file = measured.emplace_back();
      file.row = static_cast<quint32>(at);
      file.size = in.U64();
      if (!identified) continue;
      file.identity.device = in.U64();
      file.identity.inode = in.U64();
      file.identity.kind = in.U8();
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
    measurement->count = count;
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
    std::vector<MeasuredFile> measured;
    for (;;) {
      size_t arrived = 0;
      {
        std::lock_guard lock(measurement->mutex);
        if (measurement->gone) {
          helper->Close(id);
          return std::nullopt;
        }
        arrived = measurement->arrived;
        measured.swap(measurement->measured);
      }
      // Taken into the entries as they come (a list that lost rows meanwhile is measured anew).
      if (list.Revision() == revision)
        for (const MeasuredFile& file : measured) {
          list.SetMeasuredSize(file.row, file.size);
          list.Identify(file.row, file.identity);
        }
      measured.clear();
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
    list.EndMeasuring();
    return list.RunningTotal();
  }
}

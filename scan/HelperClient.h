#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "helper/Channel.h"
#include "platform/BriefMutex.h"
#include "platform/UniqueFd.h"

// Where helpers come from: the program file to start with the helper switch, or none, in which
// case the helper runs on a thread of this process at the other end of the same channel (tests;
// the program's main sets its own file). Set before the first helper is started.
void UseHelperProgram(std::string program);
// Starts the next check's helper now, while the program itself starts up (an unattended run
// checks at once); the next THelperClient::Start() takes it. Unused, it ends with the program,
// whose end of the channel then closes. Returns its process (-1: none).
pid_t PrestartHelper();

// The program's end of the channel to a file system helper (helper/Channel.h). A thread of its
// own receives what the helper sends and hands each message to the stream it belongs to; sends
// never block the caller (what the socket does not take at once is passed on by that thread).
// Whatever the helper does, nothing here waits for it: a helper that owes an answer (Abandoned,
// the end of a batch that was cut for Stop) and has not given it within kAnswerTime is killed
// and left to the kernel. Gone() is then true, and every stream hears of it.
class THelperClient : public std::enable_shared_from_this<THelperClient> {
 public:
  static constexpr std::chrono::milliseconds kAnswerTime{200};

  // What the receiving thread hands a stream. Both are called on that thread (or, for a stream
  // opened once the helper is gone, at once).
  class Stream {
   public:
    virtual ~Stream() = default;
    virtual void Receive(channel::Message type, std::string_view body) = 0;
    // Nothing more comes: the helper ended unexpectedly (crashed, killed from outside) or was
    // ended by the program (killed for not answering, or let go).
    virtual void Gone(bool unexpectedly) = 0;
  };

  // Starts a helper. A helper that cannot be started is one that ended unexpectedly.
  static std::shared_ptr<THelperClient> Start();
  // Ends the helper at once, without waiting for it.
  ~THelperClient();
  THelperClient(const THelperClient&) = delete;
  THelperClient& operator=(const THelperClient&) = delete;

  // A new stream id, its messages handed to stream until Close.
  std::uint32_t Open(std::shared_ptr<Stream> stream);
  void Close(std::uint32_t id);
  // Queues messages for the helper.
  void Send(const channel::Writer& messages);
  // Whether sent messages still wait for room in the socket: a long stream of sends (the parts
  // of a measurement) holds back until they have gone, so they never pile up here.
  bool Backlogged();
  // The helper must answer the open stream within kAnswerTime (Answered, or the stream closed
  // by its answer), or it is killed.
  void ExpectAnswer(std::uint32_t id);
  void Answered(std::uint32_t id);
  // Ends the helper now: killed (a process) or cut off (a thread), and left to the kernel.
  void Kill();

  bool Gone() const { return gone_; }
  bool EndedUnexpectedly() const { return gone_ && unexpected_; }
  pid_t Pid() const { return pid_; }

  // The program's hold on a folder the helper keeps open for deletions relative to it: the
  // helper lets it go once the last hold is dropped (any thread may drop it).
  class FolderHolds {
   public:
    static std::shared_ptr<const std::uint32_t> Hold(const std::shared_ptr<FolderHolds>& holds,
                                                     std::uint32_t id);
    std::vector<std::uint32_t> TakeReleased();

   private:
    std::mutex mutex_;
    std::vector<std::uint32_t> released_;
  };
  const std::shared_ptr<FolderHolds>& Folders() const { return folders_; }

 private:
  THelperClient() = default;
  void Receive();
  bool Poll();
  void Dispatch(const channel::Head& head, std::string_view body);
  void TakeDown(bool unexpectedly);
  void Poke();
  // Sends what the socket takes at once; returns how many bytes it took.
  size_t SendLocked(std::string_view bytes);
  void FlushLocked();

  pid_t pid_ = -1;
  UniqueFd fd_;
  UniqueFd poke_;  // an eventfd that wakes the receiving thread
  std::thread receiver_;
  std::atomic<bool> gone_{false};
  std::atomic<bool> unexpected_{false};
  std::atomic<bool> closing_{false};
  std::atomic<bool> killed_{false};
  std::atomic<bool> down_{false};

  TBriefMutex mutex_;
  std::map<std::uint32_t, std::shared_ptr<Stream>> streams_;
  std::map<std::uint32_t, std::chrono::steady_clock::time_point> deadlines_;
  std::uint32_t nextId_ = 1;
  std::string outbox_;  // sent as the socket takes it
  std::shared_ptr<FolderHolds> folders_ = std::make_shared<FolderHolds>();
};

#include "scan/HelperClient.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtGlobal>
#include <cerrno>
#include <utility>

#include "helper/FileSystemHelper.h"
#include "platform/HelperProcess.h"
#include "platform/WorkerThreads.h"

namespace {

std::string g_program;
std::optional<SpawnedHelper> g_prestarted;  // for the next Start(); the GUI thread's
constexpr size_t kKeptOutbox = 256 * 1024;

}  // namespace

void UseHelperProgram(std::string program) {
  g_program = std::move(program);
}

pid_t PrestartHelper() {
  if (!g_program.empty() && !g_prestarted)
    g_prestarted = SpawnHelperProcess(g_program, kHelperSwitch);
  return g_prestarted ? g_prestarted->pid : -1;
}

std::shared_ptr<const std::uint32_t> THelperClient::FolderHolds::Hold(
    const std::shared_ptr<FolderHolds>& holds, std::uint32_t id) {
  return std::shared_ptr<const std::uint32_t>(new std::uint32_t(id),
                                              [holds](const std::uint32_t* held) {
                                                {
                                                  std::lock_guard lock(holds->mutex_);
                                                  holds->released_.push_back(*held);
                                                }
                                                delete held;
                                              });
}

std::vector<std::uint32_t> THelperClient::FolderHolds::TakeReleased() {
  std::lock_guard lock(mutex_);
  return std::exchange(released_, {});
}

std::shared_ptr<THelperClient> THelperClient::Start() {
  std::shared_ptr<THelperClient> client(new THelperClient());
  client->poke_.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!g_program.empty()) {
    std::optional<SpawnedHelper> spawned = std::exchange(g_prestarted, std::nullopt);
    if (spawned && ::waitpid(spawned->pid, nullptr, WNOHANG) != 0) {
      // Ended while it waited (or not ours to ask): a fresh one instead.
      ::close(spawned->fd);
      spawned.reset();
    }
    if (!spawned) spawned = SpawnHelperProcess(g_program, kHelperSwitch);
    if (spawned) {
      client->pid_ = spawned->pid;
      client->fd_.Reset(spawned->fd);
    }
  } else {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) == 0) {
      client->fd_.Reset(pair[0]);
      ::fcntl(pair[0], F_SETFL, ::fcntl(pair[0], F_GETFL) | O_NONBLOCK);
      StartWorkerThread([fd = pair[1]] { ServeFileSystem(fd); });
    }
  }
  if (!client->fd_.Valid() || !client->poke_.Valid()) {
    client->unexpected_ = true;
    client->down_ = true;
    client->gone_ = true;
    return client;
  }
  client->receiver_ = std::thread([raw = client.get()] { raw->Receive(); });
  return client;
}

THelperClient::~THelperClient() {
  closing_ = true;
  Kill();
  if (receiver_.joinable()) receiver_.join();
}

std::uint32_t THelperClient::Open(std::shared_ptr<Stream> stream) {
  std::unique_lock lock(mutex_);
  const std::uint32_t id = nextId_++;
  if (gone_) {
    lock.unlock();
    stream->Gone(unexpected_);
    return id;
  }
  streams_.emplace(id, std::move(stream));
  return id;
}

void THelperClient::Close(std::uint32_t id) {
  std::shared_ptr<Stream> closed;
  std::lock_guard lock(mutex_);
  const auto found = streams_.find(id);
  if (found == streams_.end()) return;
  // Destroyed outside the lock: what it holds may hand folders back.
  closed = std::move(found->second);
  streams_.erase(found);
  deadlines_.erase(id);
}

void THelperClient::Send(const channel::Writer& messages) {
  const std::vector<std::uint32_t> released = folders_->TakeReleased();
  std::lock_guard lock(mutex_);
  if (gone_) return;
  if (!released.empty()) {
    channel::Writer release;
    release.Begin(channel::Message::Release, 0);
    release.U32(static_cast<std::uint32_t>(released.size()));
    for (const std::uint32_t id : released) release.U32(id);
    release.End();
    outbox_ += release.Bytes();
  }
  if (outbox_.empty()) {
    // Straight into the socket: only what it does not take is copied.
    const std::string& bytes = messages.Bytes();
    outbox_.append(bytes, SendLocked(bytes));
  } else {
    outbox_ += messages.Bytes();
  }
  // What the socket did not take, the receiving thread passes on as it can.
  if (!outbox_.empty()) Poke();
}

bool THelperClient::Backlogged() {
  std::lock_guard lock(mutex_);
  return !outbox_.empty();
}

size_t THelperClient::SendLocked(std::string_view bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n =
        ::send(fd_.Get(), bytes.data() + sent, bytes.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  return sent;
}

void THelperClient::FlushLocked() {
  outbox_.erase(0, SendLocked(outbox_));
  // A long measurement's parts passed through: the room they took goes back.
  if (outbox_.empty() && outbox_.capacity() > kKeptOutbox) std::string().swap(outbox_);
}

void THelperClient::ExpectAnswer(std::uint32_t id) {
  {
    std::lock_guard lock(mutex_);
    // The answer may have come, and closed its stream, before it was expected: a closed stream
    // owes nothing.
    if (gone_ || !streams_.contains(id)) return;
    deadlines_[id] = std::chrono::steady_clock::now() + kAnswerTime;
  }
  Poke();
}

void THelperClient::Answered(std::uint32_t id) {
  std::lock_guard lock(mutex_);
  deadlines_.erase(id);
}

void THelperClient::Kill() {
  killed_ = true;
  TakeDown(false);
}

void THelperClient::Poke() {
  const std::uint64_t one = 1;
  if (poke_.Valid()) (void)!::write(poke_.Get(), &one, sizeof one);
}

void THelperClient::TakeDown(bool unexpectedly) {
  if (down_.exchange(true)) return;
  unexpected_ = unexpectedly && !killed_;
  gone_ = true;
  // A process is killed and reaped when it finally ends; a thread at the other end hears the
  // channel close. Either way nothing here waits for it.
  if (pid_ > 0)
    KillAndReap(pid_);
  else if (fd_.Valid())
    ::shutdown(fd_.Get(), SHUT_RDWR);
  std::map<std::uint32_t, std::shared_ptr<Stream>> streams;
  {
    std::lock_guard lock(mutex_);
    streams.swap(streams_);
    deadlines_.clear();
    outbox_.clear();
  }
  for (auto& [id, stream] : streams) stream->Gone(unexpected_);
  Poke();
}

void THelperClient::Dispatch(const channel::Head& head, std::string_view body) {
  if (head.type == channel::Message::Note) {
    channel::Reader in(body);
    const std::string_view text = in.Str();
    qCritical("%.*s", static_cast<int>(text.size()), text.data());
    return;
  }
  std::shared_ptr<Stream> stream;
  {
    std::lock_guard lock(mutex_);
    const auto found = streams_.find(head.stream);
    if (found != streams_.end()) stream = found->second;
  }
  if (stream) stream->Receive(head.type, body);
}

void THelperClient::Receive() {
  channel::Inbox inbox;
  while (!gone_ && !closing_) {
    int timeout = -1;
    bool output = false;
    {
      std::lock_guard lock(mutex_);
      const auto now = std::chrono::steady_clock::now();
      for (const auto& [id, deadline] : deadlines_) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(std::max(deadline - now, now - now));
        if (timeout < 0 || left.count() < timeout) timeout = static_cast<int>(left.count());
      }
      output = !outbox_.empty();
    }
    if (timeout == 0) {
      // An answer owed for too long: the helper is stuck (or stopped), and let go.
      Kill();
      break;
    }
    pollfd fds[2] = {{fd_.Get(), static_cast<short>(POLLIN | (output ? POLLOUT : 0)), 0},
                     {poke_.Get(), POLLIN, 0}};
    if (::poll(fds, 2, timeout) < 0 && errno != EINTR) {
      TakeDown(true);
      break;
    }
    if ((fds[1].revents & POLLIN) != 0) {
      std::uint64_t count = 0;
      (void)!::read(poke_.Get(), &count, sizeof count);
    }
    if ((fds[0].revents & POLLOUT) != 0) {
      std::lock_guard lock(mutex_);
      FlushLocked();
    }
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      const bool open = inbox.Fill(fd_.Get());
      channel::Head head;
      std::string_view body;
      while (inbox.Next(head, body)) Dispatch(head, body);
      if (!open || inbox.Broken()) {
        TakeDown(true);
        break;
      }
    }
  }
}

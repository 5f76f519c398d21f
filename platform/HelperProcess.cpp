#include "platform/HelperProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/UniqueFd.h"

extern char** environ;

namespace {

constexpr int kChildChannel = 3;

}  // namespace

std::optional<SpawnedHelper> SpawnHelperProcess(const std::string& program, const char* argument) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return std::nullopt;
  UniqueFd ours(pair[0]);
  UniqueFd theirs(pair[1]);
  // Above the descriptor it is moved to, so that the move clears its close-on-exec flag.
  UniqueFd high(::fcntl(theirs.Get(), F_DUPFD_CLOEXEC, 10));
  if (!high.Valid()) return std::nullopt;
  theirs.Reset();

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawnattr_init(&attributes);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, high.Get(), kChildChannel);
  ::posix_spawn_file_actions_addclosefrom_np(&actions, kChildChannel + 1);
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  ::posix_spawnattr_setsigmask(&attributes, &none);
  ::posix_spawnattr_setsigdefault(&attributes, &all);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::string path = program;
  // Started through /proc/self/exe, it is still named by its file, as ps shows it.
  std::string name = path;
  char link[4096];
  const ssize_t length = ::readlink(path.c_str(), link, sizeof link);
  if (length > 0 && static_cast<size_t>(length) < sizeof link)
    name.assign(link, static_cast<size_t>(length));
  char* const arguments[] = {name.data(), const_cast<char*>(argument), nullptr};
  pid_t pid = -1;
  const int failed = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, arguments, environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::posix_spawnattr_destroy(&attributes);
  if (failed != 0) return std::nullopt;
  const int flags = ::fcntl(ours.Get(), F_GETFL);
  ::fcntl(ours.Get(), F_SETFL, flags | O_NONBLOCK);
  return SpawnedHelper{pid, ours.Release()};
}

void KillAndReap(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGKILL);
  std::thread([pid] {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

#include "platform/Termination.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

int g_pipe[2] = {-1, -1};
std::atomic<bool> g_requested{false};

// The handler only passes the signal on: everything else happens on the GUI thread.
void PassOn(int signal) {
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &number, 1);
  errno = saved;
}

}  // namespace

void EndOnTerminationSignals() {
  if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier =
      new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, [] {
    unsigned char numbers[16];
    const ssize_t got = ::read(g_pipe[0], numbers, sizeof numbers);
    if (got <= 0 || g_requested.exchange(true)) return;
    const char* name = ::sigabbrev_np(numbers[0]);
    std::fprintf(stderr, "vantrel: ended by SIG%s; nothing more is checked or deleted\n",
                 name != nullptr ? name : "?");
    std::fflush(stderr);
    QCoreApplication::exit(1);
  });
  struct sigaction action {};
  action.sa_handler = PassOn;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

bool TerminationRequested() {
  return g_requested.load();
}

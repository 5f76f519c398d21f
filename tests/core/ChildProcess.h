#pragma once

// Runs a piece of a test in a forked child: as an unprivileged user, in a private mount
// namespace, or simply under a deadline so that a walk that blocks fails instead of hanging the
// suite. The child reports through a pipe; nothing in it touches gtest.

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <exception>
#include <functional>
#include <string>

#include "platform/Errors.h"
#include "platform/UniqueFd.h"

struct ChildResult {
  bool finished = false;  // false: killed at the deadline
  int exitCode = -1;
  std::string report;  // what the body returned, or why it failed
};

// The body's return value becomes the report; an exception becomes "exception: <text>" with
// exit code 3. The child is killed when it has not ended by the deadline.
inline ChildResult RunInChild(const std::function<std::string()>& body,
                              std::chrono::seconds deadline = std::chrono::seconds(60)) {
  ChildResult result;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    result.report = "pipe failed";
    return result;
  }
  UniqueFd readEnd(fds[0]);
  UniqueFd writeEnd(fds[1]);
  const pid_t pid = ::fork();
  if (pid < 0) {
    result.report = "fork failed";
    return result;
  }
  if (pid == 0) {
    readEnd.Reset();
    std::string report;
    int code = 0;
    try {
      report = body();
    } catch (const EVantrelError& e) {
      report = "exception: " + e.Message().toStdString();
      code = 3;
    } catch (const std::exception& e) {
      report = std::string("exception: ") + e.what();
      code = 3;
    }
    for (size_t done = 0; done < report.size();) {
      const ssize_t n = ::write(writeEnd.Get(), report.data() + done, report.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::_exit(code);
  }
  writeEnd.Reset();
  const auto end = std::chrono::steady_clock::now() + deadline;
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{readEnd.Get(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t n = ::read(readEnd.Get(), buffer, sizeof buffer);
    if (n <= 0) {
      result.finished = true;  // the child closed its end: it is ending
      break;
    }
    result.report.append(buffer, static_cast<size_t>(n));
  }
  if (!result.finished) ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (result.finished && WIFEXITED(status))
    result.exitCode = WEXITSTATUS(status);
  else
    result.finished = false;
  return result;
}

constexpr uid_t kNobody = 65534;

// A directory below root (a test's private temporary directory) that an unprivileged child can
// write in: root is opened for searching, the area itself for everyone.
inline std::string SharedArea(const std::string& root) {
  ::chmod(root.c_str(), 0755);
  const std::string area = root + "/shared";
  ::mkdir(area.c_str(), 0777);
  ::chmod(area.c_str(), 0777);
  return area;
}

// In a child: when running as root, becomes nobody (user and group 65534, no other groups), so
// that permission bits mean what they mean for an ordinary user. False when that fails.
inline bool DropToNobody() {
  if (::geteuid() != 0) return true;
  return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 &&
         ::geteuid() == kNobody;
}

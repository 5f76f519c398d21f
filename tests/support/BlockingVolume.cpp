#include "BlockingVolume.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <chrono>
#include <fstream>
#include <thread>

namespace {

bool Mounted(const std::string& mountPoint) {
  QFile table(QStringLiteral("/proc/self/mountinfo"));
  if (!table.open(QIODevice::ReadOnly)) return false;
  const QByteArray needle = " " + QByteArray::fromStdString(mountPoint) + " ";
  for (const QByteArray& line : table.readAll().split('\n'))
    if (line.contains(needle) && line.contains("fuse.blockfs")) return true;
  return false;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

BlockingVolume::BlockingVolume(const std::string& mountPoint, const std::string& tree)
    : mountPoint_(mountPoint), control_(mountPoint + ".control") {
  const std::string program = VANTREL_BLOCKFS;
  if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
    skip_ = "the blockfs test file system was not built (libfuse3-dev missing)";
    return;
  }
  if (::access("/dev/fuse", R_OK | W_OK) != 0) {
    skip_ = "no /dev/fuse here";
    return;
  }
  ::mkdir(mountPoint.c_str(), 0755);
  ::mkdir(control_.c_str(), 0755);
  const std::string treeFile = control_ + "/tree";
  std::ofstream(treeFile) << tree;
  server_ = ::fork();
  if (server_ == 0) {
    const int quiet = ::open("/dev/null", O_WRONLY);
    ::dup2(quiet, STDOUT_FILENO);
    ::dup2(quiet, STDERR_FILENO);
    ::execl(program.c_str(), program.c_str(), treeFile.c_str(), control_.c_str(),
            mountPoint.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  for (int i = 0; i < 500 && !Mounted(mountPoint); ++i) {
    int status = 0;
    if (::waitpid(server_, &status, WNOHANG) == server_) {
      server_ = -1;
      skip_ = "blockfs could not mount (no right to mount FUSE volumes here?)";
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!Mounted(mountPoint)) skip_ = "blockfs did not mount in time";
}

BlockingVolume::~BlockingVolume() {
  Release();
  if (server_ > 0) {
    // Detached: a program's reader still inside the volume does not hold the unmount up.
    ::umount2(mountPoint_.c_str(), MNT_DETACH);
    ::kill(server_, SIGTERM);
    ::waitpid(server_, nullptr, 0);
  }
}

int BlockingVolume::Blocked() const {
  int n = 0;
  while (Exists(control_ + "/blocked-" + std::to_string(n + 1))) ++n;
  return n;
}

bool BlockingVolume::WaitForBlocked(int n, int milliseconds) const {
  for (int waited = 0; waited < milliseconds; waited += 5) {
    if (Blocked() >= n) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return Blocked() >= n;
}

void BlockingVolume::BlockRoot() const {
  ::close(::open((control_ + "/block-root").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
}

void BlockingVolume::BlockStats() const {
  ::close(::open((control_ + "/block-stat").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
}

void BlockingVolume::FailSync() const {
  ::close(::open((control_ + "/fail-sync").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
}

void BlockingVolume::Release() const {
  if (control_.empty()) return;
  ::close(::open((control_ + "/release").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
}

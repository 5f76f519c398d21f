#pragma once

#include <sys/types.h>

#include <string>

// A FUSE volume made by the test (the blockfs program) whose marked calls block until Release():
// a stalled network server or a disk that retries, on demand. Mounted at mountPoint for the
// object's life; Skip() says why it could not be mounted (no /dev/fuse, no right to mount, not
// built), in which case the test skips.
//
// tree: the volume's entries, one a line (see tests/fuse/blockfs.c): "d dir", "f dir/file 12",
// "b blocking-dir", "u blocking-removal 12", "s stat-blocks-on-demand 12", "w writable-dir"; a
// line "i" makes a server that ignores the kernel's interrupts (a process blocked in it cannot
// be killed until Release()).
class BlockingVolume {
 public:
  BlockingVolume(const std::string& mountPoint, const std::string& tree);
  ~BlockingVolume();
  BlockingVolume(const BlockingVolume&) = delete;
  BlockingVolume& operator=(const BlockingVolume&) = delete;

  const std::string& Skip() const { return skip_; }
  // Waits (up to the timeout) until n calls have started blocking.
  bool WaitForBlocked(int n, int milliseconds = 10000) const;
  int Blocked() const;
  // From now on getattr of the volume's root blocks too (until released).
  void BlockRoot() const;
  // From now on getattr of the files of "s" lines blocks too (until released).
  void BlockStats() const;
  // From now on an fsync of a file in a "w" directory fails with EIO.
  void FailSync() const;
  void Release() const;

 private:
  std::string mountPoint_;
  std::string control_;
  std::string skip_;
  pid_t server_ = -1;
};

#pragma once

// A btrfs file system for a test: an image file formatted here, mounted through a loop device
// in a child's private mount namespace (root only). Every step says why it cannot be done, so
// that the test skips with that reason where the machine does not allow it.

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <cstdlib>
#include <string>

#include "ScanTestSupport.h"

// Runs a command through the shell, its output thrown away; true when it succeeded.
inline bool RunQuietly(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The btrfs tool, or empty when btrfs-progs is missing.
inline std::string BtrfsTool() {
  return QStandardPaths::findExecutable(QStringLiteral("btrfs"), {"/usr/bin", "/bin", "/usr/sbin"})
      .toStdString();
}

// Formats a new 300 MB image file; empty on success, otherwise the reason to skip.
inline std::string MakeBtrfsImage(const std::string& image) {
  const QString mkfs =
      QStandardPaths::findExecutable(QStringLiteral("mkfs.btrfs"), {"/usr/sbin", "/sbin"});
  if (mkfs.isEmpty() || BtrfsTool().empty()) return "btrfs-progs is not installed";
  MakeFile(image);
  if (::truncate(image.c_str(), 300 << 20) != 0) return "no room for the image";
  QProcess format;
  format.setStandardOutputFile(QProcess::nullDevice());
  format.setStandardErrorFile(QProcess::nullDevice());
  format.start(mkfs, {"-q", "-f", QString::fromStdString(image)});
  if (!format.waitForFinished(60000) || format.exitCode() != 0) return "mkfs.btrfs failed here";
  return std::string();
}

// In a child: a private mount namespace with the image mounted on directory. Empty on
// success, otherwise a report starting with "skip:".
inline std::string MountBtrfsImage(const std::string& image, const std::string& directory) {
  if (::unshare(CLONE_NEWNS) != 0 ||
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return "skip: no private mount namespace here";
  if (!RunQuietly("mount -o loop '" + image + "' '" + directory + "'"))
    return "skip: loop devices cannot be used here";
  return std::string();
}

// Creates a subvolume at path; true when it worked.
inline bool MakeSubvolume(const std::string& path) {
  return RunQuietly("'" + BtrfsTool() + "' subvolume create '" + path + "'");
}

// Mounts the subvolume name of the btrfs file system mounted on drive at directory as well.
inline bool MountSubvolume(const std::string& drive, const std::string& name,
                           const std::string& directory) {
  return RunQuietly("mount -o subvol=" + name + " \"$(findmnt -n -o SOURCE '" + drive + "')\" '" +
                    directory + "'");
}

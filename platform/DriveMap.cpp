#include "platform/DriveMap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <tuple>

namespace {

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

bool IsOctal(char c) {
  return c >= '0' && c <= '7';
}

// mountinfo writes space, tab, newline and backslash in paths as \040, \011, \012, \134.
std::string Unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) &&
        IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
      const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      if (value <= 0xFF) {
        out += static_cast<char>(value);
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

bool ParseUnsigned(std::string_view text, unsigned* value) {
  if (text.empty() || text.size() > 9) return false;
  unsigned result = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + static_cast<unsigned>(c - '0');
  }
  *value = result;
  return true;
}

std::optional<MountEntry> ParseMountLine(std::string_view line) {
  const std::vector<std::string_view> fields = SplitFields(line);
  // id, parent, major:minor, root, mount point, options, optional fields..., "-", type, source,
  // super options.
  const auto dash = std::find(fields.begin(), fields.end(), std::string_view("-"));
  if (dash == fields.end() || dash - fields.begin() < 6 || fields.end() - dash < 3)
    return std::nullopt;
  MountEntry entry;
  const std::string_view device = fields[2];
  const size_t colon = device.find(':');
  if (colon == std::string_view::npos || !ParseUnsigned(device.substr(0, colon), &entry.major) ||
      !ParseUnsigned(device.substr(colon + 1), &entry.minor))
    return std::nullopt;
  entry.root = Unescape(fields[3]);
  entry.mountPoint = Unescape(fields[4]);
  entry.fsType = Unescape(dash[1]);
  entry.source = Unescape(dash[2]);
  if (fields.end() - dash > 3) entry.superOptions = Unescape(dash[3]);
  if (entry.mountPoint.empty() || entry.mountPoint.front() != '/') return std::nullopt;
  return entry;
}

bool IsUnder(const std::string& path, std::string_view dir) {
  return path == dir || (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
                         path[dir.size()] == '/');
}

bool IsOneOf(const std::string& value, std::initializer_list<std::string_view> list) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

bool IsPseudoType(const std::string& type) {
  return IsOneOf(
      type,
      {"proc",       "sysfs",       "devtmpfs",   "devpts",        "cgroup",          "cgroup2",
       "securityfs", "debugfs",     "tracefs",    "mqueue",        "hugetlbfs",       "pstore",
       "bpf",        "configfs",    "fusectl",    "binfmt_misc",   "autofs",          "squashfs",
       "overlay",    "nsfs",        "efivarfs",   "rpc_pipefs",    "selinuxfs",       "nfsd",
       "xenfs",      "fuse.portal", "fuse.lxcfs", "fuse.snapfuse", "fuse.gvfsd-fuse", "devfs",
       "sockfs",     "pipefs"});
}

bool IsSystemPath(const std::string& path) {
  if (IsUnder(path, "/run/media")) return false;
  for (const std::string_view dir : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot/efi"})
    if (IsUnder(path, dir)) return true;
  return false;
}

bool IsRemoteType(const std::string& type) {
  return IsOneOf(type, {"nfs",
                        "nfs4",
                        "cifs",
                        "smb3",
                        "smbfs",
                        "ncpfs",
                        "fuse.sshfs",
                        "sshfs",
                        "9p",
                        "virtiofs",
                        "ceph",
                        "glusterfs",
                        "fuse.glusterfs",
                        "afs",
                        "davfs",
                        "fuse.davfs",
                        "fuse.rclone",
                        "fuse.s3fs",
                        "fuse.gcsfuse",
                        "lustre",
                        "vboxsf",
                        "fuse.vmhgfs-fuse",
                        "coda"});
}

int KindOf(const MountEntry& m, const std::function<bool(const std::string&)>& isRemovable) {
  if (IsOneOf(m.fsType, {"iso9660", "udf"})) return DRIVE_CDROM;
  if (IsRemoteType(m.fsType)) return DRIVE_REMOTE;
  if (IsOneOf(m.fsType, {"tmpfs", "ramfs"})) return DRIVE_RAMDISK;
  if (IsUnder(m.mountPoint, "/media") || IsUnder(m.mountPoint, "/run/media") ||
      (isRemovable && isRemovable(m.source)))
    return DRIVE_REMOVABLE;
  return DRIVE_FIXED;
}

// The btrfs subvolume a mount shows ("subvol=/@home" among its super options), or "/".
std::string SubvolumeOf(const MountEntry& m) {
  if (m.fsType != "btrfs") return "/";
  size_t start = 0;
  const std::string& options = m.superOptions;
  while (start <= options.size()) {
    size_t end = options.find(',', start);
    if (end == std::string::npos) end = options.size();
    const std::string_view option(options.data() + start, end - start);
    if (option.substr(0, 7) == "subvol=") return std::string(option.substr(7));
    start = end + 1;
  }
  return "/";
}

// The mount's root within what it shows: "/" for a whole file system or a whole subvolume,
// anything else for a bind mount of a directory inside.
std::string RootWithinSubvolume(const MountEntry& m, const std::string& subvolume) {
  if (subvolume == "/" || subvolume.empty()) return m.root;
  if (m.root == subvolume) return "/";
  if (IsUnder(m.root, subvolume)) return m.root.substr(subvolume.size());
  return m.root;
}

// Order of the groups that receive letters.
int GroupOf(const std::string& mountPoint, int kind) {
  if (mountPoint == "/") return 0;
  switch (kind) {
    case DRIVE_FIXED:
      return 1;
    case DRIVE_RAMDISK:
      return 2;
    case DRIVE_REMOTE:
      return 3;
    case DRIVE_REMOVABLE:
      return 4;
    default:
      return 5;
  }
}

bool ParseKind(std::string_view text, int* kind) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static const std::array<std::pair<std::string_view, int>, 5> kinds = {{
      {"fixed", DRIVE_FIXED},
      {"removable", DRIVE_REMOVABLE},
      {"remote", DRIVE_REMOTE},
      {"ram", DRIVE_RAMDISK},
      {"cdrom", DRIVE_CDROM},
  }};
  for (const auto& [name, value] : kinds) {
    if (lower == name) {
      *kind = value;
      return true;
    }
  }
  return false;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

QByteArray ReadSmallFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QByteArray();
  return file.read(4096);
}

// /proc files report no size; readAll reads them to their end.
QByteArray ReadMountTable() {
  QFile file(QStringLiteral("/proc/self/mountinfo"));
  if (!file.open(QIODevice::ReadOnly)) return QByteArray();
  return file.readAll();
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> entries;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    if (std::optional<MountEntry> entry = ParseMountLine(text.substr(start, end - start)))
      entries.push_back(std::move(*entry));
    start = end + 1;
  }
  return entries;
}

std::vector<MountEntry> CurrentMountTable() {
  const QByteArray table = ReadMountTable();
  return ParseMountInfo(std::string_view(table.constData(), static_cast<size_t>(table.size())));
}

DriveMap::DriveMap(std::vector<Drive> drives) : drives_(std::move(drives)) {
  std::sort(drives_.begin(), drives_.end(),
            [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
}

int DriveMap::GetDriveType(char letter) const {
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  for (const Drive& d : drives_)
    if (d.letter == upper) return d.type;
  return DRIVE_NO_ROOT_DIR;
}

std::string DriveMap::RootOf(char letter) const {
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  for (const Drive& d : drives_)
    if (d.letter == upper) return d.root;
  return std::string();
}

const DriveMap& DriveMap::Current() {
  // The mount table is read once; an override is taken as it stands now, so a test (or an
  // embedding caller) that changes VANTREL_DRIVES sees its own map.
  const char* drives = std::getenv("VANTREL_DRIVES");
  if (!drives) {
    static const DriveMap mounted = [] {
      const QByteArray table = ReadMountTable();
      return BuildDriveMap(nullptr,
                           std::string_view(table.constData(), static_cast<size_t>(table.size())),
                           IsRemovableSource);
    }();
    return mounted;
  }
  static std::string overrideText;
  static DriveMap overridden;
  static bool built = false;
  if (!built || overrideText != drives) {
    overrideText = drives;
    overridden = BuildDriveMap(drives, std::string_view(), IsRemovableSource);
    built = true;
  }
  return overridden;
}

DriveMap ClassifyMounts(const std::vector<MountEntry>& mounts,
                        const std::function<bool(const std::string& source)>& isRemovable) {
  struct Candidate {
    int group;
    std::string mountPoint;
    int kind;
  };
  std::vector<Candidate> candidates;
  std::set<std::tuple<unsigned, unsigned, std::string>> seen;
  for (size_t i = 0; i < mounts.size(); ++i) {
    const MountEntry& m = mounts[i];
    const std::string subvolume = SubvolumeOf(m);
    if (RootWithinSubvolume(m, subvolume) != "/") continue;  // a bind mount of a directory
    if (!seen.insert({m.major, m.minor, subvolume}).second) continue;
    const bool hidden =
        std::any_of(mounts.begin() + static_cast<std::ptrdiff_t>(i) + 1, mounts.end(),
                    [&](const MountEntry& later) { return later.mountPoint == m.mountPoint; });
    if (hidden || IsPseudoType(m.fsType) || IsSystemPath(m.mountPoint)) continue;
    const int kind = KindOf(m, isRemovable);
    candidates.push_back({GroupOf(m.mountPoint, kind), m.mountPoint, kind});
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) {
                     return std::tie(a.group, a.mountPoint) < std::tie(b.group, b.mountPoint);
                   });
  std::vector<Drive> drives;
  char letter = 'C';
  for (const Candidate& c : candidates) {
    if (letter > 'Z') break;
    drives.push_back(Drive{letter++, c.kind, c.mountPoint});
  }
  return DriveMap(std::move(drives));
}

std::optional<DriveMap> ParseDrivesOverride(std::string_view text) {
  std::vector<Drive> drives;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view item = text.substr(start, end - start);
    start = end + 1;
    if (item.empty()) continue;
    // "L=kind:/directory"
    if (item.size() < 2 || item[1] != '=') return std::nullopt;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(item[0])));
    if (letter < 'A' || letter > 'Z') return std::nullopt;
    const std::string_view rest = item.substr(2);
    const size_t colon = rest.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    int kind = DRIVE_UNKNOWN;
    if (!ParseKind(rest.substr(0, colon), &kind)) return std::nullopt;
    const std::string_view dir = rest.substr(colon + 1);
    if (dir.empty() || dir.front() != '/') return std::nullopt;
    if (std::any_of(drives.begin(), drives.end(),
                    [&](const Drive& d) { return d.letter == letter; }))
      return std::nullopt;
    drives.push_back(Drive{letter, kind, WithoutTrailingSlashes(std::string(dir))});
  }
  return DriveMap(std::move(drives));
}

DriveMap BuildDriveMap(const char* drivesOverride, std::string_view mountInfo,
                       const std::function<bool(const std::string& source)>& isRemovable) {
  if (drivesOverride == nullptr) return ClassifyMounts(ParseMountInfo(mountInfo), isRemovable);
  if (std::optional<DriveMap> map = ParseDrivesOverride(drivesOverride)) return *map;
  std::fprintf(stderr, "vantrel: VANTREL_DRIVES cannot be parsed; no drive is listed\n");
  return DriveMap();
}

bool DrivesOverrideMalformed() {
  const char* drives = std::getenv("VANTREL_DRIVES");
  return drives != nullptr && !ParseDrivesOverride(drives).has_value();
}

bool IsRemovableSource(const std::string& source) {
  if (source.rfind("/dev/", 0) != 0) return false;
  // /dev/disk/by-uuid/... and /dev/mapper/... are links to the kernel's name.
  const QString device = QFileInfo(QFile::decodeName(source.c_str())).canonicalFilePath();
  if (device.isEmpty()) return false;
  const QString name = QFileInfo(device).fileName();
  QString sysDir = QFileInfo(QStringLiteral("/sys/class/block/") + name).canonicalFilePath();
  if (sysDir.isEmpty()) return false;
  if (QFileInfo::exists(sysDir + QStringLiteral("/partition")))
    sysDir = QFileInfo(sysDir).absolutePath();
  return ReadSmallFile(sysDir + QStringLiteral("/removable")).trimmed() == "1";
}

const std::vector<std::string>& CurrentMountPoints() {
  static const std::vector<std::string> points = [] {
    std::vector<std::string> result;
    for (MountEntry& m : CurrentMountTable()) result.push_back(std::move(m.mountPoint));
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
  }();
  return points;
}

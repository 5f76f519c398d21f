// The Delete command moving files to the trash: the home trash, a second volume's trashes, names
// a file manager must give back byte for byte, collisions, and a tree changed under it. What was
// written is read back, and restored, by an independent reader (Python's configparser and
// urllib.parse.unquote_to_bytes: tests/support/read_trashinfo.py).
#include "helper/Trash.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <regex>

#include "BtrfsImage.h"
#include "ChildProcess.h"
#include "ScanTestSupport.h"
#include "TestEnv.h"
#include "i18n/LanguageFile.h"
#include "platform/UniqueFd.h"
#include "scan/Deletion.h"

namespace {

std::string FromHex(std::string_view hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

struct TrashRecord {
  std::string name;  // in files/
  std::string path;  // the original place, absolute
  std::string date;
};

struct TrashReading {
  bool ok = false;
  std::string error;
  std::vector<TrashRecord> records;
};

// The independent reader on a trash folder (with its volume's mount point when its paths are
// relative); with restore it also puts every file back.
TrashReading ReadTrash(const std::string& trash, const std::string& topdir = {},
                       bool restore = false) {
  std::string command =
      "python3 '" VANTREL_SOURCE_DIR "/tests/support/read_trashinfo.py' '" + trash + "'";
  if (!topdir.empty()) command += " '" + topdir + "'";
  if (restore) command += " --restore";
  command += " 2>&1";
  TrashReading reading;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    reading.error = "python3 cannot be started";
    return reading;
  }
  std::string output;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int status = ::pclose(pipe);
  reading.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!reading.ok) {
    reading.error = "reader failed: " + output;
    return reading;
  }
  for (size_t start = 0; start < output.size();) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    const size_t first = line.find(' ');
    const size_t second = line.find(' ', first + 1);
    reading.records.push_back({FromHex(line.substr(0, first)),
                               FromHex(line.substr(first + 1, second - first - 1)),
                               line.substr(second + 1)});
  }
  return reading;
}

// The names in a folder, sorted; none when it is missing.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Content(const std::string& path) {
  std::string content;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[256];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) content.append(buffer, n);
    std::fclose(file);
  }
  return content;
}

mode_t Mode(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : " ") + name;
  return joined;
}

TEST(TrashNameTest, NumbersBeforeTheExtensionAndShortensAtACharacter) {
  const std::string umlauts = [] {
    std::string s;
    for (int i = 0; i < 125; ++i) s += "\xc3\xa4";
    return s;
  }();
  const struct {
    std::string name;
    unsigned attempt;
    std::string expected;
  } cases[] = {
      {"a.tmp", 1, "a.tmp"},
      {"a.tmp", 2, "a.2.tmp"},
      {"archive.tar.gz", 3, "archive.tar.3.gz"},
      {".bashrc", 2, ".bashrc.2"},
      {"noext", 2, "noext.2"},
      {"dot.", 2, "dot..2"},
      {"x.an-extension-too-long", 2, "x.an-extension-too-long.2"},
      {"new\nline\xff.tmp", 2, "new\nline\xff.2.tmp"},
      // 255 bytes: cut to 245 with the extension kept, and shorter still for the number.
      {std::string(251, 'x') + ".tmp", 1, std::string(241, 'x') + ".tmp"},
      {std::string(251, 'x') + ".tmp", 12, std::string(238, 'x') + ".12.tmp"},
      // The cut would fall inside an ä: the whole character goes.
      {umlauts + "y.tmp", 1, umlauts.substr(0, 240) + ".tmp"},
      // Bytes that are not UTF-8 are cut where the room ends.
      {std::string(300, '\xff'), 1, std::string(245, '\xff')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + " #" + std::to_string(c.attempt));
    EXPECT_EQ(TrashName(c.name, c.attempt, 245), c.expected);
  }
}

TEST(TrashNameTest, PathIsPercentEncodedAndDateIsLocalTime) {
  const struct {
    std::string path, encoded;
  } cases[] = {
      {"/home/u/a-b_c.d~/Z9.tmp", "/home/u/a-b_c.d~/Z9.tmp"},
      {"/tmp/a b", "/tmp/a%20b"},
      {"/x/b\xff\n.tmp", "/x/b%FF%0A.tmp"},
      {"/x/100%.tmp", "/x/100%25.tmp"},
      {"/x/\xc3\xa4=[]#?", "/x/%C3%A4%3D%5B%5D%23%3F"},
      {"sub/rel.tmp", "sub/rel.tmp"},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeTrashPath(c.path), c.encoded) << c.path;

  TestEnv env;
  env.SetEnv("TZ", "UTC");
  ::tzset();
  EXPECT_EQ(TrashDate(0), "1970-01-01T00:00:00");
  EXPECT_EQ(TrashDate(1700000000), "2023-11-14T22:13:20");
  env.SetEnv("TZ", "Europe/Berlin");
  ::tzset();
  EXPECT_EQ(TrashDate(1700000000), "2023-11-14T23:13:20");
  ::unsetenv("TZ");
  ::tzset();
}

class TrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = Bytes(env.Root());
    drive = root + "/drive";
    MakeDir(drive);
    env.SetEnv("XDG_DATA_HOME", QByteArray::fromStdString(root + "/data"));
    trash = root + "/data/Trash";
  }

  // Makes each file (and its folders) below the drive, its content its own relative path, and
  // lists it ticked.
  void List(const std::vector<std::string>& relatives) {
    for (const std::string& relative : relatives) {
      const std::string path = drive + "/" + relative;
      for (size_t slash = path.find('/', drive.size() + 1); slash != std::string::npos;
           slash = path.find('/', slash + 1)) {
        if (!Exists(path.substr(0, slash))) MakeDir(path.substr(0, slash));
      }
      MakeFile(path, relative);
      list.Append(EntryFor(list, drive, relative));
    }
    list.SetAllChecked(true);
  }
  DeletionResult Trash() { return DeleteTickedEntries(list, view, language, {}, Removal::Trash); }

  TestEnv env;
  std::string root;
  std::string drive;
  std::string trash;
  TResultList list;
  RecordingDeletionView view;
  TLanguageFile language;
};

struct HomeTrashCase {
  const char* name;
  const char* dataHome;  // nullptr: unset; "/..." below the test's root; otherwise as it stands
  const char* trash;     // below the test's root
};

const HomeTrashCase kHomeTrash[] = {
    {"XdgDataHome", "/data", "/data/Trash"},
    {"DefaultBelowHome", nullptr, "/home/.local/share/Trash"},
    {"RelativeXdgDataHomeIsIgnored", "relative/data", "/home/.local/share/Trash"},
};

void PrintTo(const HomeTrashCase& c, std::ostream* os) {
  *os << c.name;
}

class HomeTrashTest : public TrashTest, public ::testing::WithParamInterface<HomeTrashCase> {};

TEST_P(HomeTrashTest, FilesOfItsFileSystemGoThereAndComeBack) {
  const HomeTrashCase& c = GetParam();
  if (c.dataHome == nullptr)
    ::unsetenv("XDG_DATA_HOME");
  else
    env.SetEnv("XDG_DATA_HOME",
               QByteArray(c.dataHome[0] == '/' ? (root + c.dataHome).c_str() : c.dataHome));
  trash = root + c.trash;
  List({"a.tmp", "sub/b.tmp"});
  const std::string before = TrashDate(std::time(nullptr));
  const DeletionResult result = Trash();
  const std::string after = TrashDate(std::time(nullptr));

  // The summary's numbers and the bar are a deletion's.
  EXPECT_EQ(result.deleted, 2);
  EXPECT_TRUE(result.marked.isEmpty());
  EXPECT_EQ(view.positions, std::vector<int>({50, 100}));
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_FALSE(Exists(drive + "/a.tmp"));
  EXPECT_FALSE(Exists(drive + "/sub/b.tmp"));
  EXPECT_EQ(FilesIn(trash + "/files"), std::vector<std::string>({"a.tmp", "b.tmp"}));
  EXPECT_EQ(Content(trash + "/files/b.tmp"), "sub/b.tmp");
  EXPECT_EQ(Mode(trash), 0700u);
  EXPECT_EQ(Mode(trash + "/files"), 0700u);
  EXPECT_EQ(Mode(trash + "/info"), 0700u);
  EXPECT_EQ(Mode(trash + "/info/a.tmp.trashinfo"), 0600u);
  EXPECT_TRUE(Content(trash + "/info/b.tmp.trashinfo")
                  .starts_with("[Trash Info]\nPath=" + drive + "/sub/b.tmp\nDeletionDate="));

  TrashReading reading = ReadTrash(trash);
  ASSERT_TRUE(reading.ok) << reading.error;
  ASSERT_EQ(reading.records.size(), 2u);
  EXPECT_EQ(reading.records[0].name, "a.tmp");
  EXPECT_EQ(reading.records[0].path, drive + "/a.tmp");
  EXPECT_EQ(reading.records[1].path, drive + "/sub/b.tmp");
  const std::regex date("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d");
  for (const TrashRecord& record : reading.records) {
    EXPECT_TRUE(std::regex_match(record.date, date)) << record.date;
    EXPECT_TRUE(before <= record.date && record.date <= after) << record.date;
  }

  reading = ReadTrash(trash, {}, true);
  ASSERT_TRUE(reading.ok) << reading.error;
  EXPECT_EQ(Content(drive + "/a.tmp"), "a.tmp");
  EXPECT_EQ(Content(drive + "/sub/b.tmp"), "sub/b.tmp");
  EXPECT_TRUE(FilesIn(trash + "/files").empty());
  EXPECT_TRUE(FilesIn(trash + "/info").empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, HomeTrashTest, ::testing::ValuesIn(kHomeTrash),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrashTest, HostileNamesAreEncodedShortenedAndRestoredByteForByte) {
  std::string umlauts;
  for (int i = 0; i < 125; ++i) umlauts += "\xc3\xa4";
  const std::vector<std::string> names = {"b\xff.tmp", "new\nline.tmp", "100% sure.tmp",
                                          std::string(251, 'x') + ".tmp", umlauts + "y.tmp"};
  std::vector<std::string> relatives;
  for (const std::string& name : names) relatives.push_back("odd dir/" + name);
  List(relatives);
  EXPECT_EQ(Trash().deleted, 5);

  TrashReading reading = ReadTrash(trash);
  ASSERT_TRUE(reading.ok) << reading.error;
  std::vector<std::pair<std::string, std::string>> stored;  // original name, name in the trash
  for (const TrashRecord& record : reading.records) {
    EXPECT_LE(record.name.size() + 10, 255u);
    stored.emplace_back(record.path.substr(record.path.rfind('/') + 1), record.name);
    EXPECT_EQ(record.path.substr(0, record.path.rfind('/')), drive + "/odd dir");
  }
  std::sort(stored.begin(), stored.end());
  EXPECT_EQ(stored, (std::vector<std::pair<std::string, std::string>>{
                        {"100% sure.tmp", "100% sure.tmp"},
                        {"b\xff.tmp", "b\xff.tmp"},
                        {"new\nline.tmp", "new\nline.tmp"},
                        {std::string(251, 'x') + ".tmp", std::string(241, 'x') + ".tmp"},
                        {umlauts + "y.tmp", umlauts.substr(0, 240) + ".tmp"},
                    }));
  // Nothing but the encoded form reaches the file: one line per key.
  EXPECT_TRUE(Content(trash + "/info/new\nline.tmp.trashinfo")
                  .starts_with("[Trash Info]\nPath=" + drive + "/odd%20dir/new%0Aline.tmp\n"));

  reading = ReadTrash(trash, {}, true);
  ASSERT_TRUE(reading.ok) << reading.error;
  for (const std::string& relative : relatives)
    EXPECT_EQ(Content(drive + "/" + relative), relative) << relative;
  EXPECT_TRUE(FilesIn(trash + "/files").empty());
}

TEST_F(TrashTest, CollisionsAreNumberedAndNothingInTheTrashIsReplaced) {
  MakeDir(root + "/data");
  MakeDir(trash);
  MakeDir(trash + "/files");
  MakeDir(trash + "/info");
  MakeFile(trash + "/files/a.3.tmp", "orphan");                   // a file without its info
  MakeFile(trash + "/info/a.4.tmp.trashinfo", "[Trash Info]\n");  // an info without its file
  List({"d1/a.tmp", "d2/a.tmp", "d3/a.tmp", "d4/a.tmp", "d5/.bashrc", "d6/.bashrc"});
  EXPECT_EQ(Trash().deleted, 6);

  // Handled from the bottom of the list: d6 first.
  EXPECT_EQ(FilesIn(trash + "/files"),
            std::vector<std::string>(
                {".bashrc", ".bashrc.2", "a.2.tmp", "a.3.tmp", "a.5.tmp", "a.6.tmp", "a.tmp"}));
  EXPECT_EQ(Content(trash + "/files/a.tmp"), "d4/a.tmp");
  EXPECT_EQ(Content(trash + "/files/a.2.tmp"), "d3/a.tmp");
  EXPECT_EQ(Content(trash + "/files/a.3.tmp"), "orphan");
  EXPECT_EQ(Content(trash + "/files/a.5.tmp"), "d2/a.tmp");
  EXPECT_EQ(Content(trash + "/files/a.6.tmp"), "d1/a.tmp");
  EXPECT_EQ(Content(trash + "/files/.bashrc.2"), "d5/.bashrc");
  EXPECT_EQ(Content(trash + "/info/a.4.tmp.trashinfo"), "[Trash Info]\n");
  EXPECT_FALSE(Exists(trash + "/info/a.3.tmp.trashinfo"));  // made, then taken back
  EXPECT_TRUE(Content(trash + "/info/a.5.tmp.trashinfo")
                  .starts_with("[Trash Info]\nPath=" + drive + "/d2/a.tmp\n"));
}

TEST_F(TrashTest, FolderSwappedForALinkTrashesNothingOutside) {
  List({"d/a.tmp"});
  const std::string victim = root + "/victim";
  MakeDir(victim);
  ASSERT_EQ(::link((drive + "/d/a.tmp").c_str(), (victim + "/a.tmp").c_str()), 0);
  ASSERT_EQ(::rename((drive + "/d").c_str(), (drive + "/d.moved").c_str()), 0);
  MakeLink(victim, drive + "/d");
  const DeletionResult result = Trash();
  EXPECT_EQ(result.deleted, 0);
  EXPECT_EQ(Texts(list),
            QStringList({QString::fromStdString(drive + "/d/a.tmp") + " (Cannot delete file)"}));
  EXPECT_TRUE(Exists(victim + "/a.tmp"));
  EXPECT_TRUE(Exists(drive + "/d.moved/a.tmp"));
  EXPECT_TRUE(FilesIn(trash + "/files").empty());
  EXPECT_TRUE(FilesIn(trash + "/info").empty());
}

// A data folder with a file in its place holds no trash: the files of its file system stay where
// they are, and no volume's trash takes them instead.
TEST_F(TrashTest, HomeTrashThatCannotBeMadeLeavesTheFile) {
  MakeFile(root + "/data", "");
  env.SetEnv("XDG_DATA_HOME", QByteArray::fromStdString(root + "/data"));
  List({"a.tmp"});
  const DeletionResult result = Trash();
  EXPECT_EQ(result.deleted, 0);
  EXPECT_EQ(result.marked.size(), 1);
  EXPECT_EQ(Content(drive + "/a.tmp"), "a.tmp");
}

TEST_F(TrashTest, FileInATrashAlreadyStaysWhereItIs) {
  drive = root + "/data";
  MakeDir(drive);
  List({"Trash/files/x.tmp", "Trash/info/x.tmp.trashinfo"});
  EXPECT_EQ(Trash().deleted, 0);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(FilesIn(trash + "/files"), std::vector<std::string>({"x.tmp"}));
  EXPECT_EQ(FilesIn(trash + "/info"), std::vector<std::string>({"x.tmp.trashinfo"}));
}

TEST_F(TrashTest, FailedRenameTakesItsTrashInfoBack) {
  const std::string area = SharedArea(root);
  const ChildResult child = RunInChild([&] {
    if (!DropToNobody()) return std::string("skip: cannot become nobody");
    ::setenv("XDG_DATA_HOME", (area + "/data").c_str(), 1);
    trash = area + "/data/Trash";
    drive = area + "/drive";
    MakeDir(drive);
    List({"locked/a.tmp", "open/b.tmp"});
    ::chmod((drive + "/locked").c_str(), 0555);
    const DeletionResult result = Trash();
    ::chmod((drive + "/locked").c_str(), 0755);
    return "deleted " + std::to_string(result.deleted) + " marked " +
           std::to_string(result.marked.size()) + " left " +
           std::to_string(Exists(drive + "/locked/a.tmp")) + " files " +
           Joined(FilesIn(trash + "/files")) + " info " + Joined(FilesIn(trash + "/info"));
  });
  if (child.report.starts_with("skip:")) GTEST_SKIP() << child.report;
  EXPECT_EQ(child.report, "deleted 1 marked 1 left 1 files b.tmp info b.tmp.trashinfo");
}

// Deeper than PATH_MAX: moved from its checked folder as any other, Path= the whole path.
TEST_F(TrashTest, FileBelowAPathLongerThanPathMaxIsTrashed) {
  std::string relative;
  UniqueFd fd(::open(drive.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  for (char letter = 'a'; relative.size() <= PATH_MAX; ++letter) {
    const std::string name(200, letter);
    ASSERT_EQ(::mkdirat(fd.Get(), name.c_str(), 0755), 0);
    fd = UniqueFd(::openat(fd.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    relative += name + '/';
  }
  struct stat st {};
  ASSERT_EQ(::close(::openat(fd.Get(), "deep.tmp", O_WRONLY | O_CREAT | O_CLOEXEC, 0644)), 0);
  ASSERT_EQ(::fstatat(fd.Get(), "deep.tmp", &st, 0), 0);
  ResultEntry entry;
  entry.path = list.StorePath(drive + '/' + relative, "deep.tmp");
  entry.device = static_cast<quint32>(st.st_dev);
  entry.inode = st.st_ino;
  entry.relativeStart = static_cast<quint32>(drive.size() + 1);
  list.Append(entry);
  list.SetAllChecked(true);
  EXPECT_EQ(Trash().deleted, 1);
  EXPECT_EQ(FilesIn(trash + "/files"), std::vector<std::string>({"deep.tmp"}));
  EXPECT_TRUE(
      Content(trash + "/info/deep.tmp.trashinfo")
          .starts_with("[Trash Info]\nPath=" + EncodeTrashPath(std::string(entry.path.View())) +
                       "\nDeletionDate="));
  EXPECT_NE(::fstatat(fd.Get(), "deep.tmp", &st, 0), 0);
  ASSERT_EQ(std::system(("rm -rf '" + drive + "/" + std::string(200, 'a') + "'").c_str()), 0);
}

// A second volume: a tmpfs mounted by the test (root only) in a private mount namespace of a
// child, laid out as each case says before a file on it is trashed.
struct VolumeCase {
  const char* name;
  void (*prepare)(const std::string& volume);
  const char* expected;  // VOL stands for the volume's mount point
};

void MakeDirWithMode(const std::string& path, mode_t mode) {
  MakeDir(path);
  ::chmod(path.c_str(), mode);
}

// The home trash on the volume: its folder `part` a link elsewhere, or Trash a plain file.
void BreakHomeTrash(const std::string& v, const std::string& part) {
  ::setenv("XDG_DATA_HOME", (v + "/data").c_str(), 1);
  MakeDir(v + "/elsewhere");
  MakeDir(v + "/data");
  if (part.empty()) return MakeFile(v + "/data/Trash", "x");
  MakeDir(v + "/data/Trash");
  MakeLink("../../elsewhere", v + "/data/Trash/" + part);
}

const VolumeCase kVolumes[] = {
    {"NoSharedTrash", [](const std::string&) {},
     "deleted 1 | top .Trash-0 sub | trash .Trash-0 700 | files a.tmp | path sub/a.tmp | "
     "restored sub/a.tmp"},
    {"StickySharedTrash", [](const std::string& v) { MakeDirWithMode(v + "/.Trash", 01777); },
     "deleted 1 | top .Trash sub | trash .Trash/0 700 | files a.tmp | path sub/a.tmp | "
     "restored sub/a.tmp"},
    {"SharedTrashWithoutStickyBit",
     [](const std::string& v) { MakeDirWithMode(v + "/.Trash", 0777); },
     "deleted 1 | top .Trash .Trash-0 sub | trash .Trash-0 700 | files a.tmp | path sub/a.tmp | "
     "restored sub/a.tmp"},
    {"SharedTrashIsALink",
     [](const std::string& v) {
       MakeDirWithMode(v + "/real", 01777);
       MakeLink("real", v + "/.Trash");
     },
     "deleted 1 | top .Trash .Trash-0 real sub | trash .Trash-0 700 | files a.tmp | "
     "path sub/a.tmp | restored sub/a.tmp"},
    {"SharedFolderOfAnotherUser",
     [](const std::string& v) {
       MakeDirWithMode(v + "/.Trash", 01777);
       MakeDir(v + "/.Trash/0");
       ::chown((v + "/.Trash/0").c_str(), kNobody, kNobody);
     },
     "deleted 1 | top .Trash .Trash-0 sub | trash .Trash-0 700 | files a.tmp | path sub/a.tmp | "
     "restored sub/a.tmp"},
    // No usable trash on the volume: the file is never copied elsewhere.
    {"OwnTrashIsALink",
     [](const std::string& v) {
       MakeDir(v + "/elsewhere");
       MakeLink("elsewhere", v + "/.Trash-0");
     },
     "deleted 0 | top .Trash-0 elsewhere sub | left VOL/sub/a.tmp (Cannot delete file)"},
    {"OwnTrashOfAnotherUser",
     [](const std::string& v) {
       MakeDir(v + "/.Trash-0");
       ::chown((v + "/.Trash-0").c_str(), kNobody, kNobody);
     },
     "deleted 0 | top .Trash-0 sub | left VOL/sub/a.tmp (Cannot delete file)"},
    {"OwnTrashOpenToOthers", [](const std::string& v) { MakeDirWithMode(v + "/.Trash-0", 0777); },
     "deleted 0 | top .Trash-0 sub | left VOL/sub/a.tmp (Cannot delete file)"},
    // The home trash on this volume but unusable: the volume's trash is for other volumes.
    {"HomeTrashFilesIsALink", [](const std::string& v) { BreakHomeTrash(v, "files"); },
     "deleted 0 | top data elsewhere sub | left VOL/sub/a.tmp (Cannot delete file)"},
    {"HomeTrashInfoIsALink", [](const std::string& v) { BreakHomeTrash(v, "info"); },
     "deleted 0 | top data elsewhere sub | left VOL/sub/a.tmp (Cannot delete file)"},
    {"HomeTrashIsAPlainFile", [](const std::string& v) { BreakHomeTrash(v, ""); },
     "deleted 0 | top data elsewhere sub | left VOL/sub/a.tmp (Cannot delete file)"},
};

void PrintTo(const VolumeCase& c, std::ostream* os) {
  *os << c.name;
}

class VolumeTrashTest : public TrashTest, public ::testing::WithParamInterface<VolumeCase> {};

TEST_P(VolumeTrashTest, FileOnAnotherVolumeUsesThatVolumesTrash) {
  const std::string volume = root + "/vol";
  MakeDir(volume);
  const ChildResult child = RunInChild([&] {
    if (::getuid() != 0 || ::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", volume.c_str(), "tmpfs", 0, "size=1m,mode=0755") != 0)
      return std::string("skip: no private mount namespace here");
    GetParam().prepare(volume);
    drive = volume;
    List({"sub/a.tmp"});
    const DeletionResult result = Trash();
    std::string report =
        "deleted " + std::to_string(result.deleted) + " | top " + Joined(FilesIn(volume));
    if (result.deleted == 0) {
      report += " | left " + Texts(list).join(u'|').toStdString();
      if (!Exists(volume + "/sub/a.tmp")) report += " | the file is gone";
      if (!FilesIn(volume + "/elsewhere").empty()) report += " | put elsewhere";
    }
    for (const char* place : {"/.Trash/0", "/.Trash-0"}) {
      const std::string folder = volume + place;
      if (Mode(folder + "/files") == 0) continue;
      char mode[8];
      std::snprintf(mode, sizeof mode, "%o", Mode(folder));
      report += std::string(" | trash ") + (place + 1) + " " + mode + " | files " +
                Joined(FilesIn(folder + "/files"));
      // As stored: relative to the volume's mount point.
      const std::string info = Content(folder + "/info/a.tmp.trashinfo");
      const size_t path = info.find("Path=") + 5;
      report += " | path " + info.substr(path, info.find('\n', path) - path);
      const TrashReading reading = ReadTrash(folder, volume, true);
      if (!reading.ok) return report + " | " + reading.error;
      if (reading.records.size() != 1 || reading.records[0].path != volume + "/sub/a.tmp")
        report += " | read back wrong";
      report += " | restored " + Content(volume + "/sub/a.tmp");
    }
    if (!FilesIn(volume + "/real").empty()) report += " | the link was followed";
    ::umount(volume.c_str());
    std::string shown = report;
    for (size_t at; (at = shown.find(volume)) != std::string::npos;)
      shown.replace(at, volume.size(), "VOL");
    return shown;
  });
  if (child.report.starts_with("skip:")) GTEST_SKIP() << child.report;
  EXPECT_EQ(child.report, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, VolumeTrashTest, ::testing::ValuesIn(kVolumes),
                         [](const auto& info) { return std::string(info.param.name); });

// btrfs: a subvolume that is not mounted has a device number that no mount has, and a file
// in it cannot be renamed out of it. Its volume is still found by path; as no trash on its file
// system can take the file, it stays. A mounted subvolume has a trash of its own.
TEST_F(TrashTest, BtrfsSubvolumeFilesStayAndAMountedSubvolumeHasItsOwnTrash) {
  const std::string image = root + "/btrfs.img";
  if (const std::string why = MakeBtrfsImage(image); !why.empty()) GTEST_SKIP() << why;
  const ChildResult child = RunInChild(
      [&] {
        if (std::string skip = MountBtrfsImage(image, drive); !skip.empty()) return skip;
        MakeDir(drive + "/mp");
        if (!MakeSubvolume(drive + "/sub") || !MakeSubvolume(drive + "/other") ||
            !MountSubvolume(drive, "other", drive + "/mp"))
          return std::string("setup failed");
        List({"a.tmp", "sub/b.tmp", "mp/c.tmp"});
        const DeletionResult result = Trash();
        std::string report = "deleted " + std::to_string(result.deleted) + " | left " +
                             Texts(list).join(u'|').toStdString().substr(drive.size());
        for (const char* place : {"/.Trash-0", "/sub/.Trash-0", "/mp/.Trash-0"}) {
          const std::string info =
              Content(drive + place + "/info/" + Joined(FilesIn(drive + place + "/info")));
          if (!info.empty())
            report += std::string(" | ") + place + " " + info.substr(13, info.find('\n', 13) - 13);
        }
        ::umount((drive + "/mp").c_str());
        ::umount(drive.c_str());
        return report;
      },
      std::chrono::seconds(120));
  if (child.report.starts_with("skip:")) GTEST_SKIP() << child.report;
  EXPECT_EQ(child.report,
            "deleted 2 | left /sub/b.tmp (Cannot delete file) | /.Trash-0 Path=a.tmp | "
            "/mp/.Trash-0 Path=c.tmp");
}

}  // namespace

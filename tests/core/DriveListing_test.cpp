// What `--list-drives` prints, in the labels of the chosen language, and when it refuses.
#include "app/DriveListing.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include "TestEnv.h"
#include "i18n/LanguageFile.h"
#include "platform/DriveMap.h"

namespace {

struct ListingCase {
  const char* name;
  std::vector<Drive> drives;
  QString languageValue;  // the settings' Language value; empty: no language file
  QString expected;
};

TEST(DriveListingTest, OneLineADriveInLetterOrderWithTheWindowsLabels) {
  TestEnv env;
  env.WriteFile(QStringLiteral("Language/Deutsch.lng"),
                "[Main]\nFixed=Festplatte\nRemovable=Wechseldatentr\xc3\xa4ger\nRAM=\n");
  const std::vector<ListingCase> cases = {
      {"every kind, CD-ROM left out like in the window",
       {{'E', DRIVE_REMOVABLE, "/media/stick"},
        {'C', DRIVE_FIXED, "/"},
        {'D', DRIVE_CDROM, "/mnt/cdrom"},
        {'F', DRIVE_REMOTE, "/mnt/nas"},
        {'G', DRIVE_RAMDISK, "/tmp"}},
       {},
       "C: Hard Drive /\nE: Removable Drive /media/stick\nF: Remote Drive /mnt/nas\n"
       "G: RAM Drive /tmp\n"},
      {"no drive at all", {}, {}, ""},
      {"the chosen language's labels; one it leaves empty stays empty, as in the window",
       {{'C', DRIVE_FIXED, "/"},
        {'E', DRIVE_REMOVABLE, "/media/stick"},
        {'H', DRIVE_RAMDISK, "/dev/shm"},
        {'I', DRIVE_REMOTE, "/net"}},
       "Deutsch.lng",
       QString::fromUtf8("C: Festplatte /\nE: Wechseldatentr\xc3\xa4ger /media/stick\n"
                         "H:  /dev/shm\nI: Remote Drive /net\n")},
      {"a directory name that could fake a second line is escaped",
       {{'C', DRIVE_FIXED, "/srv/a\nD: Hard Drive /etc"}, {'E', DRIVE_FIXED, "/srv/b\xff\x1b[31m"}},
       {},
       "C: Hard Drive /srv/a\\nD: Hard Drive /etc\nE: Hard Drive /srv/b\\xff\\x1b[31m\n"},
  };
  for (const ListingCase& c : cases) {
    TLanguageFile language;
    language.SetPath(kLanguageDir + u'/' + c.languageValue);
    EXPECT_EQ(DriveListingText(DriveMap(c.drives), language).toStdString(),
              c.expected.toStdString())
        << c.name;
  }
}

TEST(DriveListingTest, ListDrivesTakesTheLanguageFromTheSettingsWithoutWritingThem) {
  TestEnv env;
  env.SetEnv("VANTREL_DRIVES", "c=fixed:/srv/data/;E=removable:/media/stick;D=cdrom:/mnt/cd");
  DriveListing listing = ListDrives();
  EXPECT_EQ(listing.status, 0);
  EXPECT_EQ(listing.out, "C: Hard Drive /srv/data\nE: Removable Drive /media/stick\n");
  EXPECT_EQ(listing.err, "");
  EXPECT_FALSE(QFileInfo::exists(env.RegistryFile())) << "a listing must not create the settings";

  env.WriteFile(QStringLiteral("Language/Deutsch.lng"), "[Main]\nFixed=Festplatte\n");
  env.WriteFile(env.RegistryFile(),
                "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"Language\": \"Deutsch.lng\"}}");
  listing = ListDrives();
  EXPECT_EQ(listing.out, "C: Festplatte /srv/data\nE: Removable Drive /media/stick\n");
}

struct RefusalCase {
  const char* name;
  QByteArray drives;
  QByteArray settings;
  QString err;
};

TEST(DriveListingTest, UnreadableMapOrSettingsAreAnErrorNotAnEmptyList) {
  const std::vector<RefusalCase> cases = {
      {"a map that cannot be parsed",
       "C=fixed:/srv;E=floppy:/mnt/a\n",
       {},
       "vantrel: VANTREL_DRIVES cannot be parsed: C=fixed:/srv;E=floppy:/mnt/a\\n\n"},
      {"a language value that is not a text", "C=fixed:/",
       "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"Language\": 7}}",
       "vantrel: Invalid data type for 'Language'\n"},
  };
  for (const RefusalCase& c : cases) {
    TestEnv env;
    env.SetEnv("VANTREL_DRIVES", c.drives);
    if (!c.settings.isEmpty()) env.WriteFile(env.RegistryFile(), c.settings);
    const DriveListing listing = ListDrives();
    EXPECT_EQ(listing.status, 1) << c.name;
    EXPECT_EQ(listing.out, "") << c.name;
    EXPECT_EQ(listing.err, c.err) << c.name;
  }
}

}  // namespace

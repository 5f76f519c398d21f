#pragma once

#include <QString>

#include "i18n/Catalogue.h"

class DriveMap;
class TLanguageFile;

// The label a drive kind is listed under, or nullptr for the kinds that get no entry (CD-ROM,
// unknown, unmapped).
const CatalogueText* DriveKindText(int driveType);

// One line a listed drive, in letter order: "C: Hard Drive /" (letter, colon, the kind label as
// the main window shows it, the mapped directory escaped like every printed path).
QString DriveListingText(const DriveMap& drives, const TLanguageFile& language);

struct DriveListing {
  int status = 0;  // 0, or 1 when the drive map or the settings cannot be read
  QString out;
  QString err;
};

// What `--list-drives` prints: the drive map of this process (VANTREL_DRIVES or the mount table)
// with the labels of the chosen language file in the working directory. Reads the settings
// without creating them, and needs no display.
DriveListing ListDrives();

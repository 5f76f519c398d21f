#include "app/DriveListing.h"

#include <cstdlib>
#include <string_view>

#include "i18n/LanguageFile.h"
#include "platform/DriveMap.h"
#include "platform/Errors.h"
#include "platform/TextCodec.h"
#include "settings/Registry.h"

const CatalogueText* DriveKindText(int driveType) {
  switch (driveType) {
    case DRIVE_REMOVABLE:
      return &Txt::Main_Removable;
    case DRIVE_FIXED:
      return &Txt::Main_Fixed;
    case DRIVE_REMOTE:
      return &Txt::Main_Remote;
    case DRIVE_RAMDISK:
      return &Txt::Main_RAM;
    default:
      return nullptr;
  }
}

QString DriveListingText(const DriveMap& drives, const TLanguageFile& language) {
  QString text;
  for (const Drive& drive : drives.Drives()) {
    const CatalogueText* kind = DriveKindText(drive.type);
    if (!kind) continue;
    text += QChar(drive.letter) + QStringLiteral(": ") + Tr(language, *kind) + u' ' +
            DisplayPath(drive.root.data(), drive.root.size()) + u'\n';
  }
  return text;
}

DriveListing ListDrives() {
  DriveListing listing;
  const char* drivesOverride = std::getenv("VANTREL_DRIVES");
  // A map that cannot be parsed is an error here, not an empty list: a script that takes its
  // letters from this output must not mistake a typing error for a machine without drives.
  if (drivesOverride && !ParseDrivesOverride(drivesOverride)) {
    const std::string_view text(drivesOverride);
    listing.err = QStringLiteral("vantrel: VANTREL_DRIVES cannot be parsed: ") +
                  DisplayPath(text.data(), text.size()) + u'\n';
    listing.status = 1;
    return listing;
  }
  try {
    // The language the main window would open, found without creating the options key: a
    // listing (run by a shell's completion, say) must not leave a settings file behind.
    TRegistry registry;
    TLanguageFile language;
    language.OpenLanguageFile(registry, false);
    listing.out = DriveListingText(DriveMap::Current(), language);
  } catch (const EVantrelError& e) {
    listing.err = QStringLiteral("vantrel: ") + e.Message() + u'\n';
    listing.status = 1;
  }
  return listing;
}

#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

// What the program's version record holds for the about window: the FileVersion string and the
// four numbers of the fixed part (major, minor, release, build).
struct TVersionRecord {
  QString fileVersion;
  std::array<std::uint16_t, 4> fixedFileVersion{};
};

// The running program's record, compiled in from the project's version.
std::optional<TVersionRecord> ProgramVersionRecord();

// The version text: no record gives the empty text; otherwise the FileVersion string, or, when
// that is empty, the fixed numbers written "%d.%d.%d.%d".
QString GetFileVersionText(const std::optional<TVersionRecord>& record);

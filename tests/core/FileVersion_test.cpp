#include "about/FileVersion.h"

#include <gtest/gtest.h>

TEST(FileVersion, TextFromTheRecord) {
  struct Case {
    const char* what;
    std::optional<TVersionRecord> record;
    QString text;
  };
  const Case cases[] = {
      {"no record", std::nullopt, ""},
      {"the FileVersion string", TVersionRecord{"3.1 beta", {2, 0, 1, 7}}, "3.1 beta"},
      {"fixed numbers when the string is empty", TVersionRecord{"", {2, 0, 1, 7}}, "2.0.1.7"},
      {"numbers up to 65535", TVersionRecord{"", {65535, 10, 0, 100}}, "65535.10.0.100"},
  };
  for (const Case& c : cases) EXPECT_EQ(GetFileVersionText(c.record), c.text) << c.what;
}

TEST(FileVersion, ProgramRecordCarriesTheProjectVersion) {
  const std::optional<TVersionRecord> record = ProgramVersionRecord();
  ASSERT_TRUE(record);
  EXPECT_EQ(record->fileVersion, "1.5.0.42");
  EXPECT_EQ(record->fixedFileVersion, (std::array<std::uint16_t, 4>{1, 5, 0, 42}));
  EXPECT_EQ(GetFileVersionText(TVersionRecord{"", record->fixedFileVersion}), "1.5.0.42");
}

#include "platform/TextCodec.h"

#include <gtest/gtest.h>

#include <string>

#include "TestEnv.h"

namespace {

TEST(DecodeText, ValidUtf8IsReadAsUtf8WhateverTheCodePage) {
  TestEnv env;
  env.SetEnv("VANTREL_CODEPAGE", "windows-1251");
  EXPECT_EQ(DecodeText("caf\xC3\xA9 \xE2\x82\xAC"), QString::fromUtf8("café €"));
}

TEST(DecodeText, Utf8ByteOrderMarkIsSkipped) {
  TestEnv env;
  EXPECT_EQ(DecodeText("\xEF\xBB\xBF[Main]"), QStringLiteral("[Main]"));
  // Also when the rest is not UTF-8 and goes to the code page.
  EXPECT_EQ(DecodeText("\xEF\xBB\xBF\xE9t\xE9"), QString::fromUtf8("été"));
}

TEST(DecodeText, InvalidUtf8FallsBackToWindows1252ByDefault) {
  TestEnv env;
  // 0x80 is the euro sign in windows-1252 (and a control in Latin-1).
  EXPECT_EQ(DecodeText("\x80 \xE9t\xE9"), QString::fromUtf8("€ été"));
}

TEST(DecodeText, CodePageFromEnvironment) {
  TestEnv env;
  env.SetEnv("VANTREL_CODEPAGE", "windows-1251");
  EXPECT_EQ(DecodeText("\xCF\xF0\xE8\xE2\xE5\xF2"), QString::fromUtf8("Привет"));
}

TEST(DecodeText, UnknownCodePageFallsBackToWindows1252) {
  TestEnv env;
  env.SetEnv("VANTREL_CODEPAGE", "no-such-codepage");
  EXPECT_EQ(DecodeText("\x80"), QString::fromUtf8("€"));
}

TEST(DisplayPath, EscapesWhatWouldHideOrBreakTheText) {
  struct Case {
    std::string bytes;
    QString shown;
  };
  const Case cases[] = {
      {"/home/user/file.tmp", QStringLiteral("/home/user/file.tmp")},
      {"/tmp/caf\xC3\xA9", QString::fromUtf8("/tmp/café")},
      {"/tmp/a\nb", QStringLiteral("/tmp/a\\nb")},
      {"/tmp/a\tb\r", QStringLiteral("/tmp/a\\tb\\r")},
      {"/tmp/\x1b[31m", QStringLiteral("/tmp/\\x1b[31m")},
      {"/tmp/\x7f", QStringLiteral("/tmp/\\x7f")},
      {"/tmp/\xC2\x85", QStringLiteral("/tmp/\\u0085")},
      // A right-to-left override would show "gpj.exe" reversed.
      {"/tmp/x\xE2\x80\xAEgpj.exe", QStringLiteral("/tmp/x\\u202egpj.exe")},
      {"\xE2\x80\xAA\xE2\x81\xA6\xE2\x81\xA9\xE2\x80\x8E\xE2\x80\x8F",
       QStringLiteral("\\u202a\\u2066\\u2069\\u200e\\u200f")},
      {"/tmp/\xFF\xFE", QStringLiteral("/tmp/\\xff\\xfe")},
      // Overlong form and an encoded surrogate are not UTF-8.
      {"\xC0\xAF", QStringLiteral("\\xc0\\xaf")},
      {"\xED\xA0\x80", QStringLiteral("\\xed\\xa0\\x80")},
      {"truncated \xE2\x82", QStringLiteral("truncated \\xe2\\x82")},
      // A backslash stays single unless it would read as an escape.
      {"a\\b", QStringLiteral("a\\b")},
      {"a\\n", QStringLiteral("a\\\\n")},
      {"a\\x41", QStringLiteral("a\\\\x41")},
      {"a\\\n", QStringLiteral("a\\\\\\n")},
      {"a\\", QStringLiteral("a\\")},
      {std::string("nul\0x", 5), QStringLiteral("nul\\x00x")},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DisplayPath(c.bytes.data(), c.bytes.size()), c.shown) << c.bytes;
}

}  // namespace

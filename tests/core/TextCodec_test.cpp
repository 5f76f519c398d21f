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

// A name (or a mask the helper is sent) is text whatever it begins with: no mark is skipped.
TEST(NameToText, KeepsALeadingFeffAndMarksInvalidBytes) {
  const struct {
    std::string bytes;
    QString text;
  } cases[] = {
      {"\xEF\xBB\xBFz", QStringLiteral("\uFEFFz")},
      {"\xEF\xBB\xBF\xEF\xBB\xBF", QStringLiteral("\uFEFF\uFEFF")},
      {"\xEF\xBB\xBF\xFF", QStringLiteral("\uFEFF\uFFFD")},
      {"a\xFF\xFE", QStringLiteral("a\uFFFD\uFFFD")},
      {"caf\xC3\xA9", QString::fromUtf8("café")},
  };
  for (const auto& c : cases)
    EXPECT_EQ(NameToText(c.bytes.data(), c.bytes.size()), c.text) << c.bytes;
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
      // Invisible characters: a.tmp and a<U+FEFF>.tmp must never print alike.
      {"a\xEF\xBB\xBF.tmp", QStringLiteral("a\\ufeff.tmp")},
      {"\xC2\xAD\xE2\x80\x8B\xE2\x80\x8C\xE2\x80\x8D\xE2\x81\xA0\xE2\x81\xA4",
       QStringLiteral("\\u00ad\\u200b\\u200c\\u200d\\u2060\\u2064")},
      {"\xD8\x9C\xE1\xA0\x8E\xEF\xBF\xB9", QStringLiteral("\\u061c\\u180e\\ufff9")},
      // Separators other than the plain space, and noncharacters.
      {"a b\xC2\xA0"
       "c\xE2\x80\x83"
       "d\xE3\x80\x80",
       QStringLiteral("a b\\u00a0c\\u2003d\\u3000")},
      {"\xE2\x80\xA8\xE2\x80\xA9", QStringLiteral("\\u2028\\u2029")},
      {"\xEF\xB7\x90\xEF\xBF\xBE\xEF\xBF\xBF", QStringLiteral("\\ufdd0\\ufffe\\uffff")},
      // Past U+FFFF the long form, so that a digit after it is never read as part of it.
      {"\xF3\xA0\x80\x81"
       "1",
       QStringLiteral("\\U000e00011")},
      {"\xF4\x8F\xBF\xBF", QStringLiteral("\\U0010ffff")},
      {"\xF0\x9F\x98\x80", QString::fromUtf8("\xF0\x9F\x98\x80")},
      {"a\\U0001", QStringLiteral("a\\\\U0001")},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DisplayPath(c.bytes.data(), c.bytes.size()), c.shown) << c.bytes;
}

// Reads a shown name back into bytes by the escape rules alone (written apart from the code
// that shows names, so the two check each other).
std::string ReadBack(const QString& shown) {
  const QByteArray text = shown.toUtf8();
  std::string out;
  const auto hex = [&](qsizetype at, int digits, uint* value) {
    if (at + digits > text.size()) return false;
    bool ok = false;
    *value = text.mid(at, digits).toUInt(&ok, 16);
    return ok;
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out += text[i];
      continue;
    }
    const char kind = text[i + 1];
    uint value = 0;
    if (kind == 'n' || kind == 'r' || kind == 't' || kind == '\\') {
      out += kind == 'n' ? '\n' : kind == 'r' ? '\r' : kind == 't' ? '\t' : '\\';
      ++i;
    } else if (kind == 'x' && hex(i + 2, 2, &value)) {
      out += static_cast<char>(value);
      i += 3;
    } else if ((kind == 'u' && hex(i + 2, 4, &value)) || (kind == 'U' && hex(i + 2, 8, &value))) {
      const char32_t cp = value;
      out += QString::fromUcs4(&cp, 1).toStdString();
      i += kind == 'u' ? 5 : 9;
    } else {
      out += '\\';
    }
  }
  return out;
}

// Whether a shown character could hide, break the line or pass for a plain space.
bool Invisible(char32_t cp) {
  if (cp == U' ') return false;
  if ((cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE) return true;
  switch (QChar::category(cp)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
      return true;
    default:
      return false;
  }
}

// Every code point, between two letters and next to a backslash: the shown name is one line of
// visible characters that reads back to exactly the name's bytes.
TEST(DisplayPath, EveryCodePointShowsVisiblyAndReadsBack) {
  int failures = 0;
  for (char32_t cp = 0; cp <= 0x10FFFF && failures < 10; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const std::string character = QString::fromUcs4(&cp, 1).toStdString();
    for (const std::string& name : {"a" + character + "b", "\\" + character, character + "\\"}) {
      const QString shown = DisplayPath(name.data(), name.size());
      bool visible = true;
      for (const char32_t c : shown.toStdU32String()) visible = visible && !Invisible(c);
      if (!visible || ReadBack(shown) != name) {
        ++failures;
        ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(cp) << " shown as "
                      << shown.toStdString();
      }
    }
  }
}

// Bytes that are not UTF-8 read back as the same bytes too.
TEST(DisplayPath, EveryByteOutsideUtf8ReadsBack) {
  for (int b = 0x80; b <= 0xFF; ++b) {
    for (const std::string& name :
         {std::string(1, static_cast<char>(b)), "\\" + std::string(1, static_cast<char>(b)) + "x",
          std::string("\xE2") + static_cast<char>(b)}) {
      const QString shown = DisplayPath(name.data(), name.size());
      EXPECT_EQ(ReadBack(shown), name) << shown.toStdString();
    }
  }
}

}  // namespace

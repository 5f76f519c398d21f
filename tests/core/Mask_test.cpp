#include "scan/Mask.h"

#include <gtest/gtest.h>

#include <QString>
#include <chrono>

namespace {

struct FitCase {
  const char* mask;
  const char* name;
  bool fits;
};

void PrintTo(const FitCase& c, std::ostream* os) {
  *os << '"' << c.mask << "\" / \"" << c.name << '"';
}

class MaskFitTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(MaskFitTest, Answers) {
  const FitCase& c = GetParam();
  EXPECT_EQ(FitsMask(QString::fromUtf8(c.name), QString::fromUtf8(c.mask)), c.fits)
      << "mask " << c.mask << " name " << c.name;
}

// Literals: a-z fold to A-Z, nothing else folds.
INSTANTIATE_TEST_SUITE_P(
    Literals, MaskFitTest,
    ::testing::Values(FitCase{"*.tmp", "a.tmp", true}, FitCase{"*.tmp", "A.TMP", true},
                      FitCase{"*.tmp", ".tmp", true}, FitCase{"*.tmp", "a.tmp.bak", false},
                      FitCase{"*.tmp", "atmp", false}, FitCase{"*.TMP", "a.tmp", true},
                      FitCase{"index.dat", "INDEX.DAT", true}, FitCase{"ä1", "ä1", true},
                      FitCase{"ä1", "Ä1", false}, FitCase{"\xC3\xA9", "\xC3\x89", false},
                      FitCase{"a b(1)", "A B(1)", true}, FitCase{"abc", "abcd", false},
                      FitCase{"abcd", "abc", false}));

// Stars and question marks, including the dropped "?" after a pending "*".
INSTANTIATE_TEST_SUITE_P(
    Wildcards, MaskFitTest,
    ::testing::Values(FitCase{"*.*", "a.b", true}, FitCase{"*.*", ".profile", true},
                      FitCase{"*.*", "README", false}, FitCase{"*", "anything at all", true},
                      FitCase{"*", "x", true}, FitCase{"~*", "~lock", true},
                      FitCase{"~*", "~", true}, FitCase{"~*", "a~b", false},
                      FitCase{"?.log", "a.log", true}, FitCase{"?.log", "ab.log", false},
                      FitCase{"?.log", ".log", false}, FitCase{"*?", "a", true},
                      FitCase{"*?", "abc", true}, FitCase{"*??x", "x", true},
                      FitCase{"*??x", "abX", true}, FitCase{"*??x", "xa", false},
                      FitCase{"?*", "a", true}, FitCase{"?*x", "x", false},
                      FitCase{"?*x", "ax", true}, FitCase{"a*b*c", "aXbYbZc", true},
                      FitCase{"a*b*c", "aXbYbZ", false}, FitCase{"*ab", "aab", true},
                      FitCase{"*aab", "aaab", true}, FitCase{"*a*a*a", "aa", false},
                      FitCase{"**.tmp", "x.tmp", true}));

// Sets: members and ranges upper-cased, "!" negates, reversed ranges give their first bound,
// "*", "?" and "[" are plain members, a "-" before "]" stands for itself.
INSTANTIATE_TEST_SUITE_P(
    Sets, MaskFitTest,
    ::testing::Values(FitCase{"[a-c]*.bak", "b1.bak", true}, FitCase{"[a-c]*.bak", "C.bak", true},
                      FitCase{"[a-c]*.bak", "d.bak", false}, FitCase{"[!a-c]*", "dog", true},
                      FitCase{"[!a-c]*", "apple", false}, FitCase{"[!a-c]*", "Cat", false},
                      FitCase{"[*?]x", "*x", true}, FitCase{"[*?]x", "?x", true},
                      FitCase{"[*?]x", "ax", false}, FitCase{"[[]x", "[x", true},
                      FitCase{"[c-a]", "c", true}, FitCase{"[c-a]", "b", false},
                      FitCase{"[c-a]", "a", false}, FitCase{"[a-]", "-", true},
                      FitCase{"[a-]", "A", true}, FitCase{"[a-]", "b", false},
                      FitCase{"[ä]", "ä", true}, FitCase{"[ä]", "Ä", false},
                      FitCase{"[!x]", "", false}, FitCase{"*[0-9]", "log7", true},
                      FitCase{"*[0-9]", "log", false}));

// The empty mask fits nothing; masks work on code points, not bytes or UTF-16 units.
INSTANTIATE_TEST_SUITE_P(EmptyAndCodePoints, MaskFitTest,
                         ::testing::Values(FitCase{"", "", false}, FitCase{"", "a", false},
                                           FitCase{"?", "ä", true},
                                           FitCase{"?", "\xF0\x9F\x98\x80", true},
                                           FitCase{"??", "\xF0\x9F\x98\x80", false},
                                           FitCase{"?.txt", "\xE2\x82\xAC.txt", true}));

struct InvalidCase {
  const char* mask;
  const char* message;
};

void PrintTo(const InvalidCase& c, std::ostream* os) {
  *os << '"' << c.mask << '"';
}

class MaskInvalidTest : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(MaskInvalidTest, ThrowsWithPosition) {
  const InvalidCase& c = GetParam();
  try {
    FitsMask(QStringLiteral("a"), QString::fromUtf8(c.mask));
    ADD_FAILURE() << "no exception for " << c.mask;
  } catch (const EMaskException& e) {
    EXPECT_EQ(e.Message(), QString::fromUtf8(c.message));
  }
}

INSTANTIATE_TEST_SUITE_P(Sets, MaskInvalidTest,
                         ::testing::Values(InvalidCase{"[abc", "'[abc' is an invalid mask at (5)"},
                                           InvalidCase{"[]", "'[]' is an invalid mask at (2)"},
                                           InvalidCase{"[-a]", "'[-a]' is an invalid mask at (2)"},
                                           InvalidCase{"[-]", "'[-]' is an invalid mask at (2)"},
                                           InvalidCase{"[!-]", "'[!-]' is an invalid mask at (3)"},
                                           InvalidCase{"a[-]*",
                                                       "'a[-]*' is an invalid mask at (3)"},
                                           InvalidCase{"[!]", "'[!]' is an invalid mask at (3)"},
                                           InvalidCase{"x[", "'x[' is an invalid mask at (3)"},
                                           InvalidCase{"[a-", "'[a-' is an invalid mask at (4)"},
                                           InvalidCase{"ä[-", "'ä[-' is an invalid mask at (3)"}));

QString Runs(int runs, const QString& tail = QString()) {
  QString mask;
  for (int i = 0; i < runs; ++i) mask += QStringLiteral("*a");
  return mask + tail;
}

TEST(MaskStars, ThirtyRunsValidThirtyOneInvalid) {
  EXPECT_TRUE(FitsMask(QStringLiteral("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"), Runs(30)));
  // The 31st run's star is taken by the end of the mask, one past its last character.
  const QString invalid = Runs(30, QStringLiteral("*"));
  try {
    FitsMask(QStringLiteral("a"), invalid);
    ADD_FAILURE() << "31 runs accepted";
  } catch (const EMaskException& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("'%1' is an invalid mask at (62)").arg(invalid));
  }
  // Stars in a row count as one run; a "?" after a star adds no element and no run.
  EXPECT_TRUE(FitsMask(QStringLiteral("ab"), QStringLiteral("***?**a**?*b")));
}

TEST(MaskStars, ManyStarsAgainstLongNameStayFast) {
  QString mask;
  for (int i = 0; i < 29; ++i) mask += QStringLiteral("*a");
  mask += QStringLiteral("*b");  // cannot fit: the name has no b
  const QString name(255, u'a');
  const TMask compiled(mask);
  const std::u32string wide = name.toStdU32String();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(compiled.Matches(wide));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::milliseconds(50));  // microseconds each; exponential is hours
}

TEST(MaskCompiled, ReusableAcrossNames) {
  const TMask mask(QStringLiteral("[!~]*.t?p"));
  EXPECT_TRUE(mask.Matches(QStringLiteral("a.tmp")));
  EXPECT_TRUE(mask.Matches(QStringLiteral("B.TXP")));
  EXPECT_FALSE(mask.Matches(QStringLiteral("~a.tmp")));
  EXPECT_FALSE(mask.Matches(QStringLiteral("a.tp")));
}

// Masks of ASCII literals and stars are matched on a name's bytes without decoding it; the answer
// must be the one the characters give, invalid UTF-8 included.
TEST(MaskBytes, SameAnswerAsCharacters) {
  // The shapes tested by one comparison (*.ext, prefix*, *word*, plain names, stars alone) and
  // the general matcher, on the same names.
  const char* masks[] = {"*.tmp", "~*", "*.TMP", "a*b*c", "*",    "keep.*",   "*.t?p",
                         "[a]*",  "ä*", "tmp",   "*tmp*", "TMP*", "**.tmp**", "a.TMP",
                         "*.",    ".*", "*a*",   "***",   "*~",   "x*.tmp*"};
  const char* names[] = {"a.tmp",         "A.TMP", "~x",    "\xff.tmp", "caf\xc3\xa9.tmp",
                         "a\xe2\x82.tmp", "aXbYc", "keep.", "x.tap",    "\xc3\xa4x",
                         "tmp",           ".tmp",  "xtmpx", "TMPfile",  "a.tmp.bak",
                         "aaa",           "x.",    "~",     "b~",       "x.tmpY"};
  for (const char* m : masks) {
    const TMask mask(QString::fromUtf8(m));
    for (const char* n : names) {
      const std::string_view bytes(n);
      const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
      if (mask.MatchesBytesExactly()) {
        EXPECT_EQ(mask.MatchesBytes(bytes), mask.Matches(text)) << m << " / " << n;
      }
    }
  }
  EXPECT_TRUE(TMask(QStringLiteral("*.tmp")).MatchesBytesExactly());
  EXPECT_FALSE(TMask(QStringLiteral("*.t?p")).MatchesBytesExactly());
  EXPECT_FALSE(TMask(QStringLiteral("[a]*")).MatchesBytesExactly());
  EXPECT_FALSE(TMask(QStringLiteral("ä*")).MatchesBytesExactly());
}

}  // namespace

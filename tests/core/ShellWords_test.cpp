#include "platform/ShellWords.h"

#include <gtest/gtest.h>

namespace {

struct WordsCase {
  const char* text;
  QStringList words;
};

void PrintTo(const WordsCase& c, std::ostream* os) {
  *os << c.text;
}

class ShellWordsTest : public ::testing::TestWithParam<WordsCase> {};

TEST_P(ShellWordsTest, SplitsAsAShellWouldWithoutExpanding) {
  EXPECT_EQ(SplitShellWords(QString::fromUtf8(GetParam().text)), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShellWordsTest,
    ::testing::Values(
        WordsCase{"", {}}, WordsCase{"  \t\n ", {}}, WordsCase{"one", {"one"}},
        WordsCase{" one  two\tthree\nfour ", {"one", "two", "three", "four"}},
        WordsCase{"'one two' three", {"one two", "three"}}, WordsCase{"five\\ six", {"five six"}},
        WordsCase{"\"two three\" four", {"two three", "four"}},
        // Single quotes keep backslashes and double quotes as they are.
        WordsCase{"'a\\b\"c'", {"a\\b\"c"}},
        // Inside double quotes a backslash escapes only $ ` " \ and newline.
        WordsCase{"\"a\\\"b\\\\c\\$d\\`e\\xf\"", {"a\"b\\c$d`e\\xf"}},
        WordsCase{"\"it's\"", {"it's"}}, WordsCase{"'say \"hi\"'", {"say \"hi\""}},
        // Quoted and bare parts make one word; empty quotes make an empty word.
        WordsCase{"a'b c'\"d e\"f", {"ab cd ef"}}, WordsCase{"'' \"\" x", {"", "", "x"}},
        WordsCase{"\\'x\\' \\\"y\\\"", {"'x'", "\"y\""}},
        // A backslash-newline joins lines; nothing is expanded.
        WordsCase{"ab\\\ncd \"e\\\nf\"", {"abcd", "ef"}}, WordsCase{"\\\nx", {"x"}},
        WordsCase{"''\\\n", {""}},
        WordsCase{"$HOME `id` $(id) * ~ a=$b", {"$HOME", "`id`", "$(id)", "*", "~", "a=$b"}},
        WordsCase{"x; rm -rf / | y && z", {"x;", "rm", "-rf", "/", "|", "y", "&&", "z"}},
        // Unbalanced input: an open quote runs to the end, a last backslash stays.
        WordsCase{"'open quote", {"open quote"}}, WordsCase{"\"open", {"open"}},
        WordsCase{"end\\", {"end\\"}}, WordsCase{"ünï 'cödé'", {"ünï", "cödé"}}));

}  // namespace

#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Errors.h"

// "'%s' is an invalid mask at (%d)": the mask and the 1-based position of the fault.
class EMaskException : public EVantrelError {
 public:
  using EVantrelError::EVantrelError;
};

// A compiled file mask: "*" (any run, several in a row act as one), "?" (one character; dropped
// when a "*" is pending), "[set]" / "[!set]" with ranges, literals (A-Z and a-z match either
// case, every other character only itself). Works on code points. The constructor throws
// EMaskException for an invalid mask: a "-" without a member before it, an empty set, a set
// left open, or more than 30 separate runs of "*".
class TMask {
 public:
  explicit TMask(const QString& mask);

  // Whether the whole name fits. The empty mask fits no name. Linear in the name's length
  // times the number of elements: a mask of many stars never backtracks exponentially.
  bool Matches(std::u32string_view name) const;
  bool Matches(const QString& name) const;

  // True when the mask holds nothing but ASCII letters, other ASCII literals and stars. It then
  // fits a name's UTF-8 bytes exactly when it fits the name's characters (an ASCII byte is
  // always a character of its own, invalid bytes included), so names need no decoding.
  bool MatchesBytesExactly() const { return bytesExact_; }
  bool MatchesBytes(std::string_view name) const;

  static constexpr int kMaxSkips = 30;

 private:
  enum class Kind : unsigned char { Literal, Any, Set, End };
  struct Element {
    Kind kind = Kind::End;
    bool skip = false;    // one or more "*" came directly before it
    bool negate = false;  // "[!...]"
    char32_t literal = 0;
    std::vector<std::pair<char32_t, char32_t>> ranges;  // inclusive, upper-cased bounds
    bool Fits(char32_t c) const;
  };
  static Element MakeElement(Kind kind) {
    Element element;
    element.kind = kind;
    return element;
  }
  template <typename Char>
  bool MatchesSequence(const Char* name, size_t n) const;

  // The common shapes of a mask that fits bytes exactly, tested by one comparison each.
  enum class Shape : unsigned char { General, Everything, Literal, Prefix, Suffix, Contains };
  void FindShape(const QString& mask);

  std::vector<Element> elements_;
  bool empty_ = false;
  bool bytesExact_ = true;
  Shape shape_ = Shape::General;
  std::string literal_;  // the shape's literal, letters in lower case
};

// Whether the bare file name fits the mask (compiled for this one test). Throws EMaskException
// for an invalid mask.
bool FitsMask(const QString& name, const QString& mask);

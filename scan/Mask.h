#pragma once

#include <QString>
#include <string_view>
#include <vector>

#include "platform/Errors.h"

// "'%s' is an invalid mask at (%d)": the mask and the 1-based position of the fault.
class EMaskException : public EVantrelError {
 public:
  using EVantrelError::EVantrelError;
};

// A compiled file mask: "*" (any run, several in a row act as one), "?" (one character; dropped
// when a "*" is pending), "[set]" / "[!set]" with ranges, literals (A-Z and a-z match either
// case, every other character only itself). Works on code points. Throws EMaskException from
// the constructor for an invalid mask.
class TMask {
 public:
  explicit TMask(const QString& mask);
  bool Matches(std::u32string_view name) const;
  bool Matches(const QString& name) const;

 private:
  struct Element;
  std::vector<Element> elements_;
  friend struct MaskAccess;
};

// Whether the bare file name fits the mask. Throws EMaskException for an invalid mask.
bool FitsMask(const QString& name, const QString& mask);

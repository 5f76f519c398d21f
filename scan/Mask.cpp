#include "scan/Mask.h"

namespace {

// Only the letters a to z fold: other letters keep their case, as the matching rule wants.
char32_t AsciiUpper(char32_t c) {
  return (c >= U'a' && c <= U'z') ? c - (U'a' - U'A') : c;
}

[[noreturn]] void InvalidMask(const QString& mask, qsizetype position) {
  throw EMaskException(
      QStringLiteral("'%1' is an invalid mask at (%2)").arg(mask).arg(position + 1));
}

}  // namespace

bool TMask::Element::Fits(char32_t c) const {
  switch (kind) {
    case Kind::Literal:
      return AsciiUpper(c) == literal;
    case Kind::Any:
      return true;
    case Kind::Set: {
      const char32_t upper = AsciiUpper(c);
      bool member = false;
      for (const auto& [low, high] : ranges) {
        if (upper >= low && upper <= high) {
          member = true;
          break;
        }
      }
      return member != negate;
    }
    case Kind::End:
      break;
  }
  return false;
}

TMask::TMask(const QString& mask) {
  const std::u32string text = mask.toStdU32String();
  const qsizetype length = static_cast<qsizetype>(text.size());
  empty_ = text.empty();

  bool skipPending = false;
  int skips = 0;
  // Positions are 0-based here; InvalidMask reports them 1-based.
  auto add = [&](Element element, qsizetype position) {
    element.skip = skipPending;
    if (skipPending && ++skips > kMaxSkips) InvalidMask(mask, position);
    skipPending = false;
    elements_.push_back(std::move(element));
  };

  qsizetype i = 0;
  for (; i < length; ++i) {
    const char32_t c = text[static_cast<size_t>(i)];
    if (c == U'*') {
      skipPending = true;
    } else if (c == U'?') {
      bytesExact_ = false;
      // After a pending "*" a "?" adds nothing: the star already passes over it.
      if (!skipPending) add(MakeElement(Kind::Any), i);
    } else if (c == U'[') {
      bytesExact_ = false;
      Element set = MakeElement(Kind::Set);
      ++i;
      if (i < length && text[static_cast<size_t>(i)] == U'!') {
        set.negate = true;
        ++i;
      }
      bool haveMember = false;
      char32_t last = 0;
      while (i < length && text[static_cast<size_t>(i)] != U']') {
        const char32_t member = text[static_cast<size_t>(i)];
        const bool closesNext = i + 1 < length && text[static_cast<size_t>(i + 1)] == U']';
        // A "-" needs a member before it, also right before "]": "[-]" and "[!-]" are invalid.
        if (member == U'-' && !haveMember) InvalidMask(mask, i);
        if (member == U'-' && !closesNext) {
          ++i;
          if (i >= length) break;  // set left open
          const char32_t high = AsciiUpper(text[static_cast<size_t>(i)]);
          // A reversed range contributes its first bound only.
          set.ranges.emplace_back(last, high < last ? last : high);
        } else {
          // A "-" right before "]" has nothing to reach: it stands for itself.
          last = AsciiUpper(member);
          haveMember = true;
          set.ranges.emplace_back(last, last);
        }
        ++i;
      }
      if (i >= length) InvalidMask(mask, length);
      if (set.ranges.empty()) InvalidMask(mask, i);
      add(std::move(set), i);
    } else {
      if (c >= 0x80) bytesExact_ = false;
      Element literal = MakeElement(Kind::Literal);
      literal.literal = AsciiUpper(c);
      add(std::move(literal), i);
    }
  }
  add(MakeElement(Kind::End), length);
  if (bytesExact_ && !empty_) FindShape(mask);
}

void TMask::FindShape(const QString& mask) {
  // Only ASCII literals and stars here: *.ext, prefix*, *word*, a plain name, or stars alone.
  const std::string text = mask.toStdString();
  const size_t first = text.find_first_not_of('*');
  if (first == std::string::npos) {
    shape_ = Shape::Everything;
    return;
  }
  const size_t last = text.find_last_not_of('*');
  const std::string middle = text.substr(first, last - first + 1);
  if (middle.find('*') != std::string::npos) return;  // two literal runs: the general matcher
  literal_.clear();
  for (char c : middle) literal_ += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
  const bool leading = first > 0;
  const bool trailing = last + 1 < text.size();
  shape_ = leading ? (trailing ? Shape::Contains : Shape::Suffix)
                   : (trailing ? Shape::Prefix : Shape::Literal);
}

template <typename Char>
bool TMask::MatchesSequence(const Char* name, size_t n) const {
  if (empty_) return false;
  // Every element but the end consumes exactly one character, so on a failure it is enough to
  // retry from the latest skip point with one more character passed over: an earlier skip point
  // could only pass over characters that the later one passes over too.
  size_t e = 0;
  size_t p = 0;
  size_t backtrackElement = SIZE_MAX;
  size_t backtrackPosition = 0;
  for (;;) {
    const Element& element = elements_[e];
    if (element.skip && backtrackElement != e) {
      backtrackElement = e;
      backtrackPosition = p;
    }
    if (element.kind == Kind::End) {
      if (p == n || element.skip) return true;
    } else if (p < n && element.Fits(static_cast<char32_t>(name[p]))) {
      ++e;
      ++p;
      continue;
    }
    if (backtrackElement == SIZE_MAX || backtrackPosition >= n) return false;
    e = backtrackElement;
    p = ++backtrackPosition;
  }
}

bool TMask::Matches(std::u32string_view name) const {
  return MatchesSequence(name.data(), name.size());
}

namespace {

// Whether the bytes at name equal the lower-case ASCII literal, A to Z folded.
bool EqualsAt(const char* name, const std::string& literal) {
  for (size_t i = 0; i < literal.size(); ++i) {
    const char c = name[i];
    if (((c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c) != literal[i])
      return false;
  }
  return true;
}

}  // namespace

bool TMask::MatchesBytes(std::string_view name) const {
  const size_t n = name.size();
  const size_t k = literal_.size();
  switch (shape_) {
    case Shape::Everything:
      return true;
    case Shape::Literal:
      return n == k && EqualsAt(name.data(), literal_);
    case Shape::Prefix:
      return n >= k && EqualsAt(name.data(), literal_);
    case Shape::Suffix:
      return n >= k && EqualsAt(name.data() + n - k, literal_);
    case Shape::Contains:
      for (size_t at = 0; at + k <= n; ++at)
        if (EqualsAt(name.data() + at, literal_)) return true;
      return false;
    case Shape::General:
      break;
  }
  return MatchesSequence(reinterpret_cast<const unsigned char*>(name.data()), name.size());
}

bool TMask::Matches(const QString& name) const {
  return Matches(name.toStdU32String());
}

bool FitsMask(const QString& name, const QString& mask) {
  return TMask(mask).Matches(name);
}

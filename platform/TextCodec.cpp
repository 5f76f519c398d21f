#include "platform/TextCodec.h"

#include <QStringDecoder>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kDefaultCodePage[] = "windows-1252";

QByteArrayView WithoutBom(const QByteArray& bytes) {
  QByteArrayView view(bytes);
  if (view.startsWith("\xEF\xBB\xBF")) view = view.sliced(3);
  return view;
}

// The 8-bit code page of the files this program meets; an unknown name falls back to the
// default rather than refusing to read the file.
QStringDecoder CodePageDecoder() {
  const char* name = std::getenv("VANTREL_CODEPAGE");
  if (name != nullptr && *name != '\0') {
    QStringDecoder decoder(name);
    if (decoder.isValid()) return decoder;
  }
  QStringDecoder decoder(kDefaultCodePage);
  if (decoder.isValid()) return decoder;
  return QStringDecoder(QStringDecoder::Latin1);
}

// Length of the valid UTF-8 sequence at bytes[i], or 0 when the byte there starts none
// (RFC 3629: no overlong forms, no surrogates, nothing past U+10FFFF).
size_t Utf8SequenceLength(const unsigned char* bytes, size_t length, size_t i, char32_t* cp) {
  const unsigned char lead = bytes[i];
  if (lead < 0x80) {
    *cp = lead;
    return 1;
  }
  size_t count = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    count = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    count = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    count = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + count > length) return 0;
  for (size_t k = 1; k < count; ++k) {
    const unsigned char next = bytes[i + k];
    if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  *cp = value;
  return count;
}

// Characters that would break a line, hide, or reorder what surrounds them on screen, or that
// look like a plain space: control characters, format characters (soft hyphen, zero-width
// spaces and joiners, byte-order marks, bidi controls, tags...), every separator but the plain
// space, and the noncharacters. Shown escaped, two names that differ only in such a character
// never print alike.
bool NeedsEscape(char32_t cp) {
  if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F)) return true;
  if (cp < 0xA0) return false;
  if ((cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE) return true;
  switch (QChar::category(cp)) {
    case QChar::Other_Format:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
      return true;
    default:
      return false;
  }
}

void AppendHex(std::string& out, unsigned value, int digits) {
  static const char kDigits[] = "0123456789abcdef";
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
}

void AppendEscape(std::string& out, char32_t cp) {
  switch (cp) {
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      break;
  }
  // Always as many digits as the form says, so a following digit never reads as part of it.
  if (cp < 0x80) {
    out += "\\x";
    AppendHex(out, cp, 2);
  } else if (cp <= 0xFFFF) {
    out += "\\u";
    AppendHex(out, cp, 4);
  } else {
    out += "\\U";
    AppendHex(out, cp, 8);
  }
}

// Whether the text after a backslash would read as one of our escapes.
bool LooksLikeEscapeStart(const unsigned char* bytes, size_t length, size_t i) {
  if (i >= length) return false;
  switch (bytes[i]) {
    case 'n':
    case 'r':
    case 't':
    case 'x':
    case 'u':
    case 'U':
    case '\\':
      return true;
    default:
      break;
  }
  char32_t cp = 0;
  const size_t n = Utf8SequenceLength(bytes, length, i, &cp);
  return n == 0 || NeedsEscape(cp);
}

}  // namespace

QString DecodeText(const QByteArray& bytes) {
  const QByteArrayView view = WithoutBom(bytes);
  // One mark is skipped above; the decoder must not drop a second one that belongs to the text.
  QStringDecoder utf8(QStringDecoder::Utf8,
                      QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
  QString text = utf8.decode(view);
  if (!utf8.hasError()) return text;
  QStringDecoder codePage = CodePageDecoder();
  return codePage.decode(view);
}

QString NameToText(const char* bytes, size_t length) {
  // fromUtf8 takes a leading U+FEFF for a byte-order mark and drops it.
  if (length >= 3 && std::memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) {
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return utf8.decode(QByteArrayView(bytes, static_cast<qsizetype>(length)));
  }
  return QString::fromUtf8(bytes, static_cast<qsizetype>(length));
}

void AppendDisplayPath(std::string& out, const char* bytes, size_t length) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes);
  size_t i = 0;
  while (i < length) {
    // Plain printable ASCII, the most of every path, goes over as it is.
    size_t plain = i;
    while (plain < length && data[plain] >= 0x20 && data[plain] < 0x7F && data[plain] != '\\')
      ++plain;
    if (plain > i) {
      out.append(bytes + i, plain - i);
      i = plain;
      if (i >= length) break;
    }
    char32_t cp = 0;
    const size_t n = Utf8SequenceLength(data, length, i, &cp);
    if (n == 0) {
      out += "\\x";
      AppendHex(out, data[i], 2);
      i += 1;
      continue;
    }
    if (NeedsEscape(cp)) {
      AppendEscape(out, cp);
    } else if (cp == '\\') {
      out += LooksLikeEscapeStart(data, length, i + 1) ? "\\\\" : "\\";
    } else {
      out.append(bytes + i, n);
    }
    i += n;
  }
}

QString DisplayPath(const char* bytes, size_t length) {
  std::string out;
  out.reserve(length);
  AppendDisplayPath(out, bytes, length);
  return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}

// The language files shipped in resources/Language: the English template is the program's own
// table written out, and every translation answers every lookup the program makes.
#include <gtest/gtest.h>

#include <QFile>
#include <QSet>
#include <QStringDecoder>
#include <QStringList>

#include "TestEnv.h"
#include "i18n/Catalogue.h"
#include "i18n/ProfileFile.h"
#include "platform/TextCodec.h"

namespace {

const QString kLanguageDir = QStringLiteral(VANTREL_SOURCE_DIR "/resources/Language/");

QByteArray ReadShipped(const QString& name) {
  QFile file(kLanguageDir + name);
  if (!file.open(QIODevice::ReadOnly)) return QByteArray();
  return file.readAll();
}

// A value the reader would trim or unquote is written in double quotes.
QString Quoted(const QString& value) {
  const bool quoted = value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
                      value.back() == value.front();
  return value != value.trimmed() || quoted ? u'"' + value + u'"' : value;
}

// English.lng as the table gives it: every section in table order, each key once with its
// first default, CR LF line ends.
QByteArray EnglishTemplate() {
  QStringList lines = {
      QStringLiteral("; Vantrel language file: English, the built-in texts. Written from the "
                     "program's"),
      QStringLiteral("; string table by the test LanguageFiles.EnglishTemplateIsUpToDate; copy it "
                     "to start"),
      QStringLiteral("; a translation. Texts carry no punctuation of their own; Vantrel adds "
                     "colons,"),
      QStringLiteral("; blanks, full stops and exclamation marks itself."),
  };
  QString section;
  QSet<QString> written;
  for (const CatalogueText& row : Catalogue()) {
    if (row.section != section) {
      section = row.section.toString();
      lines << QString() << u'[' + section + u']';
    }
    const QString id = section + u'/' + row.key.toString();
    if (written.contains(id)) {
      lines << QStringLiteral("; %1 is also read by another window with the default %2")
                   .arg(row.key.toString(), row.defaultText.toString());
      continue;
    }
    written.insert(id);
    lines << row.key.toString() + u'=' + Quoted(row.defaultText.toString());
  }
  return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

TEST(LanguageFiles, EnglishTemplateIsUpToDate) {
  const QByteArray expected = EnglishTemplate();
  if (qEnvironmentVariableIsSet("VANTREL_WRITE_ENGLISH_TEMPLATE")) {
    QFile file(kLanguageDir + QStringLiteral("English.lng"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(expected);
  }
  EXPECT_EQ(ReadShipped(QStringLiteral("English.lng")).toStdString(), expected.toStdString())
      << "resources/Language/English.lng is out of date: run core_tests with "
         "VANTREL_WRITE_ENGLISH_TEMPLATE=1 set to rewrite it";
}

struct Shipped {
  const char* file;
  const char* start;  // Main/Start, to prove the decoding
};

void PrintTo(const Shipped& s, std::ostream* os) {
  *os << s.file;
}

// Shipped files are UTF-8, so the code page a user has set changes nothing.
const char* const kCodePages[] = {"windows-1252", "windows-1251", "koi8-r", "ISO-8859-7"};

QString DecodeShipped(const Shipped& shipped, const char* codePage) {
  TestEnv env;
  env.SetEnv("VANTREL_CODEPAGE", codePage);
  return DecodeText(ReadShipped(QString::fromLatin1(shipped.file)));
}

class ShippedLanguageTest : public ::testing::TestWithParam<Shipped> {};

TEST_P(ShippedLanguageTest, IsUtf8AndReadsTheSameWhateverTheCodePage) {
  const QByteArray bytes = ReadShipped(QString::fromLatin1(GetParam().file));
  ASSERT_FALSE(bytes.isEmpty());
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString text = utf8.decode(bytes);
  EXPECT_FALSE(utf8.hasError());
  for (const char* codePage : kCodePages)
    EXPECT_EQ(DecodeShipped(GetParam(), codePage), text) << codePage;
}

TEST_P(ShippedLanguageTest, AnswersEveryLookupOnce) {
  const QString text = DecodeShipped(GetParam(), "windows-1252");
  for (const CatalogueText& row : Catalogue()) {
    const std::optional<QString> value =
        LookupProfileText(text, row.section.toString(), row.key.toString());
    ASSERT_TRUE(value.has_value()) << row.name.toString().toStdString();
    EXPECT_FALSE(value->isEmpty()) << row.name.toString().toStdString();
    // The program adds its own punctuation.
    EXPECT_FALSE(value->endsWith(u':') || value->endsWith(u'.') || value->endsWith(u'!'))
        << row.name.toString().toStdString();
  }
  EXPECT_EQ(LookupProfileText(text, QStringLiteral("Main"), QStringLiteral("Start")),
            QString::fromUtf8(GetParam().start));

  // No key twice in a section: the reader would take the first and hide the second.
  QSet<QString> seen;
  QString section;
  for (QString line : text.split(QStringLiteral("\r\n"))) {
    line = line.trimmed();
    if (line.startsWith(u'[')) section = line.toLower();
    const qsizetype equals = line.indexOf(u'=');
    if (line.startsWith(u';') || equals < 0) continue;
    const QString id = section + line.left(equals).trimmed().toLower();
    EXPECT_FALSE(seen.contains(id)) << id.toStdString();
    seen.insert(id);
  }
}

TEST_P(ShippedLanguageTest, DriveKindsHaveDistinctLabels) {
  // Drives are told apart by their label, so two kinds must never share one.
  const QString text = DecodeShipped(GetParam(), "windows-1252");
  QSet<QString> labels;
  for (const CatalogueText* kind :
       {&Txt::Main_Fixed, &Txt::Main_Removable, &Txt::Main_Remote, &Txt::Main_RAM})
    labels.insert(LookupProfileText(text, kind->section.toString(), kind->key.toString())
                      .value_or(QString()));
  EXPECT_EQ(labels.size(), 4);
}

INSTANTIATE_TEST_SUITE_P(
    Shipped, ShippedLanguageTest,
    ::testing::Values(Shipped{"English.lng", "Start"}, Shipped{"German.lng", "Starten"},
                      Shipped{"Russian.lng", "\xd0\x9f\xd1\x83\xd1\x81\xd0\xba"}),
    [](const auto& info) {
      return QString::fromLatin1(info.param.file).section(u'.', 0, 0).toStdString();
    });

// A file a user brings in an 8-bit code page (here the Russian translation as saved in
// windows-1251) is read through VANTREL_CODEPAGE and gives the same texts as the shipped one.
TEST(LanguageFiles, EightBitFileIsReadThroughTheCodePage) {
  QFile file(QStringLiteral(VANTREL_SOURCE_DIR "/tests/data/Russian-windows-1251.lng"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  TestEnv env;
  env.SetEnv("VANTREL_CODEPAGE", "windows-1251");
  const QString text = DecodeText(bytes);
  const QString shipped = DecodeText(ReadShipped(QStringLiteral("Russian.lng")));
  for (const CatalogueText& row : Catalogue()) {
    EXPECT_EQ(LookupProfileText(text, row.section.toString(), row.key.toString()),
              LookupProfileText(shipped, row.section.toString(), row.key.toString()))
        << row.name.toString().toStdString();
  }
  env.SetEnv("VANTREL_CODEPAGE", "windows-1252");
  EXPECT_NE(LookupProfileText(DecodeText(bytes), QStringLiteral("Main"), QStringLiteral("Start")),
            LookupProfileText(shipped, QStringLiteral("Main"), QStringLiteral("Start")));
}

}  // namespace

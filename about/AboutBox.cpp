#include "about/AboutBox.h"

#include <QFontInfo>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>

#include "about/FileVersion.h"
#include "i18n/Catalogue.h"
#include "platform/MessageBox.h"
#include "platform/ShellOpen.h"

namespace {

// The product name's face, or a bold sans face of the same size where Arial Black is missing.
QFont ProductNameFont(const QFont& base) {
  QFont font(QStringLiteral("Arial Black"));
  font.setPixelSize(23);
  if (QFontInfo(font).family() == QStringLiteral("Arial Black")) return font;
  font = base;
  font.setPixelSize(23);
  font.setWeight(QFont::Black);
  return font;
}

QLabel* NewCentredLabel(QWidget* parent, const char* name, const QRect& geometry) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setAlignment(Qt::AlignCenter);
  label->setGeometry(geometry);
  return label;
}

// The button's glyph holds its normal and its disabled image side by side.
QIcon GlyphIcon(const QString& path) {
  const QPixmap glyph(path);
  const int half = glyph.width() / 2;
  QIcon icon;
  icon.addPixmap(glyph.copy(0, 0, half, glyph.height()), QIcon::Normal);
  icon.addPixmap(glyph.copy(half, 0, half, glyph.height()), QIcon::Disabled);
  return icon;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : TModalForm(parent) {
  setObjectName(QStringLiteral("AboutBox"));
  QFont font = ClassicFont(8);
  font.setPixelSize(11);
  setFont(font);
  BuildLayout();
  RunGuarded([this] { FormCreate(); });
}

void TAboutBox::BuildLayout() {
  setFixedSize(382, 129);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(0, 0, 102, 129);
  Image1->setPixmap(QPixmap(QStringLiteral(":/images/logo.jpg")));

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setGeometry(102, 0, 280, 129);

  // Inside the panel's one-pixel bevel.
  const int inner = Panel1->width() - 2;
  ProductName = NewCentredLabel(Panel1, "ProductName", QRect(1, 1, inner, 32));
  ProductName->setFont(ProductNameFont(font()));
  ProductName->setText(QStringLiteral("Vantrel"));
  Version = NewCentredLabel(Panel1, "Version", QRect(1, 33, inner, 13));

  HomePage = NewCentredLabel(Panel1, "HomePage", QRect(0, 58, 0, 13));
  HomePage->setText(QStringLiteral("Nelvor Software"));
  HomePage->resize(HomePage->sizeHint().width(), 13);
  QPalette palette = HomePage->palette();
  palette.setColor(QPalette::WindowText, Qt::blue);
  HomePage->setPalette(palette);
  HomePage->setCursor(Qt::PointingHandCursor);
  HomePage->installEventFilter(this);

  OKButton = new QPushButton(Panel1);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setFlat(true);
  OKButton->setGeometry(0, 79, 91, 26);
  OKButton->setIcon(GlyphIcon(QStringLiteral(":/images/close-glyph.png")));
  OKButton->setIconSize(QSize(23, 23));
  connect(OKButton, &QPushButton::clicked, this,
          [this] { RunGuarded([this] { OKButtonClick(); }); });

  Copyright = NewCentredLabel(Panel1, "Copyright", QRect(1, 129 - 1 - 13, inner, 13));
  Copyright->setLayoutDirection(Qt::LeftToRight);
  Copyright->setText(QStringLiteral("Copyright \u00a9 2002-2005 Nelvor Software"));
}

void TAboutBox::FormCreate() {
  // Halves that drop the remainder: the button's left edge is 280 / 2 - 91 / 2 = 95.
  HomePage->move(Panel1->width() / 2 - HomePage->width() / 2, HomePage->y());
  OKButton->move(Panel1->width() / 2 - OKButton->width() / 2, OKButton->y());
  Registry.SetRoot();
  Language.OpenLanguageFile(Registry);
  ApplyLanguage();
}

void TAboutBox::FormActivate() {
  Language.OpenLanguageFile(Registry);
  ApplyLanguage();
}

void TAboutBox::ApplyLanguage() {
  const QString versionText = GetFileVersionText(ProgramVersionRecord());
  setWindowTitle(Tr(Language, Txt::About_Title));
  OKButton->setText(Tr(Language, Txt::About_OKButton));
  OKButton->setToolTip(Tr(Language, Txt::About_OKButtonHint));
  HomePage->setToolTip(Tr(Language, Txt::About_HomePageHint));
  Version->setText(Tr(Language, Txt::About_Version) + u' ' + versionText);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == HomePage) {
    switch (event->type()) {
      case QEvent::Enter:
        RunGuarded([this] { HomePageMouseEnter(); });
        break;
      case QEvent::Leave:
        RunGuarded([this] { HomePageMouseLeave(); });
        break;
      case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
            HomePage->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint()))
          RunGuarded([this] { HomePageClick(); });
        break;
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TAboutBox::HomePageMouseEnter() {
  QFont font = HomePage->font();
  font.setUnderline(true);
  HomePage->setFont(font);
}

void TAboutBox::HomePageMouseLeave() {
  QFont font = HomePage->font();
  font.setUnderline(false);
  HomePage->setFont(font);
}

void TAboutBox::HomePageClick() {
  ShellOpen(kHomePageAddress);
}

void TAboutBox::OKButtonClick() {
  accept();
}

#include "about/AboutBox.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "app/Forms.h"

namespace {

class AboutBoxTest : public FormsTest {
 protected:
  void Open() {
    AboutBox->show();
    QCoreApplication::processEvents();
  }
};

TEST_F(AboutBoxTest, EnglishTextsAndVersion) {
  Open();
  EXPECT_EQ(AboutBox->windowTitle(), "About");
  EXPECT_EQ(AboutBox->ProductName->text(), "Vantrel");
  EXPECT_EQ(AboutBox->Version->text(), "Version 1.5.0.42");
  EXPECT_EQ(AboutBox->HomePage->text(), "Nelvor Software");
  EXPECT_EQ(AboutBox->HomePage->toolTip(), "Visit Vantrel Web Page");
  EXPECT_EQ(AboutBox->OKButton->text(), "Close");
  EXPECT_EQ(AboutBox->OKButton->toolTip(), "Close this window");
  EXPECT_EQ(AboutBox->Copyright->text(),
            QString::fromUtf8("Copyright \u00a9 2002-2005 Nelvor Software"));
  EXPECT_TRUE(boxes.calls.empty());
}

TEST_F(AboutBoxTest, LayoutCentresLinkAndButtonByIntegerHalves) {
  EXPECT_EQ(AboutBox->size(), QSize(382, 129));
  EXPECT_EQ(AboutBox->Panel1->geometry(), QRect(102, 0, 280, 129));
  EXPECT_EQ(AboutBox->OKButton->geometry(), QRect(95, 79, 91, 26));
  const int linkWidth = AboutBox->HomePage->width();
  EXPECT_EQ(AboutBox->HomePage->geometry(), QRect(140 - linkWidth / 2, 58, linkWidth, 13));
  EXPECT_EQ(AboutBox->ProductName->font().pixelSize(), 23);
}

TEST_F(AboutBoxTest, PictureIsTheDecodedLogo) {
  const QPixmap picture = AboutBox->Image1->pixmap();
  ASSERT_FALSE(picture.isNull());
  EXPECT_EQ(picture.size(), QSize(102, 129));
  EXPECT_EQ(AboutBox->Image1->geometry(), QRect(0, 0, 102, 129));
  const QImage image = picture.toImage();
  for (const QPoint corner : {QPoint(0, 0), QPoint(101, 0), QPoint(0, 128), QPoint(101, 128)})
    EXPECT_GE(qGray(image.pixel(corner)), 250) << corner.x() << "," << corner.y();
}

TEST_F(AboutBoxTest, LinkUnderlinesUnderThePointerAndOpensThePage) {
  Open();
  QLabel* link = AboutBox->HomePage;
  const QPalette::ColorRole role = link->foregroundRole();
  EXPECT_FALSE(link->font().underline());

  QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), link->mapToGlobal(QPointF(2, 2)));
  QCoreApplication::sendEvent(link, &enter);
  EXPECT_TRUE(link->font().underline());
  EXPECT_FALSE(link->font().bold());
  EXPECT_FALSE(link->font().italic());
  EXPECT_EQ(link->palette().color(role), QColor(Qt::blue));

  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(link, &leave);
  EXPECT_FALSE(link->font().underline());
  EXPECT_EQ(link->palette().color(role), QColor(Qt::blue));

  QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(3, 3));
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].target, "https://nelvor.example.com/");
  EXPECT_EQ(shell.calls[0].parameters, "");
  EXPECT_TRUE(AboutBox->isVisible());
}

TEST_F(AboutBoxTest, CloseButtonClosesTheWindow) {
  Open();
  QTest::mouseClick(AboutBox->OKButton, Qt::LeftButton);
  EXPECT_FALSE(AboutBox->isVisible());
  EXPECT_EQ(AboutBox->result(), QDialog::Accepted);
}

TEST_F(AboutBoxTest, TranslatedVersionWordKeepsTheBlankAndNumber) {
  env.WriteFile(QStringLiteral("Language/Test.lng"),
                "[About]\r\nVersion=Fassung\r\nTitle=\xc3\x9c"
                "ber\r\n");
  env.WriteFile(env.RegistryFile(),
                "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"Language\": \"Test.lng\"}}");
  Open();
  EXPECT_EQ(AboutBox->Version->text(), "Fassung 1.5.0.42");
  EXPECT_EQ(AboutBox->windowTitle(), QString::fromUtf8("\u00dcber"));
  EXPECT_EQ(AboutBox->OKButton->text(), "Close");
}

}  // namespace

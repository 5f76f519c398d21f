#pragma once

#include <QDialog>

#include "i18n/LanguageFile.h"
#include "settings/Registry.h"

class QFrame;
class QLabel;
class QPushButton;

// The maker's web page, opened by the link.
inline const QString kHomePageAddress = QStringLiteral("https://nelvor.example.com/");

// The about window: product name, version, the maker's link and copyright line, Close.
class TAboutBox : public QDialog {
 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  void FormCreate();
  void FormActivate();
  void ApplyLanguage();
  void HomePageMouseEnter();
  void HomePageMouseLeave();
  // Hands the address to the desktop and leaves the window open; the outcome is not checked.
  void HomePageClick();
  void OKButtonClick();

  QLabel* Image1;
  QFrame* Panel1;
  QLabel* ProductName;
  QLabel* Version;
  QLabel* HomePage;
  QPushButton* OKButton;
  QLabel* Copyright;

  TRegistry Registry;
  TLanguageFile Language;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildLayout();
};

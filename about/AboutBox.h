#pragma once

#include "i18n/LanguageFile.h"
#include "platform/ModalForm.h"
#include "settings/Registry.h"

class QFrame;
class QLabel;
class QPushButton;

// The maker's web page, opened by the link.
inline const QString kHomePageAddress = QStringLiteral("https://nelvor.example.com/");

// The about window: product name, version, the maker's link and copyright line, Close.
class TAboutBox : public TModalForm {
 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  void FormCreate();
  void FormActivate() override;
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
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildLayout();
};

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "UiTestSupport.h"
#include "app/Application.h"
#include "app/Forms.h"
#include "settings/AddExceptionForm.h"
#include "settings/AddMaskForm.h"
#include "settings/ListBox.h"
#include "settings/OptionsForm.h"

namespace {

// The next control that the Tab key reaches.
QWidget* NextTabStop(QWidget* widget) {
  QWidget* next = widget->nextInFocusChain();
  while (next != widget && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
  return next;
}

// What one of the two dialogs must show and where its entries go.
struct DialogCase {
  const char* name;
  TAddEntryForm* (*dialog)();
  QLineEdit* (*edit)();
  QToolButton* TOptionsForm::*addButton;
  QListWidget* TOptionsForm::*list;
  QLabel* TOptionsForm::*panel;
  QString emptyText;
  QString duplicateText;
  QString totalLabel;
  QString emptyTitleTranslated;  // with kTitlesLanguage
};

// Gives each warning title of both dialogs a text of its own.
constexpr char kTitlesLanguage[] =
    "[Masks]\r\nAttention=Masks title\r\n[Exceptions]\r\nAttention=Exceptions title\r\n"
    "[Exception]\r\nAttention=Exception title\r\n";

const DialogCase kCases[] = {
    {"mask", []() -> TAddEntryForm* { return AddMaskForm; }, [] { return AddMaskForm->MaskEdit; },
     &TOptionsForm::AddButton, &TOptionsForm::MaskBox, &TOptionsForm::StatusPanel,
     "You must enter the mask of files.", "This mask arready present!", "Total masks",
     "Masks title"},
    {"exception", []() -> TAddEntryForm* { return AddExceptionForm; },
     [] { return AddExceptionForm->ExceptionEdit; }, &TOptionsForm::AddExButton,
     &TOptionsForm::ExceptionsBox, &TOptionsForm::StatusPanel2, "You must enter the exception.",
     "This exception arready present!", "Total exceptions", "Exceptions title"},
};

void PrintTo(const DialogCase& c, std::ostream* os) {
  *os << c.name;
}

class AddDialogTest : public FormsTest, public ::testing::WithParamInterface<DialogCase> {
 protected:
  void SetUp() override {
    env.SetEnv("VANTREL_DRIVES", "C=fixed:/");
    QDir(env.Work()).mkpath(QStringLiteral("Language"));
    FormsTest::SetUp();
    OptionsForm->show();
    QCoreApplication::processEvents();
  }

  const DialogCase& Case() const { return GetParam(); }
  QListWidget* List() const { return OptionsForm->*Case().list; }
  QLabel* Panel() const { return OptionsForm->*Case().panel; }

  // Clicks the options window's add button and runs action inside the dialog's modal loop once
  // its activation has run. A dialog the action leaves open is cancelled afterwards.
  void RunDialog(const std::function<void()>& action) {
    TAddEntryForm* dialog = Case().dialog();
    QTimer::singleShot(0, dialog, [dialog, action] {
      QCoreApplication::processEvents();
      action();
      if (dialog->isVisible()) dialog->CancelButton->click();
    });
    QTest::mouseClick(OptionsForm->*Case().addButton, Qt::LeftButton);
  }

  // Types text and presses OK; answers whether the dialog closed.
  bool Add(const QString& text) {
    bool closed = false;
    RunDialog([&] {
      Case().edit()->setText(text);
      Case().dialog()->OKButton->click();
      closed = !Case().dialog()->isVisible();
    });
    return closed;
  }
};

TEST_P(AddDialogTest, RefusesAnEmptyEntry) {
  EXPECT_FALSE(Add(QString()));
  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_EQ(boxes.calls[0].title, "Attention");
  EXPECT_EQ(boxes.calls[0].text, Case().emptyText);
  EXPECT_EQ(boxes.calls[0].icon, MessageIcon::Warning);
  EXPECT_EQ(List()->count(), 0);
}

// A list file holds one entry per line: a pasted text with a line break would come back as two
// entries (a stray "*" among them), a NUL would cut the entry short.
TEST_P(AddDialogTest, RefusesLineBreaksAndNulWithTheEmptyEntryTitle) {
  env.WriteFile(QStringLiteral("Language/Titles.lng"), kTitlesLanguage);
  env.WriteFile(env.RegistryFile(),
                "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"Language\": \"Titles.lng\"}}");
  const QString texts[] = {QStringLiteral("*.tmp\n*"), QStringLiteral("a\rb"),
                           QStringLiteral("*.log\r\n"), QStringLiteral("\n"),
                           QStringLiteral("*.tmp") + QChar(u'\0') + QStringLiteral("*")};
  for (const QString& text : texts) {
    boxes.calls.clear();
    bool kept = false;
    EXPECT_FALSE(Add(text));
    RunDialog([&] { kept = Case().edit()->text() == text; });
    EXPECT_TRUE(kept);
    ASSERT_EQ(boxes.calls.size(), 1u);
    EXPECT_EQ(boxes.calls[0].title, Case().emptyTitleTranslated);
    EXPECT_EQ(boxes.calls[0].text, "An entry cannot contain a line break or a NUL character.");
    EXPECT_EQ(boxes.calls[0].icon, MessageIcon::Warning);
  }
  EXPECT_EQ(List()->count(), 0);
  // Other control characters are no line breaks: a tab is kept as typed.
  EXPECT_TRUE(Add(QStringLiteral("a\tb")));
  EXPECT_EQ(ListBoxEntries(List()), QStringList({"a\tb"}));
}

TEST_P(AddDialogTest, AcceptsBlanksAsAnEntryAndAnyLength) {
  EXPECT_TRUE(Add(QStringLiteral(" ")));
  EXPECT_TRUE(boxes.calls.empty());
  EXPECT_EQ(ListBoxEntries(List()), QStringList({" "}));
  const QString longest(40000, u'x');
  EXPECT_TRUE(Add(longest));
  EXPECT_TRUE(ListBoxEntries(List()).contains(longest));
}

TEST_P(AddDialogTest, RefusesOnlyAnExactDuplicate) {
  SetListBoxEntries(List(), {QStringLiteral("*.tmp"), QStringLiteral("b")});

  EXPECT_FALSE(Add(QStringLiteral("*.tmp")));
  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_EQ(boxes.calls[0].title, "Attention");
  EXPECT_EQ(boxes.calls[0].text, Case().duplicateText);
  EXPECT_EQ(boxes.calls[0].icon, MessageIcon::Warning);
  EXPECT_EQ(Case().edit()->text(), "*.tmp");

  // Other letter case and a leading blank make new entries, each at its sorted place.
  EXPECT_TRUE(Add(QStringLiteral("*.TMP")));
  EXPECT_EQ(Panel()->text(), Case().totalLabel + ": 3");
  EXPECT_TRUE(Add(QStringLiteral(" *.tmp")));
  EXPECT_EQ(Panel()->text(), Case().totalLabel + ": 4");
  EXPECT_TRUE(Add(QStringLiteral("a")));
  EXPECT_EQ(ListBoxEntries(List()), QStringList({" *.tmp", "*.tmp", "*.TMP", "a", "b"}));
  EXPECT_EQ(Panel()->text(), Case().totalLabel + ": 5");
  EXPECT_EQ(boxes.calls.size(), 1u);
}

TEST_P(AddDialogTest, KeepsTheTextSoTheSameEntryIsRefusedNextTime) {
  EXPECT_TRUE(Add(QStringLiteral("*.old")));
  RunDialog([&] {
    EXPECT_EQ(Case().edit()->text(), "*.old");
    Case().dialog()->OKButton->click();
  });
  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_EQ(boxes.calls[0].text, Case().duplicateText);
  EXPECT_EQ(ListBoxEntries(List()), QStringList({"*.old"}));
}

TEST_P(AddDialogTest, AddingKeepsTheSelectionAndTheOptionsWindowsRemoveButton) {
  SetListBoxEntries(List(), {QStringLiteral("b"), QStringLiteral("d")});
  List()->item(1)->setSelected(true);
  OptionsForm->RemoveButton->setEnabled(false);
  OptionsForm->RemoveExButton->setEnabled(false);
  EXPECT_TRUE(Add(QStringLiteral("a")));
  EXPECT_EQ(ListBoxEntries(List()), QStringList({"a", "b", "d"}));
  ASSERT_EQ(List()->selectedItems().size(), 1);
  EXPECT_EQ(List()->selectedItems()[0]->text(), "d");
  EXPECT_FALSE(OptionsForm->RemoveButton->isEnabled());
  EXPECT_FALSE(OptionsForm->RemoveExButton->isEnabled());
}

TEST_P(AddDialogTest, TotalLabelTurnsBackAtTheNextClickInAList) {
  EXPECT_TRUE(Add(QStringLiteral("x")));
  EXPECT_EQ(Panel()->text(), Case().totalLabel + ": 1");
  QListWidget* list = List();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(0)).center());
  EXPECT_EQ(OptionsForm->StatusPanel->text(),
            "Total mask: " + QString::number(OptionsForm->MaskBox->count()));
  EXPECT_EQ(OptionsForm->StatusPanel2->text(),
            "Exceptions: " + QString::number(OptionsForm->ExceptionsBox->count()));
}

TEST_P(AddDialogTest, EscapeDoesNotClose) {
  RunDialog([&] {
    QTest::keyClick(Case().dialog(), Qt::Key_Escape);
    EXPECT_TRUE(Case().dialog()->isVisible());
  });
  EXPECT_EQ(Case().dialog()->result(), QDialog::Rejected);
  EXPECT_TRUE(boxes.calls.empty());
}

TEST_P(AddDialogTest, CancelAddsNothing) {
  RunDialog([&] {
    Case().edit()->setText(QStringLiteral("*.tmp"));
    Case().dialog()->CancelButton->click();
    EXPECT_FALSE(Case().dialog()->isVisible());
  });
  EXPECT_EQ(List()->count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Both, AddDialogTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

class AddDialogLayoutTest : public FormsTest {};

TEST_F(AddDialogLayoutTest, MaskDialogTextsFocusAndLayout) {
  AddMaskForm->show();
  QCoreApplication::processEvents();
  EXPECT_EQ(AddMaskForm->windowTitle(), "Add mask");
  EXPECT_EQ(AddMaskForm->Label1->text(), "Enter new mask:");
  EXPECT_EQ(AddMaskForm->OKButton->text(), "OK");
  EXPECT_EQ(AddMaskForm->CancelButton->text(), "Cancel");
  EXPECT_EQ(AddMaskForm->MaskEdit->toolTip(), "This is field to enter new mask of files");
  EXPECT_EQ(AddMaskForm->OKButton->toolTip(), "Add mask to list");
  EXPECT_EQ(AddMaskForm->CancelButton->toolTip(), "Cancel addition");
  EXPECT_EQ(AddMaskForm->size(), QSize(385, 80));
  EXPECT_EQ(AddMaskForm->OKButton->geometry(), QRect(222, 50, 73, 25));
  EXPECT_EQ(AddMaskForm->CancelButton->geometry(), QRect(302, 50, 75, 25));
  EXPECT_EQ(AddMaskForm->MaskEdit->geometry(), QRect(8, 24, 369, 21));
  EXPECT_EQ(AddMaskForm->focusWidget(), AddMaskForm->MaskEdit);
  EXPECT_EQ(NextTabStop(AddMaskForm->MaskEdit), AddMaskForm->OKButton);
}

TEST_F(AddDialogLayoutTest, ExceptionDialogTextsFocusAndLayout) {
  AddExceptionForm->show();
  QCoreApplication::processEvents();
  EXPECT_EQ(AddExceptionForm->windowTitle(), "Add exception");
  EXPECT_EQ(AddExceptionForm->Label1->text(), "Enter new exception:");
  EXPECT_EQ(AddExceptionForm->ExceptionEdit->toolTip(), "This is field to enter new exception");
  EXPECT_EQ(AddExceptionForm->OKButton->toolTip(), "Add exception to list");
  EXPECT_EQ(AddExceptionForm->CancelButton->toolTip(), "Cancel addition");
  EXPECT_EQ(AddExceptionForm->OKButton->geometry(), QRect(222, 50, 75, 25));
  EXPECT_EQ(AddExceptionForm->focusWidget(), AddExceptionForm->OKButton);
  EXPECT_EQ(NextTabStop(AddExceptionForm->OKButton), AddExceptionForm->CancelButton);
  EXPECT_EQ(NextTabStop(AddExceptionForm->CancelButton), AddExceptionForm->ExceptionEdit);

  // The buttons' hints are set but never shown.
  QHelpEvent help(QEvent::ToolTip, QPoint(2, 2),
                  AddExceptionForm->OKButton->mapToGlobal(QPoint(2, 2)));
  QObject* filter = AddExceptionForm;
  EXPECT_TRUE(filter->eventFilter(AddExceptionForm->OKButton, &help));
}

TEST_F(AddDialogLayoutTest, EnterOnTheFreshExceptionDialogWarnsOfTheEmptyEntry) {
  AddExceptionForm->show();
  QCoreApplication::processEvents();
  QTest::keyClick(AddExceptionForm->focusWidget(), Qt::Key_Return);
  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_EQ(boxes.calls[0].title, "Attention");
  EXPECT_EQ(boxes.calls[0].text, "You must enter the exception.");
  EXPECT_TRUE(AddExceptionForm->isVisible());
}

TEST_F(AddDialogLayoutTest, EnterInTheMaskEditPressesOk) {
  AddMaskForm->show();
  QCoreApplication::processEvents();
  AddMaskForm->MaskEdit->setText(QStringLiteral("*.bak"));
  QTest::keyClick(AddMaskForm->MaskEdit, Qt::Key_Return);
  EXPECT_EQ(ListBoxEntries(OptionsForm->MaskBox), QStringList({"*.bak"}));
  EXPECT_FALSE(AddMaskForm->isVisible());
}

TEST_F(AddDialogLayoutTest, DuplicateExceptionTitleComesFromSectionException) {
  env.WriteFile(QStringLiteral("Language/Only.lng"),
                "[Exceptions]\r\nAttention=Achtung\r\n[Find]\r\nPresent2=Schon da\r\n");
  env.WriteFile(env.RegistryFile(),
                "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"Language\": \"Only.lng\"}}");
  SetListBoxEntries(OptionsForm->ExceptionsBox, {QStringLiteral("x")});
  AddExceptionForm->show();
  QCoreApplication::processEvents();

  AddExceptionForm->OKButton->click();
  AddExceptionForm->ExceptionEdit->setText(QStringLiteral("x"));
  AddExceptionForm->OKButton->click();
  ASSERT_EQ(boxes.calls.size(), 2u);
  EXPECT_EQ(boxes.calls[0].title, "Achtung");
  EXPECT_EQ(boxes.calls[0].text, "You must enter the exception.");
  EXPECT_EQ(boxes.calls[1].title, "Attention");
  EXPECT_EQ(boxes.calls[1].text, "Schon da!");
}

}  // namespace

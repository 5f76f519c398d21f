#pragma once

#include "settings/AddEntryForm.h"

// The add-exception dialog: adds one exception to the options window's ExceptionsBox.
class TAddExceptionForm : public TAddEntryForm {
 public:
  explicit TAddExceptionForm(QWidget* parent = nullptr);

  QLineEdit* const ExceptionEdit;

 protected:
  QListWidget* TargetList() const override;
  QLabel* TargetPanel() const override;
};

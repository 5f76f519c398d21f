#pragma once

#include "settings/AddEntryForm.h"

// The add-mask dialog: adds one mask to the options window's MaskBox.
class TAddMaskForm : public TAddEntryForm {
 public:
  explicit TAddMaskForm(QWidget* parent = nullptr);

  QLineEdit* const MaskEdit;

 protected:
  QListWidget* TargetList() const override;
  QLabel* TargetPanel() const override;
};

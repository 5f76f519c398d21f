#include "settings/AddMaskForm.h"

#include "app/Forms.h"
#include "settings/OptionsForm.h"

namespace {

constexpr AddEntryKind kMaskKind{
    .editName = "MaskEdit",
    .title = Txt::Masks_Title,
    .label = Txt::Masks_Label,
    .ok = Txt::Masks_OK,
    .cancel = Txt::Masks_Cancel,
    .fieldHint = Txt::Masks_FieldHint,
    .okHint = Txt::Masks_OKHint,
    .cancelHint = Txt::Masks_CancelHint,
    .emptyTitle = Txt::Masks_Attention,
    .emptyText = Txt::Masks_YouMust,
    .duplicateTitle = Txt::Masks_Attention,
    .duplicateText = Txt::Find_Present,
    .totalLabel = Txt::Options_TotalMasks_AddMask,
    .buttonHintsShown = true,
    .okButtonFirst = false,
    .okButtonWidth = 73,
};

}  // namespace

TAddMaskForm::TAddMaskForm(QWidget* parent) : TAddEntryForm(kMaskKind, parent), MaskEdit(Edit()) {
  setObjectName(QStringLiteral("AddMaskForm"));
}

QListWidget* TAddMaskForm::TargetList() const {
  return OptionsForm->MaskBox;
}

QLabel* TAddMaskForm::TargetPanel() const {
  return OptionsForm->StatusPanel;
}

#include "settings/AddExceptionForm.h"

#include "app/Forms.h"
#include "settings/OptionsForm.h"

namespace {

// The duplicate warning's title comes from section Exception, in the singular, unlike the
// empty-entry warning's.
constexpr AddEntryKind kExceptionKind{
    .editName = "ExceptionEdit",
    .title = Txt::Exceptions_Title,
    .label = Txt::Exceptions_Label,
    .ok = Txt::Exceptions_OK,
    .cancel = Txt::Exceptions_Cancel,
    .fieldHint = Txt::Exceptions_FieldHint,
    .okHint = Txt::Exceptions_OKHint,
    .cancelHint = Txt::Exceptions_CancelHint,
    .emptyTitle = Txt::Exceptions_Attention,
    .emptyText = Txt::Exceptions_YouMust,
    .duplicateTitle = Txt::Exception_Attention,
    .duplicateText = Txt::Find_Present2,
    .totalLabel = Txt::Options_TotalExceptions,
    .buttonHintsShown = false,
    .okButtonFirst = true,
    .okButtonWidth = 75,
};

}  // namespace

TAddExceptionForm::TAddExceptionForm(QWidget* parent)
    : TAddEntryForm(kExceptionKind, parent), ExceptionEdit(Edit()) {
  setObjectName(QStringLiteral("AddExceptionForm"));
}

QListWidget* TAddExceptionForm::TargetList() const {
  return OptionsForm->ExceptionsBox;
}

QLabel* TAddExceptionForm::TargetPanel() const {
  return OptionsForm->StatusPanel2;
}

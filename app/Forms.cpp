#include "app/Forms.h"

TMainForm* MainForm = nullptr;
TFindForm* FindForm = nullptr;
TAboutBox* AboutBox = nullptr;
TOptionsForm* OptionsForm = nullptr;
TAddMaskForm* AddMaskForm = nullptr;
TAddExceptionForm* AddExceptionForm = nullptr;

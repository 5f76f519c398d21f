#pragma once

// The program's six windows, each a single instance created at start-up in this order and alive
// until the program ends. Windows reach each other's controls through these variables.
class TMainForm;
class TFindForm;
class TAboutBox;
class TOptionsForm;
class TAddMaskForm;
class TAddExceptionForm;

extern TMainForm* MainForm;
extern TFindForm* FindForm;
extern TAboutBox* AboutBox;
extern TOptionsForm* OptionsForm;
extern TAddMaskForm* AddMaskForm;
extern TAddExceptionForm* AddExceptionForm;

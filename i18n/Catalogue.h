#pragma once

#include <QString>
#include <QStringView>
#include <vector>

class TLanguageFile;

// Every text the windows look up: name, section, key, English default. The defaults are the
// program's own texts, misspellings included. One key read with two defaults (TotalMasks) has
// two rows; "Exception"/"Attention" and "Exceptions"/"Attention" are different rows.
#define VANTREL_CATALOGUE(X)                                                                    \
  X(About_Title, "About", "Title", "About")                                                     \
  X(About_OKButton, "About", "OKButton", "Close")                                               \
  X(About_OKButtonHint, "About", "OKButtonHint", "Close this window")                           \
  X(About_HomePageHint, "About", "HomePageHint", "Visit Vantrel Web Page")                      \
  X(About_Version, "About", "Version", "Version")                                               \
  X(Exception_Attention, "Exception", "Attention", "Attention")                                 \
  X(Exceptions_Title, "Exceptions", "Title", "Add exception")                                   \
  X(Exceptions_Label, "Exceptions", "Label", "Enter new exception")                             \
  X(Exceptions_OK, "Exceptions", "OK", "OK")                                                    \
  X(Exceptions_Cancel, "Exceptions", "Cancel", "Cancel")                                        \
  X(Exceptions_FieldHint, "Exceptions", "FieldHint", "This is field to enter new exception")    \
  X(Exceptions_OKHint, "Exceptions", "OKHint", "Add exception to list")                         \
  X(Exceptions_CancelHint, "Exceptions", "CancelHint", "Cancel addition")                       \
  X(Exceptions_Attention, "Exceptions", "Attention", "Attention")                               \
  X(Exceptions_YouMust, "Exceptions", "YouMust", "You must enter the exception")                \
  X(Find_Title, "Find", "Title", "List of unuseful files")                                      \
  X(Find_Delete, "Find", "Delete", "Delete")                                                    \
  X(Find_Stop, "Find", "Stop", "Stop")                                                          \
  X(Find_Close, "Find", "Close", "Close")                                                       \
  X(Find_DeleteHint, "Find", "DeleteHint", "Delete selected files")                             \
  X(Find_StopHint, "Find", "StopHint", "Stop checking")                                         \
  X(Find_CloseHint, "Find", "CloseHint", "Close this window")                                   \
  X(Find_SelAllHint, "Find", "SelAllHint", "Select all")                                        \
  X(Find_UnSelHint, "Find", "UnSelHint", "Unselect all")                                        \
  X(Find_InvertHint, "Find", "InvertHint", "Invert selection")                                  \
  X(Find_Files, "Find", "Files", "Files")                                                       \
  X(Find_Scanning, "Find", "Scanning", "Scanning")                                              \
  X(Find_Cleaning, "Find", "Cleaning", "Cleaning")                                              \
  X(Find_NoDisk, "Find", "NoDisk", "No disk or disk error")                                     \
  X(Find_TotalSize, "Find", "TotalSize", "Total size")                                          \
  X(Find_Finished, "Find", "Finished", "Finished")                                              \
  X(Find_CannotDel, "Find", "CannotDel", "Cannot delete file")                                  \
  X(Find_Deleted, "Find", "Deleted", "Deleted files")                                           \
  X(Find_Of, "Find", "Of", "of")                                                                \
  X(Find_Present, "Find", "Present", "This mask arready present")                               \
  X(Find_Present2, "Find", "Present2", "This exception arready present")                        \
  X(Find_HelperEnded, "Find", "HelperEnded", "the file system helper ended unexpectedly")       \
  X(Main_DriveLabel, "Main", "DriveLabel", "Select drives")                                     \
  X(Main_Start, "Main", "Start", "Start")                                                       \
  X(Main_Exit, "Main", "Exit", "Exit")                                                          \
  X(Main_Options, "Main", "Options", "Options")                                                 \
  X(Main_Action, "Main", "Action", "Action")                                                    \
  X(Main_Help, "Main", "Help", "Help")                                                          \
  X(Main_About, "Main", "About", "About")                                                       \
  X(Main_Fixed, "Main", "Fixed", "Hard Drive")                                                  \
  X(Main_Removable, "Main", "Removable", "Removable Drive")                                     \
  X(Main_Remote, "Main", "Remote", "Remote Drive")                                              \
  X(Main_RAM, "Main", "RAM", "RAM Drive")                                                       \
  X(Masks_Title, "Masks", "Title", "Add mask")                                                  \
  X(Masks_Label, "Masks", "Label", "Enter new mask")                                            \
  X(Masks_OK, "Masks", "OK", "OK")                                                              \
  X(Masks_Cancel, "Masks", "Cancel", "Cancel")                                                  \
  X(Masks_FieldHint, "Masks", "FieldHint", "This is field to enter new mask of files")          \
  X(Masks_OKHint, "Masks", "OKHint", "Add mask to list")                                        \
  X(Masks_CancelHint, "Masks", "CancelHint", "Cancel addition")                                 \
  X(Masks_Attention, "Masks", "Attention", "Attention")                                         \
  X(Masks_YouMust, "Masks", "YouMust", "You must enter the mask of files")                      \
  X(Options_Title, "Options", "Title", "Options")                                               \
  X(Options_Bar1Title, "Options", "Bar1Title", "Etensions of files")                            \
  X(Options_Bar3Title, "Options", "Bar3Title", "Exceptions of files")                           \
  X(Options_AddHint, "Options", "AddHint", "Add new mask")                                      \
  X(Options_RemoveHint, "Options", "RemoveHint", "Remove mask")                                 \
  X(Options_AddExHint, "Options", "AddExHint", "Add new exception")                             \
  X(Options_RemoveExHint, "Options", "RemoveExHint", "Remove exception")                        \
  X(Options_OKHint, "Options", "OKHint", "Apply changs")                                        \
  X(Options_DrivesAutoCheck, "Options", "DrivesAutoCheck",                                      \
    "Automaticly select all hard drives at startup")                                            \
  X(Options_FoundedAutoCheck, "Options", "FoundedAutoCheck", "Automaticly select all founded files") \
  X(Options_LanguageTitle, "Options", "LanguageTitle", "Language")                              \
  X(Options_Masks, "Options", "Masks", "Masks")                                                 \
  X(Options_Properties, "Options", "Properties", "Properties")                                  \
  X(Options_Language, "Options", "Language", "Language")                                        \
  X(Options_ITemp, "Options", "ITemp", "Check Internet Temporary Folder")                       \
  X(Options_Temp, "Options", "Temp", "Check Temporary Folders")                                 \
  X(Options_UseTrash, "Options", "UseTrash", "Move deleted files to the trash")                 \
  X(Options_TotalMasks, "Options", "TotalMasks", "Total mask")                                  \
  X(Options_TotalMasks_AddMask, "Options", "TotalMasks", "Total masks")                         \
  X(Options_Exceptions, "Options", "Exceptions", "Exceptions")                                  \
  X(Options_TotalExceptions, "Options", "TotalExceptions", "Total exceptions")

struct CatalogueText {
  QStringView name;
  QStringView section;
  QStringView key;
  QStringView defaultText;
};

namespace Txt {
#define VANTREL_DECLARE_TEXT(name, section, key, text) \
  inline constexpr CatalogueText name{u## #name, u##section, u##key, u##text};
VANTREL_CATALOGUE(VANTREL_DECLARE_TEXT)
#undef VANTREL_DECLARE_TEXT
}  // namespace Txt

// Every row of the catalogue, in table order.
const std::vector<CatalogueText>& Catalogue();

// ReadLanguageString through the given handle with the row's section, key and default.
QString Tr(const TLanguageFile& language, const CatalogueText& text);

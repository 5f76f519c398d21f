#pragma once

#include <QString>
#include <QtGlobal>

class TLanguageFile;

// The find window's status texts, composed from looked-up words and the program's own
// punctuation. Every word is looked up through the given handle when the text is made.

// A byte count as the total-size panel shows it: above 1,024,000 bytes in millions (" Mb"),
// above 1,024 in thousands (" Kb"), otherwise " bytes"; rounded to the nearest whole number,
// halfway to even.
QString SizeText(quint64 bytes);

// "Total size: 3 Mb".
QString TotalSizeText(const TLanguageFile& language, quint64 bytes);
// "Files: 12".
QString FilesText(const TLanguageFile& language, qsizetype count);
// " Scanning: [/home/user/]": the directory as shown, with its trailing "/".
QString ScanningText(const TLanguageFile& language, const QString& directory);
// " Scanning: [Temporary directories]".
QString TempDirectoriesText(const TLanguageFile& language);
// " Cleaning: [Temporary Internet Files]".
QString CleaningText(const TLanguageFile& language);
// " Finished".
QString FinishedText(const TLanguageFile& language);
// " Deleted files 3 of 10".
QString DeletedText(const TLanguageFile& language, qsizetype deleted, qsizetype found);
// " (Cannot delete file)": what a failed deletion appends to its entry.
QString CannotDeleteSuffix(const TLanguageFile& language);
// The warning box for a walk whose starting folder is missing.
QString NoDiskTitle(const TLanguageFile& language);
QString NoDiskText(const TLanguageFile& language);

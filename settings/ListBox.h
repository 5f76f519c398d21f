#pragma once

#include <QString>
#include <QStringList>

class QListWidget;

// The options window's list boxes hold the program's mask list and exception list, sorted
// without regard to case (CompareEntries).

// Every entry in display order.
QStringList ListBoxEntries(const QListWidget* box);

// Replaces all entries with the given ones, sorted.
void SetListBoxEntries(QListWidget* box, QStringList entries);

// Loads a list file into the box (the box is untouched when the load fails: EFileError).
void LoadListBox(QListWidget* box, const QString& fileName);

// Saves the box's entries to the list file (EFileError "Cannot create file %s").
void SaveListBox(const QListWidget* box, const QString& fileName);

// Inserts one entry at its sorted place without changing the selection; returns its row.
int InsertSorted(QListWidget* box, const QString& entry);

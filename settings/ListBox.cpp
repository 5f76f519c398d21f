#include "settings/ListBox.h"

#include <QListWidget>

#include "settings/ListFile.h"

QStringList ListBoxEntries(const QListWidget* box) {
  QStringList entries;
  entries.reserve(box->count());
  for (int i = 0; i < box->count(); ++i) entries.append(box->item(i)->text());
  return entries;
}

void SetListBoxEntries(QListWidget* box, QStringList entries) {
  SortEntries(entries);
  box->clear();
  box->addItems(entries);
}

void LoadListBox(QListWidget* box, const QString& fileName) {
  SetListBoxEntries(box, LoadListFile(fileName));
}

void SaveListBox(const QListWidget* box, const QString& fileName) {
  SaveListFile(ListBoxEntries(box), fileName);
}

int InsertSorted(QListWidget* box, const QString& entry) {
  const int row = SortedInsertIndex(ListBoxEntries(box), entry);
  box->insertItem(row, entry);
  return row;
}

#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "helper/FoundFile.h"
#include "scan/PathSet.h"

// The entry path of a result entry's text: for a marked entry (last character ")") the text
// before the first " (", or the whole text when it has none; for any other entry the whole text.
QString EntryPath(const QString& text);

// Whether an entry text is marked: its last character is ")".
bool IsMarkedText(const QString& text);

// A finding's path: bytes the result list keeps (TResultList::StorePath), with a NUL after them.
// A pointer and a length rather than a QByteArray, in 12 bytes: a check may list a million.
class [[gnu::packed]] StoredPath {
 public:
  StoredPath() = default;
  StoredPath(const char* data, size_t size) : data_(data), size_(static_cast<quint32>(size)) {}

  const char* constData() const { return data_; }
  qsizetype size() const { return size_; }
  bool endsWith(char c) const { return size_ > 0 && data_[size_ - 1] == c; }
  std::string_view View() const { return std::string_view(data_, size_); }

 private:
  const char* data_ = "";
  quint32 size_ = 0;
};

// One finding: the file's exact path bytes, what it was when found, and its tick. Kept small: a
// check may list a million of them.
struct ResultEntry {
  StoredPath path;  // absolute; never changed once listed (the duplicate set points into it)
  // The kernel's device numbers have 32 bits (12 major, 20 minor), and the C library's st_dev
  // keeps those in its low 32.
  quint32 device = 0;
  quint64 size = 0;  // bytes, as last measured
  quint64 inode = 0;
  quint32 relativeStart = 0;  // where the part below the walk's root folder begins in path
  quint16 marker = 0;         // after a failed deletion: its text, as TResultList::Marker
  // Bits, so that the entry stays within 40 bytes.
  bool checked : 1 = false;
  bool symlink : 1 = false;
  // False while device and inode are unknown (listed without a stat: the first measuring takes
  // them); such an entry's file is never removed.
  bool identified : 1 = true;
};
static_assert(sizeof(StoredPath) == 12 && sizeof(ResultEntry) <= 40);

// What a measuring found under an entry's path; kind 0 when nothing (or neither a file nor a
// link), 1 a file, 2 a link.
struct MeasuredIdentity {
  quint64 device = 0;
  quint64 inode = 0;
  quint8 kind = 0;
};

// What the helper needs of an entry to remove or measure its file.
TFoundFile FoundFileOf(const ResultEntry& entry);

// The result list (TempFileList's model): entries in the order they were found, each shown as
// its path (names as text, unprintable bytes escaped) plus its marker, with a tick.
//
// Appends are collected and announced to views in batches (CommitPending), so that a walk
// producing hundreds of thousands of findings does not pay a view update per file; every other
// change commits the pending appends first, and Count() includes them.
class TResultList : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit TResultList(QObject* parent = nullptr);

  // QAbstractListModel: one row per committed entry; DisplayRole is Text(), CheckStateRole the
  // tick. A tick set through setData (the user's click) emits UserTickChanged.
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  qsizetype Count() const { return static_cast<qsizetype>(entries_.size()); }
  bool IsEmpty() const { return entries_.empty(); }
  const ResultEntry& Entry(qsizetype row) const { return entries_[static_cast<size_t>(row)]; }

  // The entry's text: its path as shown, then its marker.
  QString Text(qsizetype row) const;
  // The text a marker number stands for (0: none).
  const QString& Marker(quint16 marker) const { return markers_[marker]; }
  bool IsMarked(qsizetype row) const;

  // Whether no unmarked entry has exactly this path (byte for byte: on Linux a.tmp and A.tmp
  // are two files). The first call indexes the paths; later changes keep the index.
  bool IsNewEntry(std::string_view path) const;
  // Whether an unmarked entry's path begins with folder (a walk of that folder may then meet a
  // listed file again; otherwise every file it meets is new).
  bool HoldsPathUnder(std::string_view folder) const;

  // Appends an unticked entry (announced to views at the next CommitPending or other change).
  void Append(ResultEntry entry);
  // The bytes of folder followed by name, kept by the list itself (with a NUL after them) until
  // it is cleared, as a path for an entry of this list: a finding costs no allocation of its own.
  StoredPath StorePath(std::string_view folder, std::string_view name);
  void CommitPending();

  void Clear();

  bool Checked(qsizetype row) const { return entries_[static_cast<size_t>(row)].checked; }
  void SetChecked(qsizetype row, bool checked);
  void SetAllChecked(bool checked);
  void InvertChecks();
  // Unticks every marked entry.
  void UncheckMarked();
  qsizetype CheckedCount() const { return checkedCount_; }
  // Counts ticks set since the list was made; lets a deletion notice ticks added meanwhile.
  quint64 TickGeneration() const { return tickGeneration_; }

  // Rewrites the entry as marked (path, marker) and unticks it.
  void MarkFailed(qsizetype row, const QString& marker);

  // Removes the given rows (any order, no duplicates).
  void RemoveRows(std::vector<qsizetype> rows);

  // Sum of the entries' sizes as last measured.
  quint64 RunningTotal() const { return runningTotal_; }
  // Changes whenever rows go.
  quint64 Revision() const { return revision_; }
  // An entry's size as just measured; the running total follows.
  void SetMeasuredSize(qsizetype row, quint64 size);
  // Once every entry was measured: whether some entry is still not identified is known afresh.
  void EndMeasuring();
  // An entry not yet identified takes the identity a measuring found, when of a file or link.
  void Identify(qsizetype row, const MeasuredIdentity& identity);
  // Whether some entry is not identified (once true, until a measuring finds them all).
  bool HasUnidentified() const { return unidentified_; }

 signals:
  void UserTickChanged(int row);

 private:
  void TickChanged(ResultEntry& entry, bool checked);

  // A deque grows without moving what it holds: no moment with the whole list held twice.
  std::deque<ResultEntry> entries_;
  // The stored paths, in blocks; an entry's path views its bytes here. Released by Clear only.
  struct FreeBlock {
    void operator()(char* block) const;
  };
  std::vector<std::unique_ptr<char, FreeBlock>> pathBlocks_;
  size_t pathBlocksBytes_ = 0;
  size_t pathBlockUsed_ = 0;
  size_t pathBlockSize_ = 0;
  QStringList markers_{QString()};  // the distinct marker texts; 0 is none
  size_t committed_ = 0;
  // Paths of unmarked entries, viewing the entries' own bytes, once asked for.
  mutable TPathSet paths_;
  mutable bool indexed_ = false;
  quint64 runningTotal_ = 0;
  bool unidentified_ = false;
  quint64 revision_ = 0;  // changes whenever rows go
  qsizetype checkedCount_ = 0;
  quint64 tickGeneration_ = 0;
};

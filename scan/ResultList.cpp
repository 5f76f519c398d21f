#include "scan/ResultList.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

#include "platform/TextCodec.h"

QString EntryPath(const QString& text) {
  if (!IsMarkedText(text)) return text;
  const qsizetype cut = text.indexOf(QStringLiteral(" ("));
  return cut < 0 ? text : text.left(cut);
}

bool IsMarkedText(const QString& text) {
  return text.endsWith(u')');
}

TFoundFile FoundFileOf(const ResultEntry& entry) {
  TFoundFile file;
  file.path.assign(entry.path.View());
  file.relativeStart = entry.relativeStart;
  file.device = entry.device;
  file.inode = entry.inode;
  file.symlink = entry.symlink;
  return file;
}

namespace {

// Above this many separate runs a removal resets the views instead of announcing each run:
// each run costs the views a pass over their rows.
constexpr size_t kMaxAnnouncedRuns = 16;

}  // namespace

TResultList::TResultList(QObject* parent) : QAbstractListModel(parent) {}

int TResultList::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(committed_);
}

QVariant TResultList::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<size_t>(index.row()) >= committed_) return QVariant();
  switch (role) {
    case Qt::DisplayRole:
      return Text(index.row());
    case Qt::CheckStateRole:
      return Checked(index.row()) ? Qt::Checked : Qt::Unchecked;
    default:
      return QVariant();
  }
}

bool TResultList::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !index.isValid() ||
      static_cast<size_t>(index.row()) >= committed_)
    return false;
  SetChecked(index.row(), value.toInt() == Qt::Checked);
  emit UserTickChanged(index.row());
  return true;
}

Qt::ItemFlags TResultList::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
         Qt::ItemNeverHasChildren;
}

QString TResultList::Text(qsizetype row) const {
  const ResultEntry& entry = Entry(row);
  return DisplayPath(entry.path.constData(), static_cast<size_t>(entry.path.size())) +
         markers_[entry.marker];
}

bool TResultList::IsMarked(qsizetype row) const {
  const ResultEntry& entry = Entry(row);
  return entry.marker != 0 || entry.path.endsWith(')');
}

bool TResultList::IsNewEntry(std::string_view path) const {
  if (!indexed_) {
    // Built when first asked: a walk that cannot meet a listed path never asks.
    paths_.Reserve(entries_.size());
    for (const ResultEntry& entry : entries_)
      if (entry.marker == 0) paths_.Insert(entry.path.constData());
    indexed_ = true;
  }
  return !paths_.Contains(path);
}

namespace {

constexpr size_t kPathBlock = 64 * 1024;
// Past this many bytes of paths a list is a long one: its blocks are large and ask the kernel for
// huge pages, so that the pages' first touches (a fault each 4 KiB) cost a long list nothing
// much; a short list keeps small blocks and wastes no memory on them.
constexpr size_t kLongListBytes = 8 * 1024 * 1024;
constexpr size_t kHugePage = 2 * 1024 * 1024;
constexpr size_t kLongListBlock = 2 * kHugePage;

}  // namespace

void TResultList::FreeBlock::operator()(char* block) const {
  std::free(block);
}

StoredPath TResultList::StorePath(std::string_view folder, std::string_view name) {
  const size_t length = folder.size() + name.size();
  if (pathBlocks_.empty() || pathBlockUsed_ + length + 1 > pathBlockSize_) {
    const bool longList = pathBlocksBytes_ >= kLongListBytes && length + 1 <= kLongListBlock;
    pathBlockSize_ = longList ? kLongListBlock : std::max(kPathBlock, length + 1);
    // Not zeroed first: every byte is written before it is read.
    char* block = static_cast<char*>(longList ? std::aligned_alloc(kHugePage, pathBlockSize_)
                                              : std::malloc(pathBlockSize_));
    if (block == nullptr) throw std::bad_alloc();
    // Only a wish: where the kernel has no huge page at hand, the block gets small ones.
    if (longList) ::madvise(block, pathBlockSize_, MADV_HUGEPAGE);
    pathBlocks_.emplace_back(block);
    pathBlocksBytes_ += pathBlockSize_;
    pathBlockUsed_ = 0;
  }
  char* at = pathBlocks_.back().get() + pathBlockUsed_;
  std::memcpy(at, folder.data(), folder.size());
  std::memcpy(at + folder.size(), name.data(), name.size());
  at[length] = '\0';
  pathBlockUsed_ += length + 1;
  return StoredPath(at, length);
}

bool TResultList::HoldsPathUnder(std::string_view folder) const {
  for (const ResultEntry& entry : entries_) {
    if (entry.marker == 0 && entry.path.View().starts_with(folder)) return true;
  }
  return false;
}

void TResultList::Append(ResultEntry entry) {
  entry.checked = false;
  runningTotal_ += entry.size;
  unidentified_ |= !entry.identified;
  entries_.push_back(std::move(entry));
  if (indexed_ && entries_.back().marker == 0) paths_.Insert(entries_.back().path.constData());
}

void TResultList::CommitPending() {
  if (committed_ == entries_.size()) return;
  beginInsertRows(QModelIndex(), static_cast<int>(committed_),
                  static_cast<int>(entries_.size()) - 1);
  committed_ = entries_.size();
  endInsertRows();
}

void TResultList::Clear() {
  ++revision_;
  beginResetModel();
  entries_.clear();
  entries_.shrink_to_fit();
  pathBlocks_.clear();
  pathBlocksBytes_ = 0;
  pathBlockUsed_ = 0;
  pathBlockSize_ = 0;
  paths_.Clear();
  indexed_ = false;
  committed_ = 0;
  runningTotal_ = 0;
  unidentified_ = false;
  checkedCount_ = 0;
  endResetModel();
}

void TResultList::TickChanged(ResultEntry& entry, bool checked) {
  if (entry.checked == checked) return;
  entry.checked = checked;
  checkedCount_ += checked ? 1 : -1;
  if (checked) ++tickGeneration_;
}

void TResultList::SetChecked(qsizetype row, bool checked) {
  CommitPending();
  ResultEntry& entry = entries_[static_cast<size_t>(row)];
  if (entry.checked == checked) return;
  TickChanged(entry, checked);
  const QModelIndex at = index(static_cast<int>(row));
  emit dataChanged(at, at, {Qt::CheckStateRole});
}

void TResultList::SetAllChecked(bool checked) {
  CommitPending();
  for (ResultEntry& entry : entries_) TickChanged(entry, checked);
  if (!entries_.empty())
    emit dataChanged(index(0), index(static_cast<int>(committed_) - 1), {Qt::CheckStateRole});
}

void TResultList::InvertChecks() {
  CommitPending();
  for (ResultEntry& entry : entries_) TickChanged(entry, !entry.checked);
  if (!entries_.empty())
    emit dataChanged(index(0), index(static_cast<int>(committed_) - 1), {Qt::CheckStateRole});
}

void TResultList::UncheckMarked() {
  CommitPending();
  for (qsizetype row = 0; row < Count(); ++row) {
    if (Checked(row) && IsMarked(row)) SetChecked(row, false);
  }
}

void TResultList::MarkFailed(qsizetype row, const QString& marker) {
  CommitPending();
  ResultEntry& entry = entries_[static_cast<size_t>(row)];
  TickChanged(entry, false);
  // A marked entry's text is no longer its path: the duplicate test no longer sees it.
  if (indexed_ && entry.marker == 0) paths_.Erase(entry.path.View());
  qsizetype known = markers_.indexOf(marker, 1);
  if (known < 0) {
    markers_.append(marker);
    known = markers_.size() - 1;
  }
  entry.marker = static_cast<quint16>(std::min<qsizetype>(known, 0xFFFF));
  const QModelIndex at = index(static_cast<int>(row));
  emit dataChanged(at, at, {Qt::DisplayRole, Qt::CheckStateRole});
}

void TResultList::RemoveRows(std::vector<qsizetype> rows) {
  if (rows.empty()) return;
  CommitPending();
  ++revision_;
  std::sort(rows.begin(), rows.end(), std::greater<>());
  for (qsizetype row : rows) {
    ResultEntry& entry = entries_[static_cast<size_t>(row)];
    if (indexed_ && entry.marker == 0) paths_.Erase(entry.path.View());
    runningTotal_ -= std::min(runningTotal_, entry.size);
    TickChanged(entry, false);
  }

  // Runs of adjacent rows, highest first: [first, last].
  std::vector<std::pair<qsizetype, qsizetype>> runs;
  for (qsizetype row : rows) {
    if (!runs.empty() && runs.back().first == row + 1)
      runs.back().first = row;
    else
      runs.emplace_back(row, row);
  }

  if (runs.size() <= kMaxAnnouncedRuns) {
    for (const auto& [first, last] : runs) {
      beginRemoveRows(QModelIndex(), static_cast<int>(first), static_cast<int>(last));
      entries_.erase(entries_.begin() + first, entries_.begin() + last + 1);
      committed_ = entries_.size();
      endRemoveRows();
    }
    return;
  }
  beginResetModel();
  std::vector<bool> gone(entries_.size(), false);
  for (qsizetype row : rows) gone[static_cast<size_t>(row)] = true;
  size_t kept = 0;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (gone[i]) continue;
    if (kept != i) entries_[kept] = std::move(entries_[i]);
    ++kept;
  }
  entries_.resize(kept);
  committed_ = kept;
  endResetModel();
}

void TResultList::SetMeasuredSize(qsizetype row, quint64 size) {
  ResultEntry& entry = entries_[static_cast<size_t>(row)];
  runningTotal_ = runningTotal_ - std::min(runningTotal_, entry.size) + size;
  entry.size = size;
}

void TResultList::EndMeasuring() {
  unidentified_ = std::any_of(entries_.begin(), entries_.end(),
                              [](const ResultEntry& entry) { return !entry.identified; });
}

void TResultList::Identify(qsizetype row, const MeasuredIdentity& identity) {
  ResultEntry& entry = entries_[static_cast<size_t>(row)];
  if (entry.identified || identity.kind == 0) return;
  entry.device = static_cast<quint32>(identity.device);
  entry.inode = identity.inode;
  entry.symlink = identity.kind == 2;
  entry.identified = true;
}

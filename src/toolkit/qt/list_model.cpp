// SPDX-License-Identifier: MIT
#include "toolkit/qt/list_model.h"

#include <algorithm>

#include "base/room.h"

namespace pelmora::toolkit::qt {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void ListRow::Assign(base::SharedText item, std::size_t cells) {
  item_ = std::move(item);
  itemCell_ = 0;
  text_.clear();
  ends_.assign(cells, 0);
}

void ListRow::SetCell(std::size_t column, std::string_view text) {
  if (column >= ends_.size()) return;
  if (column == itemCell_) {
    itemCell_ = kNoItem;
    item_ = {};
  }
  const std::size_t begin = Begin(column);
  const std::size_t length = ends_[column] - begin;
  text_.replace(begin, length, text);
  // The cells from this one on end that much further along (or back).
  const auto shift = static_cast<std::uint32_t>(text.size()) - static_cast<std::uint32_t>(length);
  for (std::size_t i = column; i < ends_.size(); ++i) ends_[i] += shift;
}

void ListRow::InsertCell(std::size_t column) {
  column = std::min(column, ends_.size());
  const auto at = static_cast<std::uint32_t>(Begin(column));
  ends_.insert(ends_.begin() + static_cast<std::ptrdiff_t>(column), at);
  if (itemCell_ != kNoItem && column <= itemCell_) ++itemCell_;
}

std::string ListRow::Cell(std::size_t column, const ItemForm& form) const {
  if (column >= ends_.size()) return {};
  if (column == itemCell_) return form ? form(item_.view()) : std::string(item_.view());
  const std::size_t begin = Begin(column);
  return text_.substr(begin, ends_[column] - begin);
}

bool ListRow::Same(const ListRow& other, const ItemForm& form) const {
  if (text_ != other.text_ || ends_ != other.ends_ || itemCell_ != other.itemCell_) return false;
  if (itemCell_ == kNoItem || item_ == other.item_) return true;
  return form && form(item_.view()) == form(other.item_.view());
}

void ListRow::GiveBackRoom() { base::GiveBackRoom(text_); }

void ListModel::Generation::GiveBackRoom() {
  // Spare rows, kept so that a rebuild reuses their strings, are room too.
  const auto used = static_cast<std::size_t>(count);
  if (base::TooMuchRoom(rows.size(), used, sizeof(ListRow))) {
    rows.resize(used);
    base::GiveBackRoom(rows);
  }
  for (ListRow& row : rows) row.GiveBackRoom();
}

void ListModel::Generation::ReleaseItems(int first) {
  for (auto row = rows.begin() + std::min<std::ptrdiff_t>(first, std::ssize(rows));
       row != rows.end(); ++row) {
    row->ReleaseItem();
  }
}

ListRow& ListModel::Generation::Insert(int position) {
  if (rows.size() <= static_cast<std::size_t>(count)) rows.resize(count + 1);
  // The row past the last one in use becomes the new one, moved into place
  // when it is not there: its string keeps its storage.
  const auto first = rows.begin() + position;
  const auto last = rows.begin() + count;
  std::rotate(first, last, last + 1);
  ++count;
  return *first;
}

int ListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shown_.count;
}

int ListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Columns();
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole) return ToQString(ShownCell(index.row(), index.column()));
  if (role != Qt::AccessibleTextRole) return {};
  // A cell is read with its header, without the header's padding blanks.
  const QString header =
      index.column() < headers_.size() ? headers_[index.column()].trimmed() : QString();
  const QString text = ToQString(ShownCell(index.row(), index.column()));
  if (header.isEmpty()) return text;
  return text.isEmpty() ? header : header + u' ' + text;
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= headers_.size()) return {};
  if (role == Qt::DisplayRole) return headers_[section];
  // The blanks that widen a column are not read out.
  if (role == Qt::AccessibleTextRole) return headers_[section].trimmed();
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ListModel::InsertColumn(int position, const QString& text) {
  beginInsertColumns(QModelIndex(), position, position);
  const bool first = headers_.isEmpty();
  headers_.insert(position, text);
  // A new empty cell in every row shown; the first column takes the text a
  // row had before there were columns. The next rows take their cells as
  // they are written.
  if (!first) {
    for (int row = 0; row < shown_.count; ++row) {
      shown_.At(row).InsertCell(static_cast<std::size_t>(position));
    }
  }
  endInsertColumns();
}

void ListModel::SetItemForm(ListRow::ItemForm form) {
  form_ = std::move(form);
  if (shown_.count > 0 && !headers_.isEmpty()) {
    emit dataChanged(index(0, 0), index(shown_.count - 1, Columns() - 1), {Qt::DisplayRole});
  }
}

std::string ListModel::ShownCell(int row, int column) const {
  if (row < 0 || row >= shown_.count || column < 0) return {};
  return shown_.At(row).Cell(static_cast<std::size_t>(column), form_);
}

void ListModel::ClearShown() {
  beginResetModel();
  shown_.count = 0;
  shown_.ReleaseItems(0);
  endResetModel();
}

void ListModel::InsertShownRow(int position, base::SharedText item) {
  beginInsertRows(QModelIndex(), position, position);
  shown_.Insert(position).Assign(std::move(item), Stride());
  endInsertRows();
}

void ListModel::SetShownCell(int row, int column, std::string_view text) {
  shown_.At(row).SetCell(static_cast<std::size_t>(column), text);
  const QModelIndex cell = index(row, column);
  emit dataChanged(cell, cell, {Qt::DisplayRole});
}

void ListModel::InsertNextRow(int position, base::SharedText item) {
  next_.Insert(position).Assign(std::move(item), Stride());
}

void ListModel::SetNextCell(int row, int column, std::string_view text) {
  next_.At(row).SetCell(static_cast<std::size_t>(column), text);
}

void ListModel::ShowNext() {
  // The rows the two generations share at their start and at their end
  // stay; in between, rows changed, and rows came or went at the end of
  // that stretch.
  const int before = shown_.count;
  const int after = next_.count;
  int head = 0;
  while (head < before && head < after && shown_.At(head).Same(next_.At(head), form_)) ++head;
  int tail = 0;
  while (tail < before - head && tail < after - head &&
         shown_.At(before - 1 - tail).Same(next_.At(after - 1 - tail), form_)) {
    ++tail;
  }
  const int gone = before - head - tail;
  const int came = after - head - tail;
  // First the rows that changed in place, then the rows that came or went
  // after them: the view is told of each change as the rows take it.
  const int changed = std::min(gone, came);
  for (int row = head; row < head + changed; ++row) shown_.At(row) = next_.At(row);
  if (changed > 0 && !headers_.isEmpty()) {
    emit dataChanged(index(head, 0), index(head + changed - 1, Columns() - 1), {Qt::DisplayRole});
  }
  if (came < gone) {
    beginRemoveRows(QModelIndex(), head + came, head + gone - 1);
    std::swap(shown_, next_);
    endRemoveRows();
  } else if (came > gone) {
    beginInsertRows(QModelIndex(), head + gone, head + came - 1);
    std::swap(shown_, next_);
    endInsertRows();
  } else {
    std::swap(shown_, next_);
  }
  shown_.GiveBackRoom();
  next_.GiveBackRoom();
  shown_.ReleaseItems(shown_.count);
  next_.ReleaseItems(0);
}

}  // namespace pelmora::toolkit::qt

// SPDX-License-Identifier: MIT
#include "toolkit/qt/list_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <algorithm>

#include "toolkit/runtime_error.h"

namespace pelmora::toolkit::qt {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

int ListViewModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int ListViewModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant ListViewModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return {};
  return ToQString(Cell(index.row(), index.column()));
}

QVariant ListViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= headers_.size()) return {};
  if (role == Qt::DisplayRole) return headers_[section];
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags ListViewModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ListViewModel::InsertColumn(int position, const QString& text) {
  beginInsertColumns(QModelIndex(), position, position);
  const std::size_t before = headers_.size();
  const std::size_t after = before + 1;
  std::vector<std::string> cells(static_cast<std::size_t>(rows_) * after);
  for (int row = 0; row < rows_; ++row) {
    for (std::size_t column = 0; column < before; ++column) {
      const std::size_t to = column < static_cast<std::size_t>(position) ? column : column + 1;
      cells[static_cast<std::size_t>(row) * after + to] =
          std::move(At(row, static_cast<int>(column)));
    }
  }
  cells_ = std::move(cells);
  headers_.insert(position, text);
  endInsertColumns();
}

void ListViewModel::BeginReset() {
  beginResetModel();
  resetting_ = true;
}

void ListViewModel::EndReset() {
  resetting_ = false;
  endResetModel();
}

void ListViewModel::Clear() {
  if (resetting_) {
    rows_ = 0;
    return;
  }
  beginResetModel();
  rows_ = 0;
  endResetModel();
}

void ListViewModel::InsertRow(int position, std::string_view text) {
  const std::size_t columns = Stride();
  if (!resetting_) beginInsertRows(QModelIndex(), position, position);
  const std::size_t used = static_cast<std::size_t>(rows_ + 1) * columns;
  if (cells_.size() < used) cells_.resize(used);
  // The row past the last is the new one; moved into place when it is not there.
  const auto first = cells_.begin() + static_cast<std::ptrdiff_t>(position * columns);
  const auto last = cells_.begin() + static_cast<std::ptrdiff_t>(rows_ * columns);
  std::rotate(first, last, last + static_cast<std::ptrdiff_t>(columns));
  ++rows_;
  for (std::size_t column = 0; column < columns; ++column) first[column].clear();
  first->assign(text);
  if (!resetting_) endInsertRows();
}

void ListViewModel::SetCell(int row, int column, std::string_view text) {
  At(row, column).assign(text);
  if (!resetting_) {
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
  }
}

std::string_view ListViewModel::Cell(int row, int column) const {
  if (row < 0 || row >= rows_ || column < 0 || static_cast<std::size_t>(column) >= Stride())
    return {};
  return cells_[static_cast<std::size_t>(row) * Stride() + static_cast<std::size_t>(column)];
}

QtListView::QtListView(QWidget* parent) : QTreeView(parent), model_(this) {
  setModel(&model_);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setAllColumnsShowFocus(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHeaderHidden(false);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
    if (index.isValid()) emit ItemClick();
  });
}

void QtListView::AddColumnHeader(int32_t index, std::string_view text) {
  if (index < 1 || index > model_.Columns() + 1) {
    throw RuntimeError("column header index out of bounds");
  }
  model_.InsertColumn(index - 1, ToQString(text));
}

int32_t QtListView::ColumnHeaderCount() const { return model_.Columns(); }

void QtListView::AutoSizeColumnToHeader(int32_t column) {
  if (column < 0 || column >= model_.Columns()) {
    throw RuntimeError("column index out of bounds");
  }
  header()->resizeSection(column, header()->sectionSizeHint(column));
}

void QtListView::BeginUpdate() {
  if (updating_) return;
  updating_ = true;
  savedVerticalScroll_ = verticalScrollBar()->value();
  savedHorizontalScroll_ = horizontalScrollBar()->value();
  model_.BeginReset();
}

void QtListView::ClearItems() {
  model_.Clear();
  if (!model_.Resetting()) selectionModel()->clear();
}

void QtListView::AddItem(int64_t index, std::string_view text) {
  if (index < 1 || index > static_cast<int64_t>(model_.Rows()) + 1) {
    throw RuntimeError("list item index out of bounds");
  }
  model_.InsertRow(static_cast<int>(index - 1), text);
}

void QtListView::SetSubItem(int64_t index, int32_t subItem, std::string_view text) {
  if (index < 1 || index > model_.Rows()) throw RuntimeError("list item index out of bounds");
  if (subItem < 1 || subItem >= model_.Columns()) throw RuntimeError("sub-item out of bounds");
  model_.SetCell(static_cast<int>(index - 1), subItem, text);
}

void QtListView::EndUpdate() {
  if (!updating_) return;
  updating_ = false;
  model_.EndReset();
  selectionModel()->clear();
  // Lay the rows out now so the scroll ranges fit the new rows.
  executeDelayedItemsLayout();
  QScrollBar* vertical = verticalScrollBar();
  vertical->setValue(std::clamp(savedVerticalScroll_, vertical->minimum(), vertical->maximum()));
  QScrollBar* horizontal = horizontalScrollBar();
  horizontal->setValue(
      std::clamp(savedHorizontalScroll_, horizontal->minimum(), horizontal->maximum()));
}

std::optional<int64_t> QtListView::SelectedIndex() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  if (rows.isEmpty()) return std::nullopt;
  return static_cast<int64_t>(rows.first().row()) + 1;
}

std::string QtListView::SelectedText() const {
  const std::optional<int64_t> selected = SelectedIndex();
  return selected ? ItemText(*selected, 0) : std::string();
}

std::string QtListView::ItemText(int64_t index, int32_t column) const {
  if (index < 1 || index > model_.Rows()) return {};
  return std::string(model_.Cell(static_cast<int>(index - 1), column));
}

void QtListView::keyPressEvent(QKeyEvent* event) {
  const std::optional<int64_t> before = SelectedIndex();
  QTreeView::keyPressEvent(event);
  const std::optional<int64_t> after = SelectedIndex();
  if (after && after != before) emit ItemClick();
}

}  // namespace pelmora::toolkit::qt

// SPDX-License-Identifier: MIT
#include "toolkit/qt/list_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionHeader>
#include <algorithm>

#include "toolkit/runtime_error.h"

namespace pelmora::toolkit::qt {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The header row. Qt measures a section with a bold copy of the font (for
// a sort indicator the list never shows), which would map a second large
// CJK font file only to measure: here the header's own font measures.
class ListHeader : public QHeaderView {
 public:
  explicit ListHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

 protected:
  QSize sectionSizeFromContents(int logicalIndex) const override {
    if (!model()) return {};
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.section = logicalIndex;
    option.fontMetrics = fontMetrics();
    option.text = model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString();
    return style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), this);
  }
};

}  // namespace

int ListViewModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shown_.count;
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
  const bool first = headers_.isEmpty();
  headers_.insert(position, text);
  // A new empty cell in every row; the first column takes the text a row
  // had before there were columns.
  if (!first) {
    for (int row = 0; row < shown_.count; ++row) {
      std::string& cells = shown_.rows[static_cast<std::size_t>(row)];
      const auto at = position < Columns() - 1 ? Span(cells, position).first : cells.size();
      cells.insert(at, 1, '\0');
    }
  }
  endInsertColumns();
}

std::pair<std::size_t, std::size_t> ListViewModel::Span(std::string_view row, int column) {
  std::size_t begin = 0;
  for (int i = 0; i < column; ++i) {
    const std::size_t end = row.find('\0', begin);
    if (end == std::string_view::npos) return {row.size(), 0};
    begin = end + 1;
  }
  const std::size_t end = row.find('\0', begin);
  return {begin, (end == std::string_view::npos ? row.size() : end) - begin};
}

void ListViewModel::BeginRebuild() {
  rebuilding_ = true;
  next_.count = 0;
}

bool ListViewModel::SameRow(int shownRow, int nextRow) const {
  return shown_.rows[static_cast<std::size_t>(shownRow)] ==
         next_.rows[static_cast<std::size_t>(nextRow)];
}

void ListViewModel::EndRebuild() {
  rebuilding_ = false;
  // The rows the two sets share at their start and at their end stay; in
  // between, rows changed, and rows came or went at the end of that stretch.
  const int before = shown_.count;
  const int after = next_.count;
  int head = 0;
  while (head < before && head < after && SameRow(head, head)) ++head;
  int tail = 0;
  while (tail < before - head && tail < after - head &&
         SameRow(before - 1 - tail, after - 1 - tail)) {
    ++tail;
  }
  const int gone = before - head - tail;
  const int came = after - head - tail;
  // First the rows that changed in place, then the rows that came or went
  // after them: the view is told of each change as the rows take it.
  const int changed = std::min(gone, came);
  for (int row = head; row < head + changed; ++row) {
    shown_.rows[static_cast<std::size_t>(row)] = next_.rows[static_cast<std::size_t>(row)];
  }
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
}

void ListViewModel::Clear() {
  if (rebuilding_) {
    next_.count = 0;
    return;
  }
  beginResetModel();
  shown_.count = 0;
  endResetModel();
}

void ListViewModel::InsertRow(int position, std::string_view text) {
  RowSet& set = Written();
  if (!rebuilding_) beginInsertRows(QModelIndex(), position, position);
  if (set.rows.size() <= static_cast<std::size_t>(set.count)) set.rows.resize(set.count + 1);
  // The string past the last row is the new one; moved into place when it
  // is not there.
  const auto first = set.rows.begin() + position;
  const auto last = set.rows.begin() + set.count;
  std::rotate(first, last, last + 1);
  ++set.count;
  first->assign(text);
  first->append(Stride(), '\0');
  if (!rebuilding_) endInsertRows();
}

void ListViewModel::SetCell(int row, int column, std::string_view text) {
  std::string& cells = Written().rows[static_cast<std::size_t>(row)];
  const auto [begin, length] = Span(cells, column);
  cells.replace(begin, length, text);
  if (!rebuilding_) {
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
  }
}

std::string_view ListViewModel::Cell(int row, int column) const {
  if (row < 0 || row >= shown_.count || column < 0 ||
      static_cast<std::size_t>(column) >= Stride()) {
    return {};
  }
  const std::string_view cells = shown_.rows[static_cast<std::size_t>(row)];
  const auto [begin, length] = Span(cells, column);
  return cells.substr(begin, length);
}

QtListView::QtListView(QWidget* parent) : QTreeView(parent), model_(this) {
  setHeader(new ListHeader(this));
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
  model_.BeginRebuild();
}

void QtListView::ClearItems() {
  model_.Clear();
  if (!model_.Rebuilding()) selectionModel()->clear();
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
  model_.EndRebuild();
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

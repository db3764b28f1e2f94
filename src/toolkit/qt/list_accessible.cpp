// SPDX-License-Identifier: MIT
#include "toolkit/qt/list_accessible.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QWidget>
#include <QWindow>
#include <utility>

#include "toolkit/qt/list_view.h"

namespace pelmora::toolkit::qt {
namespace {

qint64 CellKey(int row, int column) { return (static_cast<qint64>(row) + 1) * 65536 + column; }

QWindow* WindowOf(const QWidget* widget) {
  const QWidget* top = widget ? widget->window() : nullptr;
  return top ? top->windowHandle() : nullptr;
}

}  // namespace

ListViewAccessible::ListViewAccessible(QtListView* view)
    : QAccessibleWidget(view, QAccessible::Tree) {}

ListViewAccessible::~ListViewAccessible() {
  for (const QAccessible::Id id : std::as_const(cells_)) QAccessible::deleteAccessibleInterface(id);
}

QtListView* ListViewAccessible::View() const { return static_cast<QtListView*>(widget()); }

void* ListViewAccessible::interface_cast(QAccessible::InterfaceType type) {
  if (type == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
  return QAccessibleWidget::interface_cast(type);
}

int ListViewAccessible::columnCount() const { return View()->model()->columnCount(); }

int ListViewAccessible::rowCount() const { return View()->model()->rowCount(); }

int ListViewAccessible::childCount() const { return (rowCount() + 1) * columnCount(); }

QAccessibleInterface* ListViewAccessible::Cell(int row, int column) const {
  if (column < 0 || column >= columnCount() || row < -1 || row >= rowCount()) return nullptr;
  const qint64 key = CellKey(row, column);
  const auto found = cells_.constFind(key);
  if (found != cells_.constEnd()) {
    if (QAccessibleInterface* cell = QAccessible::accessibleInterface(*found)) return cell;
  }
  auto* cell = new ListCellAccessible(View(), row, column);
  cells_.insert(key, QAccessible::registerAccessibleInterface(cell));
  return cell;
}

QAccessibleInterface* ListViewAccessible::child(int index) const {
  const int columns = columnCount();
  if (index < 0 || columns == 0) return nullptr;
  return Cell(index / columns - 1, index % columns);
}

int ListViewAccessible::indexOfChild(const QAccessibleInterface* child) const {
  const auto* cell = dynamic_cast<const ListCellAccessible*>(child);
  if (!cell || !cell->isValid() || cell->parent() != this) return -1;
  return (cell->rowIndex() + 1) * columnCount() + cell->columnIndex();
}

QAccessibleInterface* ListViewAccessible::childAt(int x, int y) const {
  QtListView* view = View();
  const QPoint global(x, y);
  QHeaderView* header = view->header();
  if (header->isVisible() && header->rect().contains(header->mapFromGlobal(global))) {
    return HeaderCell(header->logicalIndexAt(header->mapFromGlobal(global)));
  }
  const QModelIndex index = view->indexAt(view->viewport()->mapFromGlobal(global));
  return index.isValid() ? Cell(index.row(), index.column()) : nullptr;
}

QAccessibleInterface* ListViewAccessible::focusChild() const {
  const QModelIndex current = View()->currentIndex();
  if (!View()->hasFocus() || !current.isValid()) return nullptr;
  return Cell(current.row(), current.column());
}

QAccessibleInterface* ListViewAccessible::HeaderCell(int column) const { return Cell(-1, column); }

QAccessibleInterface* ListViewAccessible::cellAt(int row, int column) const {
  return row < 0 ? nullptr : Cell(row, column);
}

QList<int> ListViewAccessible::selectedRows() const {
  QList<int> rows;
  for (const QModelIndex& index : View()->selectionModel()->selectedRows()) rows << index.row();
  return rows;
}

int ListViewAccessible::selectedRowCount() const { return static_cast<int>(selectedRows().size()); }

int ListViewAccessible::selectedCellCount() const { return selectedRowCount() * columnCount(); }

QList<QAccessibleInterface*> ListViewAccessible::selectedCells() const {
  QList<QAccessibleInterface*> cells;
  for (const int row : selectedRows()) {
    for (int column = 0; column < columnCount(); ++column) cells << Cell(row, column);
  }
  return cells;
}

QString ListViewAccessible::columnDescription(int column) const {
  return View()->model()->headerData(column, Qt::Horizontal, Qt::AccessibleTextRole).toString();
}

bool ListViewAccessible::isRowSelected(int row) const {
  return row >= 0 && row < rowCount() &&
         View()->selectionModel()->isRowSelected(row, QModelIndex());
}

bool ListViewAccessible::selectRow(int row) {
  if (row < 0 || row >= rowCount()) return false;
  // The chosen row becomes the current one too, as a click makes it.
  View()->selectionModel()->setCurrentIndex(
      View()->model()->index(row, 0),
      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  return true;
}

bool ListViewAccessible::unselectRow(int row) {
  if (!isRowSelected(row)) return false;
  View()->selectionModel()->select(View()->model()->index(row, 0),
                                   QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
  return true;
}

void ListViewAccessible::ForgetCells(bool all) {
  const int rows = rowCount();
  const int columns = columnCount();
  for (auto it = cells_.begin(); it != cells_.end();) {
    const int row = static_cast<int>(it.key() / 65536) - 1;
    const int column = static_cast<int>(it.key() % 65536);
    if (all || row >= rows || column >= columns) {
      QAccessible::deleteAccessibleInterface(*it);
      it = cells_.erase(it);
    } else {
      ++it;
    }
  }
}

void ListViewAccessible::modelChange(QAccessibleTableModelChangeEvent* event) {
  switch (event->modelChangeType()) {
    case QAccessibleTableModelChangeEvent::ModelReset:
    case QAccessibleTableModelChangeEvent::ColumnsInserted:
    case QAccessibleTableModelChangeEvent::ColumnsRemoved:
      ForgetCells(true);
      break;
    case QAccessibleTableModelChangeEvent::RowsRemoved:
      ForgetCells(false);
      break;
    default:
      break;
  }
}

bool ListCellAccessible::isValid() const {
  return view_ && column_ < view_->model()->columnCount() && row_ < view_->model()->rowCount();
}

QWindow* ListCellAccessible::window() const { return WindowOf(view_); }

QAccessibleInterface* ListCellAccessible::parent() const {
  return QAccessible::queryAccessibleInterface(view_.data());
}

QString ListCellAccessible::text(QAccessible::Text t) const {
  if (t != QAccessible::Name || !isValid()) return {};
  QAbstractItemModel* model = view_->model();
  if (IsHeader())
    return model->headerData(column_, Qt::Horizontal, Qt::AccessibleTextRole).toString();
  return model->data(model->index(row_, column_), Qt::AccessibleTextRole).toString();
}

QRect ListCellAccessible::rect() const {
  if (!isValid()) return {};
  if (IsHeader()) {
    QHeaderView* header = view_->header();
    const QRect section(header->sectionViewportPosition(column_), 0, header->sectionSize(column_),
                        header->height());
    return section.translated(header->mapToGlobal(QPoint(0, 0)));
  }
  const QRect cell = view_->visualRect(view_->model()->index(row_, column_));
  return cell.translated(view_->viewport()->mapToGlobal(QPoint(0, 0)));
}

QAccessible::Role ListCellAccessible::role() const {
  return IsHeader() ? QAccessible::ColumnHeader : QAccessible::TreeItem;
}

QAccessible::State ListCellAccessible::state() const {
  QAccessible::State state;
  if (!isValid()) {
    state.invisible = true;
    return state;
  }
  if (IsHeader()) {
    state.invisible = !view_->isVisible() || view_->header()->isHidden();
    return state;
  }
  // A row scrolled out of view is not showing; a column scrolled out of
  // view sideways is, with the rest of its row.
  const QRect cell = view_->visualRect(view_->model()->index(row_, column_));
  const QRect area = view_->viewport()->rect();
  state.invisible = !view_->isVisible() || cell.bottom() < area.top() || cell.top() > area.bottom();
  state.selectable = true;
  state.focusable = true;
  state.selected = isSelected();
  const QModelIndex current = view_->currentIndex();
  state.focused = view_->hasFocus() && current.row() == row_ && current.column() == column_;
  return state;
}

void* ListCellAccessible::interface_cast(QAccessible::InterfaceType type) {
  if (type == QAccessible::TableCellInterface) {
    return static_cast<QAccessibleTableCellInterface*>(this);
  }
  return nullptr;
}

bool ListCellAccessible::isSelected() const {
  return !IsHeader() && isValid() && view_->selectionModel()->isRowSelected(row_, QModelIndex());
}

QList<QAccessibleInterface*> ListCellAccessible::columnHeaderCells() const {
  if (IsHeader() || !isValid()) return {};
  auto* table = dynamic_cast<ListViewAccessible*>(parent());
  QAccessibleInterface* header = table ? table->HeaderCell(column_) : nullptr;
  return header ? QList<QAccessibleInterface*>{header} : QList<QAccessibleInterface*>{};
}

}  // namespace pelmora::toolkit::qt

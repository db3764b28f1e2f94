// SPDX-License-Identifier: MIT
#pragma once
#include <QAccessibleWidget>
#include <QHash>
#include <QList>
#include <QPointer>

namespace pelmora::toolkit::qt {

class QtListView;

// The list as assistive tools read it: a table of its rows, under a header
// row, whose every cell is read with its column's header ("参照回数 3").
// Every column of a row on screen counts as showing, also one scrolled out
// of view sideways, so a screen reader that reads the row it is on reads
// all of it. Children are numbered as Qt's own item views number them (the
// header cells, then row by row), so the list's own events find them.
class ListViewAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
 public:
  explicit ListViewAccessible(QtListView* view);
  ~ListViewAccessible() override;

  void* interface_cast(QAccessible::InterfaceType type) override;
  int childCount() const override;
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessibleInterface* childAt(int x, int y) const override;
  QAccessibleInterface* focusChild() const override;

  QAccessibleInterface* caption() const override { return nullptr; }
  QAccessibleInterface* summary() const override { return nullptr; }
  QAccessibleInterface* cellAt(int row, int column) const override;
  int selectedCellCount() const override;
  QList<QAccessibleInterface*> selectedCells() const override;
  QString columnDescription(int column) const override;
  QString rowDescription(int) const override { return {}; }
  int selectedColumnCount() const override { return 0; }
  int selectedRowCount() const override;
  int columnCount() const override;
  int rowCount() const override;
  QList<int> selectedColumns() const override { return {}; }
  QList<int> selectedRows() const override;
  bool isColumnSelected(int) const override { return false; }
  bool isRowSelected(int row) const override;
  bool selectRow(int row) override;
  bool selectColumn(int) override { return false; }
  bool unselectRow(int row) override;
  bool unselectColumn(int) override { return false; }
  void modelChange(QAccessibleTableModelChangeEvent* event) override;

  // The header cell of a column, or nullptr.
  QAccessibleInterface* HeaderCell(int column) const;

 private:
  QtListView* View() const;
  // The cell of row (-1: the header row) and column, made once and kept.
  QAccessibleInterface* Cell(int row, int column) const;
  // Forgets the cells of rows and columns the list no longer has; all of
  // them when the columns changed, since every child's number did.
  void ForgetCells(bool all);

  mutable QHash<qint64, QAccessible::Id> cells_;  // by row * 65536 + column
};

// One cell of the list, or of its header row (row -1).
class ListCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
 public:
  ListCellAccessible(QtListView* view, int row, int column)
      : view_(view), row_(row), column_(column) {}

  bool isValid() const override;
  QObject* object() const override { return nullptr; }
  QWindow* window() const override;
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override;
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QString text(QAccessible::Text t) const override;
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override;
  QAccessible::Role role() const override;
  QAccessible::State state() const override;
  void* interface_cast(QAccessible::InterfaceType type) override;

  bool isSelected() const override;
  QList<QAccessibleInterface*> columnHeaderCells() const override;
  QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
  int columnIndex() const override { return column_; }
  int rowIndex() const override { return row_; }
  int columnExtent() const override { return 1; }
  int rowExtent() const override { return 1; }
  QAccessibleInterface* table() const override { return parent(); }

 private:
  bool IsHeader() const { return row_ < 0; }

  QPointer<QtListView> view_;
  int row_;
  int column_;
};

}  // namespace pelmora::toolkit::qt

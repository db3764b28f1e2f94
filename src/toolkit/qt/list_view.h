// SPDX-License-Identifier: MIT
#pragma once
#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QTreeView>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "toolkit/list_view.h"

namespace pelmora::toolkit::qt {

// The rows and header texts behind a QtListView. Cells are kept as the
// UTF-8 texts they were given, row after row in one array whose strings
// keep their storage from one rebuild to the next; the view asks only for
// the rows it shows, and only those become QStrings.
//
// A rebuild (BeginRebuild to EndRebuild) writes a second set of rows while
// the view goes on showing the first; at its end the model tells the view
// only what differs: the rows that changed, and the rows that came or went
// where the two sets part. Rows that stayed as they were are not drawn again.
class ListViewModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  using QAbstractTableModel::QAbstractTableModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  void InsertColumn(int position, const QString& text);
  void BeginRebuild();
  void EndRebuild();
  bool Rebuilding() const { return rebuilding_; }
  // These write the rows under rebuild during a rebuild, the shown ones
  // otherwise.
  void Clear();
  void InsertRow(int position, std::string_view text);
  void SetCell(int row, int column, std::string_view text);
  int Rows() const { return Written().count; }
  // A cell of the rows shown; empty outside them.
  std::string_view Cell(int row, int column) const;
  int Columns() const { return static_cast<int>(headers_.size()); }

 private:
  // A row is one string: its cells one after the other, each ended by a
  // NUL byte (cell texts hold none: they are valid UTF-8 names and numbers).
  struct RowSet {
    std::vector<std::string> rows;  // the first `count` in use; more kept for later rows
    int count = 0;
  };
  // Cells a row takes: one per column, and one for its text before any
  // column exists.
  std::size_t Stride() const { return std::max<std::size_t>(1, headers_.size()); }
  RowSet& Written() { return rebuilding_ ? next_ : shown_; }
  const RowSet& Written() const { return rebuilding_ ? next_ : shown_; }
  // Where a cell's text lies in its row string.
  static std::pair<std::size_t, std::size_t> Span(std::string_view row, int column);
  bool SameRow(int shownRow, int nextRow) const;

  QStringList headers_;
  RowSet shown_;
  RowSet next_;
  bool rebuilding_ = false;
};

// A list in report view: header row, whole-row single selection, not
// editable. ItemClick comes on a mouse click on a row and when the keyboard
// moves the selection to another row.
class QtListView : public QTreeView, public toolkit::ListView {
  Q_OBJECT
 public:
  explicit QtListView(QWidget* parent = nullptr);

  // Inserts a column at position index (from 1).
  void AddColumnHeader(int32_t index, std::string_view text) override;
  int32_t ColumnHeaderCount() const override;
  void AutoSizeColumnToHeader(int32_t column) override;

  void BeginUpdate() override;
  void ClearItems() override;
  // Inserts a row at position index (from 1, at most one past the last row).
  void AddItem(int64_t index, std::string_view text) override;
  // Sets column subItem + 1 of row index; subItem from 1 to the column count - 1.
  void SetSubItem(int64_t index, int32_t subItem, std::string_view text) override;
  // Ends the rebuild: the rows show, no row is selected, and the scroll
  // position is the one at BeginUpdate, as far as the new rows reach.
  void EndUpdate() override;

  std::optional<int64_t> SelectedIndex() const override;
  std::string SelectedText() const override;

  // Text of row index (from 1), column (zero-based).
  std::string ItemText(int64_t index, int32_t column) const;
  int64_t ItemCount() const { return model_.Rows(); }

 signals:
  void ItemClick();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  ListViewModel model_;
  int savedVerticalScroll_ = 0;
  int savedHorizontalScroll_ = 0;
  bool updating_ = false;
};

}  // namespace pelmora::toolkit::qt

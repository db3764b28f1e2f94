// SPDX-License-Identifier: MIT
#pragma once
#include <QTreeView>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "toolkit/list_view.h"
#include "toolkit/qt/list_model.h"

namespace pelmora::toolkit::qt {

// A list in report view: header row, whole-row single selection, not
// editable. SelectionChange comes whenever the user's choice of row changes,
// however it was made (a press, the keyboard, a drag, an assistive tool) or
// undone; ItemClick comes on a click on the row already selected, which
// changes no selection. Neither comes for what the list does itself: a
// rebuild, or clearing its rows.
//
// For assistive tools (ListViewAccessible) the current row is the selected
// one: the focus coming into the list, or a row chosen without moving
// (Space), tells them that row. With no row chosen, the arrow keys start
// from the top, so the first Down chooses the first row.
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
  void SetItemForm(ItemForm form) override;
  // Inserts a row at position index (from 1, at most one past the last row).
  void AddItem(int64_t index, base::SharedText item) override;
  using toolkit::ListView::AddItem;
  // Sets column subItem + 1 of row index; subItem from 1 to the column count - 1.
  void SetSubItem(int64_t index, int32_t subItem, std::string_view text) override;
  // Ends the rebuild: the rows show, no row is selected, and the scroll
  // position is the one at BeginUpdate, as far as the new rows reach.
  void EndUpdate() override;

  std::optional<int64_t> SelectedIndex() const override;
  std::string SelectedText() const override;

  // Text of row index (from 1), column (zero-based).
  std::string ItemText(int64_t index, int32_t column) const;
  // Rows shown.
  int64_t ItemCount() const { return model_.ShownRows(); }

 signals:
  void SelectionChange();
  void ItemClick();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  // Makes the selected row the current one and tells assistive tools of it,
  // unless they heard of it since the focus came in. Runs after the event
  // that asks for it, so it comes after Qt's word of the focus itself.
  void AnnounceCurrentRow();

  // The rows AddItem and SetSubItem write: the next ones during a rebuild.
  int WrittenRows() const { return updating_ ? model_.NextRows() : model_.ShownRows(); }

  ListModel model_;
  int savedVerticalScroll_ = 0;
  int savedHorizontalScroll_ = 0;
  bool updating_ = false;
  bool clearing_ = false;          // the list empties its selection itself
  bool selectionChanged_ = false;  // since the last mouse press
  int announcedRow_ = -1;          // the row assistive tools last heard of, while focused
};

}  // namespace pelmora::toolkit::qt

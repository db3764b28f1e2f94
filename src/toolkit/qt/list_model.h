// SPDX-License-Identifier: MIT
#pragma once
#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/shared_text.h"
#include "toolkit/list_view.h"

namespace pelmora::toolkit::qt {

// One row of a list: its item, shared with whoever else holds it, which
// its first cell shows in the list's item form, and the other cells' UTF-8
// texts one after the other in one string, with where each cell ends in it
// (the item's cell is empty there). Any byte may stand in a cell.
class ListRow {
 public:
  using ItemForm = toolkit::ListView::ItemForm;

  // The row with `item` in its first cell and `cells` cells in all.
  void Assign(base::SharedText item, std::size_t cells);
  // A cell's text; the item's cell takes text in place of the item.
  void SetCell(std::size_t column, std::string_view text);
  // A new empty cell before `column` (or after the last).
  void InsertCell(std::size_t column);
  std::string Cell(std::size_t column, const ItemForm& form) const;
  // Whether the rows show the same texts; their items are put in the form
  // only when their bytes differ.
  bool Same(const ListRow& other, const ItemForm& form) const;
  // Lets go of the item; the strings keep their room (a spare row).
  void ReleaseItem() { item_ = {}; }
  // Gives back the room a much longer text once took (base/room.h).
  void GiveBackRoom();

 private:
  static constexpr std::size_t kNoItem = static_cast<std::size_t>(-1);
  std::size_t Begin(std::size_t column) const { return column == 0 ? 0 : ends_[column - 1]; }

  base::SharedText item_;
  std::size_t itemCell_ = kNoItem;  // the cell that shows the item
  std::string text_;
  std::vector<std::uint32_t> ends_;
};

// The rows and header texts behind a list view, in two generations: the
// rows shown, which the view reads, and the next rows, written during a
// rebuild while the view goes on showing the others. The view asks only for
// the rows it shows, and only those become QStrings.
//
// ShowNext ends a rebuild: the next rows become the ones shown and the view
// is told only what differs: first the rows changed in place, then the rows
// that came or went where the two generations part. Rows that stayed as
// they were are not drawn again. Both generations keep their strings from
// one rebuild to the next, but not the room that texts much longer than
// today's took, nor more spare rows than a few: what long names of
// processes now gone made grow is given back. Spare rows hold no items: a
// name is held by the rows shown, shared, and nowhere else in the list.
class ListModel : public QAbstractTableModel {
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
  int Columns() const { return static_cast<int>(headers_.size()); }

  // The rows shown; each write is told to the view at once.
  int ShownRows() const { return shown_.count; }
  // How the rows' items show (ListView::SetItemForm).
  void SetItemForm(ListRow::ItemForm form);
  // A cell of the rows shown; empty outside them.
  std::string ShownCell(int row, int column) const;
  void ClearShown();
  void InsertShownRow(int position, base::SharedText item);
  void SetShownCell(int row, int column, std::string_view text);

  // The next rows: written unseen, shown by ShowNext.
  int NextRows() const { return next_.count; }
  void ClearNext() { next_.count = 0; }
  void InsertNextRow(int position, base::SharedText item);
  void SetNextCell(int row, int column, std::string_view text);
  void ShowNext();

 private:
  struct Generation {
    std::vector<ListRow> rows;  // the first `count` in use; more kept for later rows
    int count = 0;
    ListRow& Insert(int position);
    ListRow& At(int row) { return rows[static_cast<std::size_t>(row)]; }
    const ListRow& At(int row) const { return rows[static_cast<std::size_t>(row)]; }
    void GiveBackRoom();
    // Lets go of the items of the rows from `first` on.
    void ReleaseItems(int first);
  };
  // Cells a row takes: one per column, and one for its text before any
  // column exists.
  std::size_t Stride() const { return headers_.isEmpty() ? 1 : headers_.size(); }

  QStringList headers_;
  ListRow::ItemForm form_;
  Generation shown_;
  Generation next_;
};

}  // namespace pelmora::toolkit::qt

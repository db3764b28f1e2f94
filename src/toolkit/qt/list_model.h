// SPDX-License-Identifier: MIT
#pragma once
#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::toolkit::qt {

// One row of a list: its cells' UTF-8 texts one after the other in one
// string, and where each cell ends in it. Any byte may stand in a cell.
class ListRow {
 public:
  // The row with `text` in its first cell and `cells` cells in all.
  void Assign(std::string_view text, std::size_t cells);
  void SetCell(std::size_t column, std::string_view text);
  // A new empty cell before `column` (or after the last).
  void InsertCell(std::size_t column);
  std::string_view Cell(std::size_t column) const;
  // Gives back the room a much longer text once took (base/room.h).
  void GiveBackRoom();
  bool operator==(const ListRow& other) const = default;

 private:
  std::size_t Begin(std::size_t column) const { return column == 0 ? 0 : ends_[column - 1]; }

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
// processes now gone made grow is given back.
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
  // A cell of the rows shown; empty outside them.
  std::string_view ShownCell(int row, int column) const;
  void ClearShown();
  void InsertShownRow(int position, std::string_view text);
  void SetShownCell(int row, int column, std::string_view text);

  // The next rows: written unseen, shown by ShowNext.
  int NextRows() const { return next_.count; }
  void ClearNext() { next_.count = 0; }
  void InsertNextRow(int position, std::string_view text);
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
  };
  // Cells a row takes: one per column, and one for its text before any
  // column exists.
  std::size_t Stride() const { return headers_.isEmpty() ? 1 : headers_.size(); }

  QStringList headers_;
  Generation shown_;
  Generation next_;
};

}  // namespace pelmora::toolkit::qt

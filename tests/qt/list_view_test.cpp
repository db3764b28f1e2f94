// SPDX-License-Identifier: MIT
#include "toolkit/qt/list_view.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <string>

#include "toolkit/runtime_error.h"

namespace pelmora::toolkit::qt {
namespace {

class ListViewTest : public ::testing::Test {
 protected:
  ListViewTest() {
    view_.setGeometry(0, 0, 441, 129);
    view_.AddColumnHeader(1, "名前");
    view_.AddColumnHeader(2, "ID");
    view_.AddColumnHeader(3, "スレッド");
    view_.show();
    QObject::connect(&view_, &QtListView::SelectionChange, [this] { ++changes_; });
    QObject::connect(&view_, &QtListView::ItemClick, [this] { ++clicks_; });
  }

  void Rebuild(int rows, const std::string& prefix = "row") {
    view_.BeginUpdate();
    view_.ClearItems();
    for (int i = 1; i <= rows; ++i) {
      view_.AddItem(i, prefix + std::to_string(i));
      view_.SetSubItem(i, 1, std::to_string(1000 + i));
      view_.SetSubItem(i, 2, std::to_string(i % 7));
    }
    view_.EndUpdate();
  }

  QPoint RowCentre(int row) { return view_.visualRect(view_.model()->index(row - 1, 0)).center(); }

  QtListView view_;
  // Every change of the rows is told to the view as the model's protocol
  // asks; a breach ends the test.
  QAbstractItemModelTester tester_{view_.model(),
                                   QAbstractItemModelTester::FailureReportingMode::Fatal};
  int changes_ = 0;
  int clicks_ = 0;
};

TEST_F(ListViewTest, ColumnsSizeToTheirHeadersBlanksIncluded) {
  view_.AddColumnHeader(4, "Name");
  view_.AddColumnHeader(5, "  Name  ");
  EXPECT_EQ(view_.ColumnHeaderCount(), 5);
  for (int column = 0; column < 5; ++column) view_.AutoSizeColumnToHeader(column);
  EXPECT_GT(view_.columnWidth(4), view_.columnWidth(3));
  EXPECT_EQ(view_.columnWidth(3), view_.header()->sectionSizeHint(3));
  // A long header gets a wider column than a short one.
  EXPECT_GT(view_.columnWidth(2), view_.columnWidth(1));
  EXPECT_THROW(view_.AutoSizeColumnToHeader(5), RuntimeError);
}

TEST_F(ListViewTest, RowsHoldTextAndSubItems) {
  Rebuild(3);
  EXPECT_EQ(view_.ItemCount(), 3);
  EXPECT_EQ(view_.ItemText(2, 0), "row2");
  EXPECT_EQ(view_.ItemText(2, 1), "1002");
  EXPECT_EQ(view_.ItemText(3, 2), "3");
  // Any byte may stand in a cell, a NUL too, without touching its neighbours.
  const std::string withNul("a\0b", 3);
  view_.SetSubItem(2, 1, withNul);
  EXPECT_EQ(view_.ItemText(2, 1), withNul);
  EXPECT_EQ(view_.ItemText(2, 0), "row2");
  EXPECT_EQ(view_.ItemText(2, 2), "2");
  // Out of range positions are run-time errors.
  EXPECT_THROW(view_.AddItem(5, "x"), RuntimeError);
  EXPECT_THROW(view_.AddItem(0, "x"), RuntimeError);
  EXPECT_THROW(view_.SetSubItem(4, 1, "x"), RuntimeError);
  EXPECT_THROW(view_.SetSubItem(1, 3, "x"), RuntimeError);
  EXPECT_THROW(view_.AddColumnHeader(9, "x"), RuntimeError);
  // Rows added outside a rebuild show as well, inserted where asked.
  view_.AddItem(1, "first");
  EXPECT_EQ(view_.ItemCount(), 4);
  EXPECT_EQ(view_.model()->rowCount(), 4);
  EXPECT_EQ(view_.ItemText(1, 0), "first");
  EXPECT_EQ(view_.ItemText(2, 0), "row1");
}

TEST_F(ListViewTest, EachChoiceOfARowIsReportedOnceAndTheListsOwnChangesNever) {
  Rebuild(10);
  EXPECT_EQ(view_.SelectedIndex(), std::nullopt);
  EXPECT_EQ(view_.SelectedText(), "");
  QTest::mouseClick(view_.viewport(), Qt::LeftButton, Qt::NoModifier, RowCentre(3));
  EXPECT_EQ(view_.SelectedIndex(), 3);
  EXPECT_EQ(view_.SelectedText(), "row3");
  EXPECT_EQ(changes_, 1);
  EXPECT_EQ(clicks_, 0) << "the selection change reports the click";
  // A click on the selected row changes nothing and is reported as a click.
  QTest::mouseClick(view_.viewport(), Qt::LeftButton, Qt::NoModifier, RowCentre(3));
  EXPECT_EQ(changes_, 1);
  EXPECT_EQ(clicks_, 1);
  // Arrow keys move the selection; a key that moves nothing reports nothing.
  QTest::keyClick(&view_, Qt::Key_Down);
  EXPECT_EQ(view_.SelectedIndex(), 4);
  EXPECT_EQ(changes_, 2);
  QTest::keyClick(&view_, Qt::Key_Right);
  EXPECT_EQ(changes_, 2);
  // A rebuild, which clears the selection, and clearing the rows are the
  // list's own doing.
  Rebuild(8);
  EXPECT_EQ(view_.SelectedIndex(), std::nullopt);
  QTest::mouseClick(view_.viewport(), Qt::LeftButton, Qt::NoModifier, RowCentre(2));
  view_.ClearItems();
  EXPECT_EQ(view_.SelectedIndex(), std::nullopt);
  EXPECT_EQ(changes_, 3);
  EXPECT_EQ(clicks_, 1);
}

// What a screen reader reads of the list: every cell with its column's
// trimmed header, every column of a row on screen as showing (also one
// scrolled out of view sideways), children numbered as Qt's item views
// number them in their events.
TEST_F(ListViewTest, AssistiveToolsReadEachCellWithItsHeaderAndTheWholeRow) {
  view_.AddColumnHeader(4, " 状態  ");
  Rebuild(300);
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&view_);
  ASSERT_TRUE(list && list->tableInterface());
  QAccessibleTableInterface* table = list->tableInterface();
  ASSERT_EQ(table->columnCount(), 4);
  EXPECT_EQ(table->rowCount(), 300);
  const auto name = [table](int row, int column) {
    return table->cellAt(row, column)->text(QAccessible::Name).toStdString();
  };
  EXPECT_EQ(name(1, 0), "名前 row2");
  EXPECT_EQ(name(1, 1), "ID 1002");
  EXPECT_EQ(name(2, 3), "状態") << "an empty cell reads as its header";
  const QList<QAccessibleInterface*> header =
      table->cellAt(1, 3)->tableCellInterface()->columnHeaderCells();
  ASSERT_EQ(header.size(), 1);
  EXPECT_EQ(header[0]->text(QAccessible::Name).toStdString(), "状態") << "without its blanks";
  EXPECT_EQ(header[0]->role(), QAccessible::ColumnHeader);
  EXPECT_EQ(view_.model()->headerData(3, Qt::Horizontal).toString(), " 状態  ");

  // Header cells first, then row by row; each child is the same object
  // every time it is asked for.
  EXPECT_EQ(list->child(3), header[0]);
  EXPECT_EQ(list->child(4 * 2 + 3), table->cellAt(1, 3));
  EXPECT_EQ(list->indexOfChild(table->cellAt(1, 3)), 4 * 2 + 3);
  EXPECT_EQ(list->childCount(), 4 * 301);

  view_.setColumnWidth(0, 300);  // the last columns lie beyond the list's width
  const QRect shown = list->rect();
  QAccessibleInterface* beyond = table->cellAt(1, 3);
  EXPECT_FALSE(shown.intersects(beyond->rect()));
  EXPECT_FALSE(beyond->state().invisible) << "read with its row";
  EXPECT_TRUE(table->cellAt(299, 3)->state().invisible) << "a row scrolled out of view";

  ASSERT_TRUE(table->selectRow(4));
  EXPECT_EQ(view_.SelectedIndex(), 5);
  EXPECT_EQ(view_.currentIndex().row(), 4) << "the chosen row is the current one";
  EXPECT_TRUE(table->cellAt(4, 3)->tableCellInterface()->isSelected());
  EXPECT_EQ(table->selectedRows(), QList<int>{4});
}

// The row Qt makes current when the focus comes in is none the user chose:
// with no row chosen, the first Down chooses the first row.
TEST_F(ListViewTest, WithNoRowChosenTheFirstDownChoosesTheFirstRow) {
  Rebuild(5);
  view_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view_));
  view_.setFocus();
  for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Up}) {
    view_.selectionModel()->clear();
    view_.selectionModel()->setCurrentIndex(view_.model()->index(2, 0),
                                            QItemSelectionModel::NoUpdate);
    QTest::keyClick(&view_, key);
    EXPECT_EQ(view_.SelectedIndex(), 1);
  }
  QTest::keyClick(&view_, Qt::Key_Down);
  EXPECT_EQ(view_.SelectedIndex(), 2) << "from a chosen row, the next";

  // The other moving keys from no row: as from the top row, where a list
  // starts. PageDown goes where it goes from a chosen first row.
  Rebuild(60);
  view_.setCurrentIndex(view_.model()->index(0, 0));
  QTest::keyClick(&view_, Qt::Key_PageDown);
  const std::optional<int64_t> pageBelowTop = view_.SelectedIndex();
  ASSERT_GT(pageBelowTop.value_or(0), 1);
  const std::pair<Qt::Key, std::optional<int64_t>> moves[] = {
      {Qt::Key_Home, 1}, {Qt::Key_PageUp, 1}, {Qt::Key_End, 60}, {Qt::Key_PageDown, pageBelowTop}};
  for (const auto& [key, row] : moves) {
    view_.selectionModel()->clear();
    view_.selectionModel()->setCurrentIndex(view_.model()->index(30, 0),
                                            QItemSelectionModel::NoUpdate);
    QTest::keyClick(&view_, key);
    EXPECT_EQ(view_.SelectedIndex(), row) << QKeySequence(key).toString().toStdString();
  }
  Rebuild(1);
  view_.selectionModel()->clear();
  QTest::keyClick(&view_, Qt::Key_PageDown);
  EXPECT_EQ(view_.SelectedIndex(), 1) << "a list of one row";
}

TEST_F(ListViewTest, RebuildKeepsTheScrollPositionAndClearsTheSelection) {
  Rebuild(300);
  QScrollBar* bar = view_.verticalScrollBar();
  ASSERT_GT(bar->maximum(), 100);
  bar->setValue(100);
  const int position = bar->value();
  QTest::mouseClick(view_.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 30));
  ASSERT_TRUE(view_.SelectedIndex().has_value());

  Rebuild(301, "new");
  QApplication::processEvents();
  EXPECT_EQ(bar->value(), position);
  EXPECT_EQ(view_.SelectedIndex(), std::nullopt);
  EXPECT_EQ(view_.ItemText(301, 0), "new301");

  // Fewer rows than the old position: as far down as the new rows go.
  Rebuild(20);
  QApplication::processEvents();
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_LT(bar->value(), position);

  Rebuild(0);
  EXPECT_EQ(view_.ItemCount(), 0);
  EXPECT_EQ(bar->value(), 0);
}

// The first cell shows the item in the list's form, and rows compare as
// they show: a rebuild whose items differ only where the form does not look
// tells the view of nothing.
TEST_F(ListViewTest, ItemsShowInTheListsFormAndCompareAsShown) {
  view_.SetItemForm(
      [](std::string_view item) { return std::string(item.substr(item.rfind('/') + 1)); });
  Rebuild(3, "/a/row");
  EXPECT_EQ(view_.ItemText(2, 0), "row2");
  EXPECT_EQ(view_.model()->index(2, 0).data().toString(), "row3");
  QSignalSpy changed(view_.model(), &QAbstractItemModel::dataChanged);
  Rebuild(3, "/b/row");
  EXPECT_EQ(changed.count(), 0) << "rows that show alike are not drawn again";
  Rebuild(3, "/b/line");
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(view_.ItemText(3, 0), "line3");
}

}  // namespace
}  // namespace pelmora::toolkit::qt

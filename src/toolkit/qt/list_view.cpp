// SPDX-License-Identifier: MIT
#include "toolkit/qt/list_view.h"

#include <QAccessible>
#include <QSignalBlocker>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTimer>
#include <algorithm>

#include "toolkit/qt/accessible_factory.h"
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

QtListView::QtListView(QWidget* parent) : QTreeView(parent), model_(this) {
  InstallAccessibleFactory();
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
  // Every way of choosing a row, or of undoing the choice, goes through
  // the selection; the list's own changes are not the user's.
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    selectionChanged_ = true;
    if (!updating_ && !clearing_) emit SelectionChange();
    QTimer::singleShot(0, this, &QtListView::AnnounceCurrentRow);
  });
  // A click on the row already selected changes no selection.
  connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
    if (index.isValid() && !selectionChanged_) emit ItemClick();
  });
  RenewAccessibleInterface(this);
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
  model_.ClearNext();
}

void QtListView::ClearItems() {
  if (updating_) {
    model_.ClearNext();
    return;
  }
  clearing_ = true;
  model_.ClearShown();
  selectionModel()->clear();
  clearing_ = false;
}

void QtListView::SetItemForm(ItemForm form) { model_.SetItemForm(std::move(form)); }

void QtListView::AddItem(int64_t index, base::SharedText item) {
  if (index < 1 || index > static_cast<int64_t>(WrittenRows()) + 1) {
    throw RuntimeError("list item index out of bounds");
  }
  const int position = static_cast<int>(index - 1);
  if (updating_) {
    model_.InsertNextRow(position, std::move(item));
  } else {
    model_.InsertShownRow(position, std::move(item));
  }
}

void QtListView::SetSubItem(int64_t index, int32_t subItem, std::string_view text) {
  if (index < 1 || index > WrittenRows()) throw RuntimeError("list item index out of bounds");
  if (subItem < 1 || subItem >= model_.Columns()) throw RuntimeError("sub-item out of bounds");
  const int row = static_cast<int>(index - 1);
  if (updating_) {
    model_.SetNextCell(row, subItem, text);
  } else {
    model_.SetShownCell(row, subItem, text);
  }
}

void QtListView::EndUpdate() {
  if (!updating_) return;
  // The selection Qt moves as rows go, and the one cleared here, are the
  // list's doing: updating_ stays set until both are done.
  model_.ShowNext();
  selectionModel()->clear();
  updating_ = false;
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
  if (index < 1 || index > model_.ShownRows()) return {};
  return model_.ShownCell(static_cast<int>(index - 1), column);
}

void QtListView::mousePressEvent(QMouseEvent* event) {
  selectionChanged_ = false;
  QTreeView::mousePressEvent(event);
}

void QtListView::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
      // The row Qt makes current when the focus comes in is no choice of
      // the user's: with none made, moving starts from the top. Up, Down,
      // Home and PageUp then choose the first row; End and PageDown move
      // from it, to the last row and a page below the top.
      if (!selectionModel()->hasSelection() && model()->rowCount() > 0) {
        const bool fromTop = event->key() == Qt::Key_End || event->key() == Qt::Key_PageDown;
        {
          // Not a move of the user's: assistive tools are not told of it.
          const QSignalBlocker quiet(selectionModel());
          selectionModel()->setCurrentIndex(fromTop ? model()->index(0, 0) : QModelIndex(),
                                            QItemSelectionModel::NoUpdate);
        }
        QTreeView::keyPressEvent(event);
        // A list of one row: End and PageDown stay on the top row.
        if (!selectionModel()->hasSelection()) {
          setCurrentIndex(model()->index(0, 0));
        }
        return;
      }
      break;
    default:
      break;
  }
  QTreeView::keyPressEvent(event);
}

void QtListView::focusInEvent(QFocusEvent* event) {
  QTreeView::focusInEvent(event);
  announcedRow_ = -1;
  QTimer::singleShot(0, this, &QtListView::AnnounceCurrentRow);
}

void QtListView::focusOutEvent(QFocusEvent* event) {
  QTreeView::focusOutEvent(event);
  announcedRow_ = -1;
}

void QtListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  // Qt tells assistive tools of a new current cell while the list has the
  // focus.
  QTreeView::currentChanged(current, previous);
  if (hasFocus() && current.isValid()) announcedRow_ = current.row();
}

void QtListView::AnnounceCurrentRow() {
  if (!hasFocus()) return;
  const QModelIndexList selected = selectionModel()->selectedRows();
  if (selected.isEmpty()) return;
  const int row = selected.first().row();
  const QModelIndex current = currentIndex();
  if (current.row() != row) {
    selectionModel()->setCurrentIndex(model_.index(row, current.isValid() ? current.column() : 0),
                                      QItemSelectionModel::NoUpdate);
    return;
  }
  if (announcedRow_ == row) return;
  announcedRow_ = row;
  if (!QAccessible::isActive()) return;
  QAccessibleEvent focus(this, QAccessible::Focus);
  focus.setChild((row + 1) * model_.Columns() + current.column());
  QAccessible::updateAccessibility(&focus);
}

}  // namespace pelmora::toolkit::qt

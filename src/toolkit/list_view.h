// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/shared_text.h"

namespace pelmora::toolkit {

// A list in report view: a header row and rows of text columns.
// Rows and columns are numbered from 1, sub-items from 1 (column 2).
class ListView {
 public:
  virtual ~ListView() = default;
  virtual void AddColumnHeader(int32_t index, std::string_view text) = 0;
  virtual int32_t ColumnHeaderCount() const = 0;
  // Sizes the column (zero-based) to its header text, blanks included.
  virtual void AutoSizeColumnToHeader(int32_t column) = 0;

  // A rebuild runs between BeginUpdate and EndUpdate; the list shows the
  // result at EndUpdate, without flicker and at the same scroll position.
  virtual void BeginUpdate() = 0;
  virtual void ClearItems() = 0;  // also clears the selection
  // A row's first cell shows its item in the list's item form (the item as
  // it is without one). The list keeps the item itself, shared with whoever
  // else holds it, and makes the cell's text from it whenever it shows or
  // compares the row; the form must stay valid while the list has rows.
  using ItemForm = std::function<std::string(std::string_view item)>;
  virtual void SetItemForm(ItemForm form) = 0;
  virtual void AddItem(int64_t index, base::SharedText item) = 0;
  void AddItem(int64_t index, std::string_view text) { AddItem(index, base::SharedText(text)); }
  virtual void SetSubItem(int64_t index, int32_t subItem, std::string_view text) = 0;
  virtual void EndUpdate() = 0;

  // The selected row's position, from 1; nullopt when no row is selected.
  virtual std::optional<int64_t> SelectedIndex() const = 0;
  // The selected row's text; empty when no row is selected.
  virtual std::string SelectedText() const = 0;
};

}  // namespace pelmora::toolkit

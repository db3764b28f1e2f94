// SPDX-License-Identifier: MIT
#include "fakes/toolkit_fakes.h"

#include <cstdio>

#include "toolkit/runtime_error.h"

namespace pelmora::fakes {

void FakeWindow::SetCaption(std::string_view value) {
  caption = value;
  captions.push_back(caption);
  if (log_) log_->push_back("Caption=" + caption);
}

void FakeWindow::EndProgram() {
  ++endCount;
  if (log_) log_->push_back("EndProgram");
}

void FakeLabel::SetCaption(std::string_view value) {
  caption = value;
  ++sets;
  if (log_) log_->push_back(name_ + "=" + caption);
}

void RecordingDrawingArea::Line(float x1, float y1, float x2, float y2, int32_t color) {
  char text[128];
  std::snprintf(text, sizeof text, "Line %g %g %g %g %d", x1, y1, x2, y2, color);
  calls.emplace_back(text);
  lines.push_back({x1, y1, x2, y2, color});
}

void FakeListView::AddColumnHeader(int32_t index, std::string_view text) {
  headers.insert(headers.begin() + (index - 1), std::string(text));
}

void FakeListView::ClearItems() {
  rows.clear();
  items.clear();
  selected.reset();
}

void FakeListView::AddItem(int64_t index, base::SharedText item) {
  if (index == failAtRow) throw toolkit::RuntimeError("the list cannot add a row");
  rows.insert(rows.begin() + (index - 1), std::array<std::string, 8>{});
  rows[index - 1][0] = itemForm ? itemForm(item.view()) : std::string(item.view());
  items.insert(items.begin() + (index - 1), std::move(item));
}

void FakeListView::SetSubItem(int64_t index, int32_t subItem, std::string_view text) {
  rows.at(index - 1).at(subItem) = text;
}

std::string FakeListView::SelectedText() const {
  return selected ? rows.at(*selected - 1)[0] : std::string();
}

void FakeStatusBar::SetPanelText(int panel, std::string_view text) {
  panels.at(panel - 1) = text;
  if (log_) log_->push_back("Panel" + std::to_string(panel) + "=" + std::string(text));
}

int FakeMessageBox::MsgBox(std::string_view prompt, int style, std::string_view title) {
  shown.push_back({std::string(prompt), style, std::string(title)});
  if (answers.empty()) return toolkit::kIdOk;
  const int answer = answers.front();
  answers.pop_front();
  return answer;
}

std::string FakeTextServices::LowerCase(std::string_view text) const {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace pelmora::fakes

// SPDX-License-Identifier: MIT
#pragma once
// Recording fakes of the toolkit interfaces.
#include <array>
#include <cctype>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/drawing_area.h"
#include "toolkit/label.h"
#include "toolkit/list_view.h"
#include "toolkit/message_box.h"
#include "toolkit/scroll_bar.h"
#include "toolkit/status_bar.h"
#include "toolkit/text_services.h"
#include "toolkit/timer.h"
#include "toolkit/window.h"

namespace pelmora::fakes {

// A log of calls shared by several fakes, to check their order.
using CallLog = std::vector<std::string>;

class FakeWindow : public toolkit::Window {
 public:
  explicit FakeWindow(CallLog* log = nullptr) : log_(log) {}
  void SetCaption(std::string_view caption) override;
  std::string Caption() const override { return caption; }
  int WindowState() const override { return minimized ? toolkit::kWindowMinimized : 0; }
  void EndProgram() override;

  std::string caption = "Pelmora Ver.1.0";
  bool minimized = false;
  int endCount = 0;
  std::vector<std::string> captions;  // every caption set, in order

 private:
  CallLog* log_;
};

class FakeLabel : public toolkit::Label {
 public:
  FakeLabel(std::string name = "", CallLog* log = nullptr) : name_(std::move(name)), log_(log) {}
  void SetCaption(std::string_view caption) override;
  std::string caption;
  int sets = 0;

 private:
  std::string name_;
  CallLog* log_;
};

// A timer that fires only when the test says so.
class ManualTimer : public toolkit::Timer {
 public:
  void SetInterval(int32_t milliseconds) override { intervals.push_back(interval = milliseconds); }
  int32_t Interval() const override { return interval; }
  void SetTag(std::string_view value) override { tag = value; }
  std::string Tag() const override { return tag; }
  int32_t interval = 0;
  std::vector<int32_t> intervals;
  std::string tag;
};

class FakeScrollBar : public toolkit::ScrollBar {
 public:
  int16_t Value() const override { return value; }
  int16_t value = 5;
};

// Keeps every drawing call as a line of text.
class RecordingDrawingArea : public toolkit::DrawingArea {
 public:
  RecordingDrawingArea(float width = 141, float height = 69) : width_(width), height_(height) {}
  void Cls() override {
    calls.push_back("Cls");
    lines.clear();
  }
  float ScaleWidth() const override { return width_; }
  float ScaleHeight() const override { return height_; }
  void Line(float x1, float y1, float x2, float y2, int32_t color) override;
  void Refresh() override { calls.push_back("Refresh"); }
  void SetDescription(std::string_view text) override { description = text; }

  struct Segment {
    float x1, y1, x2, y2;
    int32_t color;
    bool operator==(const Segment&) const = default;
  };
  std::vector<std::string> calls;
  std::vector<Segment> lines;  // since the last Cls
  std::string description;

 private:
  float width_;
  float height_;
};

class FakeListView : public toolkit::ListView {
 public:
  void AddColumnHeader(int32_t index, std::string_view text) override;
  int32_t ColumnHeaderCount() const override { return static_cast<int32_t>(headers.size()); }
  void AutoSizeColumnToHeader(int32_t column) override { autoSized.push_back(column); }
  void BeginUpdate() override { ++updates; }
  void ClearItems() override;
  void SetItemForm(ItemForm form) override { itemForm = std::move(form); }
  void AddItem(int64_t index, base::SharedText item) override;
  using toolkit::ListView::AddItem;
  void SetSubItem(int64_t index, int32_t subItem, std::string_view text) override;
  void EndUpdate() override { ++ended; }
  std::optional<int64_t> SelectedIndex() const override { return selected; }
  std::string SelectedText() const override;

  std::vector<std::string> headers;
  std::vector<int32_t> autoSized;
  std::vector<std::array<std::string, 8>> rows;  // row i (from 1) at rows[i - 1]
  std::vector<base::SharedText> items;           // the items the rows show
  ItemForm itemForm;
  std::optional<int64_t> selected;
  int updates = 0;        // rebuilds begun
  int ended = 0;          // rebuilds ended
  int64_t failAtRow = 0;  // AddItem of this row fails with a run-time error
};

class FakeStatusBar : public toolkit::StatusBar {
 public:
  explicit FakeStatusBar(CallLog* log = nullptr) : log_(log) {}
  void SetPanelText(int panel, std::string_view text) override;
  std::string PanelText(int panel) const override { return panels.at(panel - 1); }
  std::array<std::string, 3> panels;

 private:
  CallLog* log_;
};

class FakeMessageBox : public toolkit::MessageBox {
 public:
  int MsgBox(std::string_view prompt, int style, std::string_view title) override;
  void Announce(std::string_view message) override { announced.emplace_back(message); }
  struct Shown {
    std::string prompt;
    int style;
    std::string title;
  };
  std::vector<Shown> shown;
  std::deque<int> answers;  // queued answers; OK when none is queued
  std::vector<std::string> announced;
};

// Lower-cases ASCII letters; decoding passes bytes through.
class FakeTextServices : public toolkit::TextServices {
 public:
  std::string LowerCase(std::string_view text) const override;
  void Decode(std::string_view osBytes, std::string& out) const override { out.assign(osBytes); }
};

}  // namespace pelmora::fakes

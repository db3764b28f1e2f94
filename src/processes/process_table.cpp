// SPDX-License-Identifier: MIT
#include "processes/process_table.h"

#include "toolkit/number_format.h"

namespace pelmora::processes {

using toolkit::DecimalText;
using toolkit::HexText;

namespace {

// Ends the list's rebuild however the refresh ends, so a run-time error never
// leaves the list half-rebuilt.
class ListUpdate {
 public:
  explicit ListUpdate(toolkit::ListView& list) : list_(list) { list_.BeginUpdate(); }
  ~ListUpdate() { list_.EndUpdate(); }
  ListUpdate(const ListUpdate&) = delete;
  ListUpdate& operator=(const ListUpdate&) = delete;

 private:
  toolkit::ListView& list_;
};

// What a source that could take no snapshot yields: nothing.
class EmptySnapshot : public platform::ProcessSnapshot {
 public:
  bool Process32First(platform::ProcessEntry&) override { return false; }
  bool Process32Next(platform::ProcessEntry&) override { return false; }
  bool PathFirst(base::SharedText&) override { return false; }
  bool PathNext(base::SharedText&) override { return false; }
  bool RowsOutdated() override { return false; }
};

}  // namespace

ProcessTable::ProcessTable(const ProcessControls& controls) : controls_(controls) {
  // The list keeps each row's path, shared, and makes its text when it
  // shows or compares the row.
  controls_.ListView1.SetItemForm(
      [&text = controls_.Text](std::string_view osPath) { return FileName(text, osPath); });
}

int64_t ProcessTable::BoundFor(int64_t counter) { return (counter / 10 + 1) * 10; }

void ProcessTable::Resize(int64_t bound) {
  ProcessNames.resize(bound + 1);
  ProcessIds.resize(bound + 1);
  startTimes_.resize(bound + 1);
}

std::string ProcessTable::Path(int64_t slot) const {
  std::string path;
  controls_.Text.Decode(ProcessNames[slot].view(), path);
  return path;
}

std::string ProcessTable::FileName(const toolkit::TextServices& text, std::string_view osPath) {
  std::string path;
  text.Decode(osPath, path);
  // The file name starts after the last "/"; UTF-8 never has that byte
  // inside a multi-byte character.
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string::npos
                                    ? std::string_view(path)
                                    : std::string_view(path).substr(slash + 1);
  return text.LowerCase(name);
}

void ProcessTable::Command1_Click(platform::ProcessSnapshotSource& source) {
  Refresh(source.CreateToolhelp32Snapshot());
}

void ProcessTable::Refresh(std::unique_ptr<platform::ProcessSnapshot> snapshot) {
  ProcessNames.assign(11, base::SharedText());
  ProcessIds.assign(11, std::nullopt);
  startTimes_.assign(11, 0);
  clickedRow_.reset();
  rowTakenOver_ = false;
  // Empty until the rebuild completes: a refresh that ends with a run-time
  // error leaves a table that designates nothing and differs from any set.
  ProcessCount = 0;

  platform::ProcessEntry entry;
  if (snapshot) snapshot->Process32First(entry);

  int64_t counter = 1;
  toolkit::ListView& list = controls_.ListView1;
  std::optional<ListUpdate> update(std::in_place, list);
  list.ClearItems();
  bool ok = true;
  do {
    // The table and the list share the walk's bytes of the path.
    ProcessNames[counter] = entry.szExeFile;
    list.AddItem(counter, entry.szExeFile);
    list.SetSubItem(counter, 1, DecimalText(entry.cntUsage));
    list.SetSubItem(counter, 2, HexText(entry.th32ProcessID));
    ProcessIds[counter] = entry.th32ProcessID;
    startTimes_[counter] = entry.startTime;
    list.SetSubItem(counter, 3, DecimalText(entry.pcPriClassBase));
    list.SetSubItem(counter, 4, DecimalText(entry.cntThreads));
    list.SetSubItem(counter, 5, HexText(entry.th32DefaultHeapID));
    list.SetSubItem(counter, 6, HexText(entry.th32ModuleID));
    list.SetSubItem(counter, 7, HexText(entry.th32ParentProcessID));
    ok = snapshot && snapshot->Process32Next(entry);
    ++counter;
    if (counter > 10) Resize(BoundFor(counter));
  } while (ok);
  snapshot.reset();
  update.reset();
  ProcessCount = counter - 1;

  controls_.StatusBar1.SetPanelText(1, "");
  controls_.StatusBar1.SetPanelText(3, DecimalText(ProcessCount));
}

bool ProcessTable::Differs(platform::ProcessSnapshot* snapshot) {
  // Each path is the walk's own, shared: the check copies no bytes.
  base::SharedText path;
  if (!snapshot || !snapshot->PathFirst(path)) path = {};
  int64_t position = 1;
  for (;;) {
    if (position > ProcessCount) return true;
    if (ProcessNames[position] != path) return true;
    if (!snapshot || !snapshot->PathNext(path)) break;
    ++position;
  }
  return position != ProcessCount || (snapshot && snapshot->RowsOutdated());
}

std::unique_ptr<platform::ProcessSnapshot> ProcessTable::CheckProcessSet(
    platform::ProcessSnapshotSource& source) {
  std::unique_ptr<platform::ProcessSnapshot> snapshot = source.CreateToolhelp32Snapshot();
  if (!Differs(snapshot.get()) && !rowTakenOver_) return nullptr;
  // A source that could take no snapshot differs from any table: the
  // rebuild gets an empty one.
  return snapshot ? std::move(snapshot) : std::make_unique<EmptySnapshot>();
}

void ProcessTable::ListView1_Click() {
  // The key follows the selected row; with none, it designates nothing, so
  // the prompt and the process ended can never be two different rows.
  const std::optional<int64_t> row = controls_.ListView1.SelectedIndex();
  if (!row || *row < 1 || *row > ProcessCount) {
    clickedRow_.reset();
    controls_.StatusBar1.SetPanelText(1, "");
    return;
  }
  clickedRow_ = *row;
  controls_.StatusBar1.SetPanelText(1, controls_.Text.LowerCase(Path(*row)));
}

std::optional<int64_t> ProcessTable::FindKey(const std::string& key) const {
  // An empty key designates nothing: it is what every refresh leaves.
  if (key.empty()) return std::nullopt;
  const int64_t n = ProcessCount;
  // The row the key came from is the one meant, when it still matches;
  // several processes of one executable share a key.
  if (clickedRow_ && *clickedRow_ <= n && controls_.Text.LowerCase(Path(*clickedRow_)) == key) {
    return clickedRow_;
  }
  for (int64_t i = 1; i <= n; ++i) {
    if (controls_.Text.LowerCase(Path(i)) == key) return i;
  }
  return std::nullopt;
}

std::string TerminationPrompt(const std::string& name) {
  return "警告：プロセスを強制終了すると、データが失われたり、システムが不安定になるなど "
         "\r\n"
         "予期しない結果になることがあります。強制終了するプロセスによっては、"
         "\r\n"
         "システムに深刻な影響を与える可能性もあります。" +
         name + "を強制終了しますか？";
}

void ProcessTable::Command2_Click(platform::ProcessControl& control) {
  const std::optional<int64_t> match = FindKey(controls_.StatusBar1.PanelText(1));
  if (!match) {
    // Nothing shows, but a screen reader's user hears why nothing happened.
    controls_.MsgBox.Announce("プロセスが選択されていません。");
    return;
  }

  std::unique_ptr<platform::ProcessHandle> handle =
      control.OpenProcess(ProcessIds[*match].value_or(0), startTimes_[*match]);
  // The row's process is gone, and its ID may be another's under the same
  // path: the next tick rebuilds the list, which shows who holds it now.
  if (!handle && control.LastRefusal() == platform::OpenRefusal::kAnotherProcess) {
    rowTakenOver_ = true;
  }

  const std::string name = controls_.ListView1.SelectedIndex()
                               ? controls_.ListView1.SelectedText()
                               : FileName(controls_.Text, ProcessNames[*match].view());
  const int answer = controls_.MsgBox.MsgBox(TerminationPrompt(name),
                                             toolkit::kMbOkCancelExclamation, kWarningTitle);
  if (answer != toolkit::kIdOk) return;
  // The outcome shows only in the list, at the next tick: it is told to
  // assistive tools at once.
  const bool ended = handle && handle->TerminateProcess();
  handle.reset();
  controls_.MsgBox.Announce(name +
                            (ended ? "を強制終了しました。" : "を強制終了できませんでした。"));
}

}  // namespace pelmora::processes

// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/shared_text.h"
#include "platform/process_control.h"
#include "platform/process_snapshot.h"
#include "toolkit/list_view.h"
#include "toolkit/message_box.h"
#include "toolkit/status_bar.h"
#include "toolkit/text_services.h"

namespace pelmora::processes {

inline constexpr char kWarningTitle[] = "Pelmoraの警告";

struct ProcessControls {
  toolkit::ListView& ListView1;
  toolkit::StatusBar& StatusBar1;
  toolkit::MessageBox& MsgBox;
  toolkit::TextServices& Text;
};

// The record of the processes shown in the list: for each row the full path
// of its executable and its process, in row order. Slots are numbered from 1;
// slot 0 is unused. A path is held as the OS gave it, shared with the walk
// that read it and the list that shows it, and decoded where it is read.
class ProcessTable {
 public:
  explicit ProcessTable(const ProcessControls& controls);

  // Rebuilds the table and the list from a new snapshot.
  void Command1_Click(platform::ProcessSnapshotSource& source);
  // Walks a new snapshot's paths against the table: the snapshot, for
  // Refresh to take, at the first difference, when the count differs, when
  // the walk found a process's ID taken over, or when 停止 found that a
  // row's ID holds another process now; null when nothing changed.
  std::unique_ptr<platform::ProcessSnapshot> CheckProcessSet(
      platform::ProcessSnapshotSource& source);
  // Rebuilds the table and the list as Command1_Click does, from a snapshot
  // the check found different: its listing, and the paths the check read,
  // are the rebuild's. A null snapshot rebuilds as one that yields nothing.
  void Refresh(std::unique_ptr<platform::ProcessSnapshot> snapshot);
  // Puts the selected row's full path, lower-cased, into panel 1: the key.
  // Runs whenever the selection changes and on a click on the selected row;
  // with no row selected, it empties the key.
  void ListView1_Click();
  // Ends the process the key designates, after the warning, and announces
  // the outcome (or that no process is selected) to assistive tools.
  void Command2_Click(platform::ProcessControl& control);

  // The upper bound of both arrays (slots 1 to UpperBound()).
  int64_t UpperBound() const { return static_cast<int64_t>(ProcessNames.size()) - 1; }

  // Each row's path as the OS gave it, before decoding. The check compares
  // these: bytes that differ may decode alike, never the other way round.
  std::vector<base::SharedText> ProcessNames;
  std::vector<std::optional<int64_t>> ProcessIds;  // nullopt: a slot the refresh did not write
  int64_t ProcessCount = 0;

  // The bound of both arrays for a given number of entries.
  static int64_t BoundFor(int64_t counter);

  // The full path of a slot's process, decoded.
  std::string Path(int64_t slot) const;

 private:
  // Walks the snapshot's paths against the table; true at the first
  // difference, or when the count differs.
  bool Differs(platform::ProcessSnapshot* snapshot);
  std::optional<int64_t> FindKey(const std::string& key) const;
  // The list's text of a path: its file name, decoded and lower-cased.
  static std::string FileName(const toolkit::TextServices& text, std::string_view osPath);
  void Resize(int64_t bound);

  ProcessControls controls_;
  std::vector<uint64_t> startTimes_;  // identifies each row's process with its ID
  std::optional<int64_t> clickedRow_;
  // 停止 found a row's ID holding another process (or none): the set
  // changed, though the paths may all be the same. Until the next rebuild.
  bool rowTakenOver_ = false;
};

// The confirmation prompt that names the process to be ended.
std::string TerminationPrompt(const std::string& name);

}  // namespace pelmora::processes

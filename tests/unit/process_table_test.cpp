// SPDX-License-Identifier: MIT
#include "processes/process_table.h"

#include <gtest/gtest.h>

#include "fakes/platform_fakes.h"
#include "toolkit/runtime_error.h"

namespace pelmora {
namespace {

using fakes::Process;

struct Table {
  Table() : table({list, statusBar, msgBox, text}) {}
  void Refresh() { table.Command1_Click(source); }
  // A click on row i, as the list reports it.
  void Click(int64_t row) {
    list.selected = row;
    table.ListView1_Click();
  }
  void Run(std::initializer_list<platform::ProcessEntry> processes) {
    source.processes = processes;
    for (const auto& p : processes) control.running[p.th32ProcessID] = {p.startTime};
  }

  fakes::FakeListView list;
  fakes::FakeStatusBar statusBar;
  fakes::FakeMessageBox msgBox;
  fakes::FakeTextServices text;
  fakes::FakeProcessSource source;
  fakes::FakeProcessControl control;
  processes::ProcessTable table;
};

TEST(ProcessTable, BoundsGrowByTensAndUnusedSlotsStayEmpty) {
  struct Case {
    int processes;
    int64_t bound;
  };
  for (const Case c : {Case{1, 10}, Case{9, 10}, Case{10, 20}, Case{19, 30}, Case{20, 30},
                       Case{29, 40}, Case{40000, 40010}}) {
    Table t;
    for (int i = 0; i < c.processes; ++i) t.source.processes.push_back(Process("/bin/p", i + 1));
    t.Refresh();
    EXPECT_EQ(t.table.ProcessCount, c.processes);
    EXPECT_EQ(t.table.UpperBound(), c.bound) << c.processes << " processes";
    EXPECT_EQ(t.table.ProcessIds.size(), t.table.ProcessNames.size());
    for (int64_t slot = c.processes + 1; slot <= c.bound; ++slot) {
      EXPECT_EQ(t.table.ProcessNames[slot], "");
      EXPECT_FALSE(t.table.ProcessIds[slot].has_value());
    }
    EXPECT_EQ(t.statusBar.panels[2], std::to_string(c.processes));
    EXPECT_EQ(t.list.rows.size(), static_cast<size_t>(c.processes));
  }
}

TEST(ProcessTable, RowsShowTheLowerCasedFileNameAndTheNumbers) {
  Table t;
  platform::ProcessEntry entry = Process("/usr/lib/Xorg/XORG", 0x1234);
  entry.cntUsage = 42;
  entry.pcPriClassBase = 20;
  entry.cntThreads = 7;
  entry.th32DefaultHeapID = 0x55d4a8c3e000ULL;
  entry.th32ModuleID = 0x1'0000'0001ULL;
  entry.th32ParentProcessID = 1;
  t.source.processes = {entry, Process("KERNEL32.DLL", 0x80000001LL), Process("/opt/dir/", 3)};
  t.Refresh();

  ASSERT_EQ(t.list.rows.size(), 3u);
  EXPECT_EQ(t.list.rows[0], (std::array<std::string, 8>{"xorg", "42", "1234", "20", "7",
                                                        "55D4A8C3E000", "100000001", "1"}));
  EXPECT_EQ(t.list.rows[1][0], "kernel32.dll") << "a path without a directory part";
  EXPECT_EQ(t.list.rows[1][2], "80000001") << "an identifier beyond 31 bits, whole";
  EXPECT_EQ(t.list.rows[2][0], "") << "a path that ends in a slash";
  EXPECT_EQ(t.table.ProcessNames[1], "/usr/lib/Xorg/XORG") << "kept in its own case";
  // The table and the list hold the snapshot's bytes of a path, not copies.
  const char* bytes = t.source.processes[0].szExeFile.view().data();
  EXPECT_EQ(t.table.ProcessNames[1].view().data(), bytes);
  EXPECT_EQ(t.list.items[0].view().data(), bytes);
  EXPECT_EQ(t.table.ProcessIds[2], 0x80000001LL);
  EXPECT_EQ(t.list.updates, 1);
}

// A rebuild without a snapshot is the rebuild of an empty one.
TEST(ProcessTable, AnEmptySnapshotGivesOneZeroRow) {
  for (const bool fromCheck : {false, true}) {
    Table t;
    if (fromCheck) {
      t.Run({Process("/bin/sh", 5)});
      t.Refresh();
      t.Click(1);
      t.source.processes.clear();
      t.table.Refresh(nullptr);
    } else {
      t.Refresh();
    }
    ASSERT_EQ(t.list.rows.size(), 1u) << fromCheck;
    EXPECT_EQ(t.list.rows[0], (std::array<std::string, 8>{"", "0", "0", "0", "0", "0", "0", "0"}));
    EXPECT_EQ(t.table.ProcessCount, 1);
    EXPECT_EQ(t.table.ProcessIds[1], 0);
    EXPECT_EQ(t.statusBar.panels[0], "") << "the key is gone";
    EXPECT_EQ(t.statusBar.panels[2], "1");
    EXPECT_FALSE((t.table.CheckProcessSet(t.source) != nullptr)) << "an empty snapshot matches that row";
    t.source.processes = {Process("/bin/sh", 5)};
    EXPECT_TRUE((t.table.CheckProcessSet(t.source) != nullptr));
  }
}

TEST(ProcessTable, RefreshEmptiesTheKeyAndTheSelection) {
  Table t;
  t.Run({Process("/bin/sh", 5), Process("/usr/bin/VIM", 6)});
  t.Refresh();
  t.Click(2);
  EXPECT_EQ(t.statusBar.panels[0], "/usr/bin/vim");
  t.Refresh();
  EXPECT_EQ(t.statusBar.panels[0], "");
  EXPECT_FALSE(t.list.selected.has_value());
  t.table.Command2_Click(t.control);
  EXPECT_TRUE(t.msgBox.shown.empty()) << "the key is gone until the row is clicked again";
}

TEST(ProcessTable, SetCheckFindsEachKindOfChangeAndOnlyThose) {
  Table t;
  t.Run({Process("/a", 1), Process("/b", 2), Process("/b", 3)});
  t.Refresh();
  EXPECT_FALSE((t.table.CheckProcessSet(t.source) != nullptr)) << "same processes, same order";

  t.source.processes = {Process("/a", 1), Process("/b", 3), Process("/b", 2)};
  EXPECT_FALSE((t.table.CheckProcessSet(t.source) != nullptr)) << "equal paths that swap places";

  const auto same = t.source.processes;
  t.source.processes.push_back(Process("/c", 9));
  EXPECT_TRUE((t.table.CheckProcessSet(t.source) != nullptr)) << "a new process after the last";
  t.source.processes = {Process("/a", 1), Process("/b", 2)};
  EXPECT_TRUE((t.table.CheckProcessSet(t.source) != nullptr)) << "a process gone from the end";
  t.source.processes = {Process("/a", 1), Process("/b", 2), Process("/d", 3)};
  EXPECT_TRUE((t.table.CheckProcessSet(t.source) != nullptr)) << "another path at the last position";

  // The check reads paths only and stops at the first difference.
  t.source.processes = {Process("/x", 1), Process("/b", 2), Process("/b", 3)};
  t.source.fullReads = t.source.pathReads = 0;
  EXPECT_TRUE((t.table.CheckProcessSet(t.source) != nullptr));
  EXPECT_EQ(t.source.pathReads, 1);
  EXPECT_EQ(t.source.fullReads, 0);
}

TEST(ProcessTable, AClearedSelectionEmptiesTheKey) {
  Table t;
  t.Run({Process("/bin/SH", 5)});
  t.Refresh();
  t.Click(1);
  EXPECT_EQ(t.statusBar.panels[0], "/bin/sh");
  t.list.selected.reset();
  t.table.ListView1_Click();
  EXPECT_EQ(t.statusBar.panels[0], "");
  t.table.Command2_Click(t.control);
  EXPECT_TRUE(t.msgBox.shown.empty());
  EXPECT_TRUE(t.control.opened.empty());
}

TEST(ProcessTable, TerminationAsksFirstAndEndsOnOk) {
  Table t;
  t.Run({Process("/usr/bin/Notepad", 10, 777)});
  t.Refresh();
  t.table.Command2_Click(t.control);
  EXPECT_TRUE(t.control.opened.empty()) << "a press before any click does nothing";
  EXPECT_TRUE(t.msgBox.shown.empty());
  // ... but to a screen reader, and after OK the outcome (never after Cancel).
  const auto told = [&t] { return t.msgBox.announced.back(); };
  EXPECT_EQ(told(), "プロセスが選択されていません。");

  t.Click(1);
  t.msgBox.answers = {toolkit::kIdCancel};
  t.table.Command2_Click(t.control);
  ASSERT_EQ(t.msgBox.shown.size(), 1u);
  EXPECT_EQ(t.msgBox.shown[0].prompt,
            "警告：プロセスを強制終了すると、データが失われたり、システムが不安定になるなど \r\n"
            "予期しない結果になることがあります。強制終了するプロセスによっては、\r\n"
            "システムに深刻な影響を与える可能性もあります。notepadを強制終了しますか？");
  EXPECT_EQ(t.msgBox.shown[0].style, 49);
  EXPECT_EQ(t.msgBox.shown[0].title, "Pelmoraの警告");
  EXPECT_TRUE(t.control.killed.empty()) << "Cancel leaves the process";
  EXPECT_EQ(t.control.closes, 1);
  EXPECT_EQ(t.msgBox.announced.size(), 1u);

  t.table.Command2_Click(t.control);  // OK
  EXPECT_EQ(told(), "notepadを強制終了しました。");
  EXPECT_EQ(t.control.killed, std::vector<int64_t>{10});
  EXPECT_EQ(t.control.closes, 2);
  EXPECT_EQ(t.list.rows.size(), 1u) << "the row stays until the next refresh";
  EXPECT_EQ(t.statusBar.panels[0], "/usr/bin/notepad") << "a termination keeps the key";

  // A second press opens the stale ID again; it names no process now.
  t.table.Command2_Click(t.control);
  EXPECT_EQ(t.control.opened, (std::vector<int64_t>{10, 10, 10}));
  EXPECT_EQ(t.msgBox.shown.size(), 3u) << "the warning is shown all the same";
  EXPECT_EQ(t.control.killed.size(), 1u);
  EXPECT_EQ(t.control.closes, 2) << "no handle, nothing to close";
  EXPECT_EQ(told(), "notepadを強制終了できませんでした。");
}

// A refusal for another process under the row's ID, with the same path,
// rebuilds the list at the next check; one for lack of permission does not.
TEST(ProcessTable, AReusedIdentifierIsNeverEndedButRebuildsTheList) {
  Table t;
  t.Run({Process("/usr/bin/editor", 10, 777)});
  t.Refresh();
  t.Click(1);
  t.control.running[10].mayEnd = false;
  t.table.Command2_Click(t.control);
  EXPECT_FALSE((t.table.CheckProcessSet(t.source) != nullptr)) << "not ours: nothing changed";
  t.Run({Process("/usr/bin/editor", 10, 999)});  // the ID now belongs to another process
  t.table.Command2_Click(t.control);
  EXPECT_EQ(t.msgBox.announced.back(), "editorを強制終了できませんでした。");
  EXPECT_TRUE(t.control.killed.empty());
  auto changed = t.table.CheckProcessSet(t.source);
  ASSERT_TRUE(changed != nullptr);
  t.table.Refresh(std::move(changed));
  EXPECT_FALSE((t.table.CheckProcessSet(t.source) != nullptr)) << "rebuilt once";
}

TEST(ProcessTable, TheClickedInstanceOfAnExecutableEnds) {
  Table t;
  t.Run({Process("/usr/bin/worker", 10), Process("/usr/bin/other", 11),
         Process("/usr/bin/worker", 12)});
  t.Refresh();
  t.Click(3);
  t.table.Command2_Click(t.control);
  EXPECT_EQ(t.control.killed, std::vector<int64_t>{12});

  // The row chosen last decides, though an earlier one shares its key.
  t.Click(1);
  t.table.Command2_Click(t.control);
  EXPECT_EQ(t.control.opened.back(), 10);
}

TEST(ProcessTable, AMatchWithoutASelectedRowNamesTheMatchedFile) {
  Table t;
  t.Run({Process("/usr/bin/Top", 10)});
  t.Refresh();
  t.Click(1);
  t.list.selected.reset();
  t.table.Command2_Click(t.control);
  ASSERT_EQ(t.msgBox.shown.size(), 1u);
  EXPECT_NE(t.msgBox.shown[0].prompt.find("。topを強制終了しますか？"), std::string::npos);
}

TEST(ProcessTable, ARefreshCutShortLeavesAConsistentTable) {
  Table t;
  t.Run({Process("/a", 1), Process("/b", 2), Process("/c", 3)});
  t.Refresh();
  t.Click(3);
  t.list.failAtRow = 2;
  EXPECT_THROW(t.Refresh(), toolkit::RuntimeError);
  EXPECT_EQ(t.list.ended, t.list.updates) << "the list's rebuild is ended all the same";
  EXPECT_EQ(t.table.ProcessCount, 0);
  t.table.Command2_Click(t.control);
  EXPECT_TRUE(t.control.opened.empty()) << "the old key designates nothing now";
  EXPECT_TRUE((t.table.CheckProcessSet(t.source) != nullptr)) << "the next tick rebuilds";
  t.list.failAtRow = 0;
  t.Refresh();
  EXPECT_EQ(t.table.ProcessCount, 3);
}

TEST(ProcessTable, InvalidBytesInAPathShowAsDecodedAndStillMatch) {
  Table t;
  t.Run({Process("/opt/caf\xE9/Tool", 1)});
  t.Refresh();
  EXPECT_FALSE((t.table.CheckProcessSet(t.source) != nullptr));
  t.source.processes[0].szExeFile = base::SharedText("/opt/caf\xE8/Tool");
  EXPECT_TRUE((t.table.CheckProcessSet(t.source) != nullptr)) << "other bytes are another path";
}

TEST(ProcessTable, AnEmptyKeyMatchesNoProcessWithAnEmptyPath) {
  Table t;
  t.Run({Process("", 10)});
  t.Refresh();
  t.table.Command2_Click(t.control);
  EXPECT_TRUE(t.msgBox.shown.empty());
  EXPECT_TRUE(t.control.opened.empty());
}

}  // namespace
}  // namespace pelmora

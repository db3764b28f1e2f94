// SPDX-License-Identifier: MIT
// The cost of rebuilding the process list: rows of eight columns replaced
// between BeginUpdate and EndUpdate, on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <cstdlib>
#include <string>
#include <vector>

#include "toolkit/qt/list_view.h"

namespace {

using pelmora::toolkit::qt::QtListView;

struct Row {
  std::string name;
  std::vector<std::string> subItems;
};

std::vector<Row> MakeRows(int count) {
  std::vector<Row> rows;
  rows.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    Row row{"process-" + std::to_string(i), {}};
    row.subItems = {
        std::to_string(i % 50),    "1" + std::to_string(1000 + i),      std::to_string(20),
        std::to_string(1 + i % 9), "55D2C4A0" + std::to_string(i % 10), "3A" + std::to_string(i),
        std::to_string(1 + i / 2)};
    rows.push_back(std::move(row));
  }
  return rows;
}

void SetUpView(QtListView& view) {
  view.setGeometry(0, 0, 441, 129);
  const char* headers[] = {"イメージ名", "使用数",   "プロセスID",   "優先度",
                           "スレッド数", "ヒープID", "モジュールID", "親プロセスID"};
  for (int i = 0; i < 8; ++i) view.AddColumnHeader(i + 1, headers[i]);
  for (int i = 0; i < 8; ++i) view.AutoSizeColumnToHeader(i);
  view.show();
}

void Rebuild(QtListView& view, const std::vector<Row>& rows) {
  view.BeginUpdate();
  view.ClearItems();
  int64_t index = 0;
  for (const Row& row : rows) {
    view.AddItem(++index, row.name);
    for (int sub = 0; sub < 7; ++sub) {
      view.SetSubItem(index, sub + 1, row.subItems[static_cast<std::size_t>(sub)]);
    }
  }
  view.EndUpdate();
}

// The rebuild alone, as the refresh calls it.
void BM_ListViewRebuild(benchmark::State& state) {
  QtListView view;
  SetUpView(view);
  const std::vector<Row> rows = MakeRows(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Rebuild(view, rows);
    benchmark::DoNotOptimize(view.ItemCount());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListViewRebuild)->Arg(300)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The rebuild followed by the repaint the user sees.
void BM_ListViewRebuildAndPaint(benchmark::State& state) {
  QtListView view;
  SetUpView(view);
  const std::vector<Row> rows = MakeRows(static_cast<int>(state.range(0)));
  Rebuild(view, rows);
  view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
  for (auto _ : state) {
    Rebuild(view, rows);
    view.viewport()->repaint();
    QApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListViewRebuildAndPaint)->Arg(300)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

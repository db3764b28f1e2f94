// SPDX-License-Identifier: MIT
#include "app/qt/main_window.h"

#include <QCloseEvent>
#include <QShowEvent>
#include <cstdio>
#include <exception>

#include "app/qt/accessibility.h"
#include "app/qt/icon.h"
#include "toolkit/qt/frame.h"

namespace pelmora::app::qt {

namespace {

// The layout is given in twips, at 15 twips per pixel.
constexpr int Px(int twips) { return twips / 15; }

QRect Twips(int left, int top, int width, int height) {
  return QRect(Px(left), Px(top), Px(width), Px(height));
}

struct FigureRow {
  const char* caption;
  const char* value;
};

QGroupBox* MakeFrame(QWidget* parent, const char* caption, QRect geometry) {
  auto* frame = new toolkit::qt::QtFrame(QString::fromUtf8(caption), parent);
  frame->setGeometry(geometry);
  frame->setFocusPolicy(Qt::NoFocus);
  return frame;
}

}  // namespace

MainWindow::MainWindow() : window_(*this), msgBox_(this) {
  setObjectName("Form1");
  setWindowTitle("Pelmora Ver.1.0");
  setWindowIcon(PelmoraIcon());
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  // The client area, not the frame the window manager adds, opens at its
  // place.
  setGeometry(Px(3735), Px(2760), Px(6720), Px(4605));
  setFixedSize(Px(6720), Px(4605));

  // Created in the window's order; the frames' children follow their frame.
  Frame2 = MakeFrame(this, "残リソース", Twips(60, 3180, 2175, 1155));
  Picture1 = new toolkit::qt::QtDrawingArea(this);
  Picture1->setObjectName("Picture1");
  Picture1->setGeometry(Twips(4500, 2040, 2175, 1095));
  Picture1->setFocusPolicy(Qt::StrongFocus);
  Command2 = new toolkit::qt::QtPushButton(QString::fromUtf8("停止"), this);
  Command2->setObjectName("Command2");
  Command2->setGeometry(Twips(4800, 3900, 615, 375));
  HScroll1 = new toolkit::qt::QtScrollBar(this);
  HScroll1->setObjectName("HScroll1");
  HScroll1->setGeometry(Twips(4980, 3480, 1275, 255));
  HScroll1->setRange(1, 20);
  HScroll1->setSingleStep(1);
  HScroll1->setPageStep(1);
  HScroll1->setValue(5);
  HScroll1->setFocusPolicy(Qt::StrongFocus);
  Command1 = new toolkit::qt::QtPushButton(QString::fromUtf8("更新"), this);
  Command1->setObjectName("Command1");
  Command1->setGeometry(Twips(5760, 3900, 615, 375));
  Timer1 = new toolkit::qt::QtTimer(this);
  StatusBar1 = new toolkit::qt::QtStatusBar({Px(4700), Px(1500), Px(460)}, this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setGeometry(Twips(0, 4350, 6720, 255));
  Frame1[2] = MakeFrame(this, "ページファイル(KB)", Twips(2280, 3180, 2175, 1155));
  Frame1[1] = MakeFrame(this, "仮想メモリ(KB)", Twips(2280, 1980, 2175, 1155));
  Frame1[0] = MakeFrame(this, "物理メモリ(KB)", Twips(60, 1980, 2175, 1155));
  ListView1 = new toolkit::qt::QtListView(this);
  ListView1->setObjectName("ListView1");
  ListView1->setGeometry(Twips(60, 0, 6615, 1935));
  Label2 = new toolkit::qt::QtLabel(this);
  Label2->setObjectName("Label2");
  Label2->setGeometry(Twips(5040, 3240, 1185, 180));
  Label2->SetCaption("更新頻度 1秒");
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  // The figure grid: a caption and its value on each of three rows.
  const FigureRow memoryRows[3][3] = {
      {{"合計", "523352 KB"}, {"利用可能", "523352 KB"}, {"使用率", "90 %"}},
      {{"合計", "8523352 KB"}, {"利用可能", "8523352 KB"}, {"使用率", "90 %"}},
      {{"合計", "523352 KB"}, {"利用可能", "523352 KB"}, {"使用率", "90 %"}},
  };
  const FigureRow resourceRows[3] = {{"システム", "90 %"}, {"User", "90 %"}, {"GDI", "90 %"}};
  const int rowTops[3] = {240, 540, 840};
  for (int index = 0; index < 24; index += 2) {
    const int frame = index / 6;
    const int row = (index % 6) / 2;
    QGroupBox* container = frame < 3 ? Frame1[frame] : Frame2;
    const FigureRow& texts = frame < 3 ? memoryRows[frame][row] : resourceRows[row];

    auto* caption = new toolkit::qt::QtLabel(container);
    caption->setObjectName(QString("Label1_%1").arg(index));
    caption->setGeometry(Twips(180, rowTops[row], 750, 210));
    caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    caption->SetCaption(texts.caption);

    auto* value = new toolkit::qt::QtLabel(container);
    value->setObjectName(QString("Label1_%1").arg(index + 1));
    if (frame == 3) {
      value->setGeometry(Twips(1200, rowTops[row], 675, 210));
    } else if (row == 2) {
      value->setGeometry(Twips(1140, rowTops[row], 795, 210));
    } else {
      value->setGeometry(Twips(1080, rowTops[row], 915, 210));
    }
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->SetCaption(texts.value);
    Label1[index] = caption;
    Label1[index + 1] = value;
  }

  // Focus order: Command1, ListView1, HScroll1, Command2, Picture1.
  for (QWidget* w : findChildren<QWidget*>()) {
    if (w != Command1 && w != Command2 && w != ListView1 && w != HScroll1 && w != Picture1 &&
        !ListView1->isAncestorOf(w)) {
      w->setFocusPolicy(Qt::NoFocus);
    }
  }
  setTabOrder(Command1, ListView1);
  setTabOrder(ListView1, HScroll1);
  setTabOrder(HScroll1, Command2);
  setTabOrder(Command2, Picture1);
  Command1->setFocus();
  msgBox_.Announcement();  // in the accessible tree from the start
  SetAccessibleNames(*this);
}

MainWindow::~MainWindow() = default;

Form1Controls MainWindow::Controls() {
  std::array<toolkit::Label*, 24> labels{};
  for (int i = 0; i < 24; ++i) labels[i] = Label1[i];
  return {window_,   *ListView1, *StatusBar1, *Picture1, *Timer1,
          *HScroll1, *Label2,    labels,      msgBox_,   text_};
}

template <typename Procedure>
void MainWindow::Run(const char* name, Procedure procedure) {
  if (!form_ || window_.Ended()) return;
  try {
    procedure(*form_);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "pelmora: %s: run-time error: %s\n", name, error.what());
  } catch (...) {
    std::fprintf(stderr, "pelmora: %s: run-time error\n", name);
  }
}

void MainWindow::Connect(Form1& form) {
  form_ = &form;
  connect(Timer1, &toolkit::qt::QtTimer::Timer, this,
          [this] { Run("Timer1_Timer", [](Form1& f) { f.Timer1_Timer(); }); });
  connect(HScroll1, &toolkit::qt::QtScrollBar::Change, this,
          [this] { Run("HScroll1_Change", [](Form1& f) { f.HScroll1_Change(); }); });
  connect(Command1, &QAbstractButton::clicked, this,
          [this] { Run("Command1_Click", [](Form1& f) { f.Command1_Click(); }); });
  connect(Command2, &QAbstractButton::clicked, this,
          [this] { Run("Command2_Click", [](Form1& f) { f.Command2_Click(); }); });
  // The key follows the selected row however it was chosen.
  for (auto signal :
       {&toolkit::qt::QtListView::SelectionChange, &toolkit::qt::QtListView::ItemClick}) {
    connect(ListView1, signal, this,
            [this] { Run("ListView1_Click", [](Form1& f) { f.ListView1_Click(); }); });
  }
}

void MainWindow::Load() {
  Run("Form_Load", [](Form1& f) { f.Form_Load(); });
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The first tick runs once, when the window is first shown.
  if (!activated_ && !event->spontaneous()) {
    activated_ = true;
    Run("Form_Activate", [](Form1& f) { f.Form_Activate(); });
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  Run("Form_QueryUnload", [](Form1& f) { f.Form_QueryUnload(); });
}

}  // namespace pelmora::app::qt

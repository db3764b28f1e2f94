// SPDX-License-Identifier: MIT
#pragma once
#include <QGroupBox>
#include <QWidget>
#include <array>
#include <memory>

#include "app/form1.h"
#include "toolkit/qt/drawing_area.h"
#include "toolkit/qt/label.h"
#include "toolkit/qt/list_view.h"
#include "toolkit/qt/message_box.h"
#include "toolkit/qt/push_button.h"
#include "toolkit/qt/scroll_bar.h"
#include "toolkit/qt/status_bar.h"
#include "toolkit/qt/text_services.h"
#include "toolkit/qt/timer.h"
#include "toolkit/qt/window.h"

namespace pelmora::app::qt {

// The window Form1 and its controls, at their fixed places.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  MainWindow();
  ~MainWindow() override;

  Form1Controls Controls();
  // Delivers the controls' events to the form's event procedures.
  void Connect(Form1& form);
  // Runs Form_Load, before the window is shown.
  void Load();
  // True once the program was ended.
  bool Ended() const { return window_.Ended(); }

  // The controls, by their names.
  QGroupBox* Frame1[3] = {};
  QGroupBox* Frame2 = nullptr;
  std::array<toolkit::qt::QtLabel*, 24> Label1{};
  toolkit::qt::QtLabel* Label2 = nullptr;
  toolkit::qt::QtListView* ListView1 = nullptr;
  toolkit::qt::QtDrawingArea* Picture1 = nullptr;
  toolkit::qt::QtScrollBar* HScroll1 = nullptr;
  toolkit::qt::QtPushButton* Command1 = nullptr;
  toolkit::qt::QtPushButton* Command2 = nullptr;
  toolkit::qt::QtStatusBar* StatusBar1 = nullptr;
  toolkit::qt::QtTimer* Timer1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Runs an event procedure; a run-time error ends that procedure only.
  template <typename Procedure>
  void Run(const char* name, Procedure procedure);

  toolkit::qt::QtWindow window_;
  toolkit::qt::QtMessageBox msgBox_;
  toolkit::qt::QtTextServices text_;
  Form1* form_ = nullptr;
  bool activated_ = false;
};

}  // namespace pelmora::app::qt

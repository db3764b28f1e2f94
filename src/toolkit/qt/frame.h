// SPDX-License-Identifier: MIT
#pragma once
#include <QGroupBox>

namespace pelmora::toolkit::qt {

// A captioned frame drawn as an etched line whose caption sits on the top
// edge, so the rows inside keep all the room below it.
class QtFrame : public QGroupBox {
  Q_OBJECT
 public:
  explicit QtFrame(const QString& title, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace pelmora::toolkit::qt

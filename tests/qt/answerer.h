// SPDX-License-Identifier: MIT
#pragma once
// Answers a modal message box from inside its loop, keeping what it showed.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

namespace pelmora::fakes {

// What the box showed, seen from inside its modal loop.
struct Seen {
  bool shown = false;
  bool modal = false;
  QString title;
  QString text;
  Qt::TextFormat textFormat = Qt::AutoText;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QString okText;
  QString cancelText;  // empty without a Cancel button
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
};

inline QString ButtonText(QMessageBox& box, QMessageBox::StandardButton which) {
  QAbstractButton* button = box.button(which);
  return button ? button->text() : QString();
}

// Waits for the modal box to show, records it and answers with `answer`.
// Its timers die with it, so nothing outlives a test.
class Answerer : public QObject {
 public:
  explicit Answerer(std::function<void(QMessageBox&)> answer) : answer_(std::move(answer)) {
    Schedule(200);
  }
  Seen seen;

 private:
  void Schedule(int triesLeft) {
    QTimer::singleShot(5, this, [this, triesLeft] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) {
        if (triesLeft > 0) Schedule(triesLeft - 1);
        return;
      }
      seen.shown = true;
      seen.modal = box->isModal();
      seen.title = box->windowTitle();
      seen.text = box->text();
      seen.textFormat = box->textFormat();
      seen.icon = box->icon();
      seen.buttons = box->standardButtons();
      seen.okText = ButtonText(*box, QMessageBox::Ok);
      seen.cancelText = ButtonText(*box, QMessageBox::Cancel);
      seen.defaultButton = box->standardButton(box->defaultButton());
      seen.escapeButton = box->standardButton(qobject_cast<QPushButton*>(box->escapeButton()));
      answer_(*box);
    });
  }
  std::function<void(QMessageBox&)> answer_;
};

}  // namespace pelmora::fakes

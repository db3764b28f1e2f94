// SPDX-License-Identifier: MIT
#include "toolkit/qt/label.h"

#include <QAccessible>
#include <QEvent>

#include "toolkit/qt/fit_text.h"

namespace pelmora::toolkit::qt {

QtLabel::QtLabel(QWidget* parent) : QLabel(parent) {
  setAutoFillBackground(false);
  setFrameShape(QFrame::NoFrame);
}

void QtLabel::SetCaption(std::string_view caption) {
  const QString text = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  if (text == this->text()) return;
  setText(text);
  FitText();
  UpdateAccessibleName();
  // A control this label names is read by the label's text: assistive tools
  // that keep names are told it changed.
  if (buddy()) {
    QAccessibleEvent renamed(buddy(), QAccessible::NameChanged);
    QAccessible::updateAccessibility(&renamed);
  }
}

void QtLabel::FitText() {
  const QFont base = parentWidget() ? parentWidget()->font() : QFont();
  const QFont fitted = fitter_.Fit(base, text(), contentsRect().width());
  if (fitted == base) {
    if (testAttribute(Qt::WA_SetFont)) setFont(QFont());  // the container's font again
  } else if (fitted != font()) {
    setFont(fitted);
  }
}

void QtLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  FitText();
}

void QtLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::ParentChange) FitText();
}

void QtLabel::SetAccessiblePrefix(const QString& prefix) {
  accessiblePrefix_ = prefix;
  UpdateAccessibleName();
}

void QtLabel::UpdateAccessibleName() {
  if (accessiblePrefix_.isEmpty()) {
    setAccessibleName(QString());
    return;
  }
  setAccessibleName(text().isEmpty() ? accessiblePrefix_ : accessiblePrefix_ + u' ' + text());
}

}  // namespace pelmora::toolkit::qt

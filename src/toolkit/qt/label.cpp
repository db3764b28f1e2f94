#include "toolkit/qt/label.h"

namespace pelmora::toolkit::qt {

QtLabel::QtLabel(QWidget* parent) : QLabel(parent) {
  setAutoFillBackground(false);
  setFrameShape(QFrame::NoFrame);
}

void QtLabel::SetCaption(std::string_view caption) {
  const QString text = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  if (text == this->text()) return;
  setText(text);
  UpdateAccessibleName();
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

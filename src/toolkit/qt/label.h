#pragma once
#include <QLabel>
#include <string_view>

#include "toolkit/label.h"

namespace pelmora::toolkit::qt {

// A static text without a background of its own: its container shows through.
class QtLabel : public QLabel, public toolkit::Label {
  Q_OBJECT
 public:
  explicit QtLabel(QWidget* parent = nullptr);
  // Leaves the label alone (no repaint) when the text is the same.
  void SetCaption(std::string_view caption) override;
};

}  // namespace pelmora::toolkit::qt

// SPDX-License-Identifier: MIT
#pragma once
#include <QFont>
#include <QString>

namespace pelmora::toolkit::qt {

// The font, made smaller step by step (not below about 8 pixels) until the
// text fits the width: a figure wider than its fixed place stays whole.
QFont FitFont(const QFont& base, const QString& text, int width);

}  // namespace pelmora::toolkit::qt

// SPDX-License-Identifier: MIT
#pragma once
#include <QIcon>
#include <QPixmap>

namespace pelmora::app::qt {

// The window's icon: a grey bezel around a black screen with a dark-green
// grid crossed by a white trace, drawn at 16 and 32 pixels.
QIcon PelmoraIcon();
// The icon drawn at one size, in pixels.
QPixmap DrawPelmoraIcon(int size);

}  // namespace pelmora::app::qt

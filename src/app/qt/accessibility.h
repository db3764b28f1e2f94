// SPDX-License-Identifier: MIT
#pragma once

namespace pelmora::app::qt {

class MainWindow;

// Gives every control of the window an accessible name that says what it
// shows, as in "物理メモリ 合計 523352 KB", never a bare "label".
void SetAccessibleNames(MainWindow& window);

}  // namespace pelmora::app::qt

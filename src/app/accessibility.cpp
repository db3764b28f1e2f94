#include "app/main_window.h"

namespace pelmora::app {

void SetAccessibleNames(MainWindow& window) {
  window.setAccessibleName("Pelmora");
}

}  // namespace pelmora::app

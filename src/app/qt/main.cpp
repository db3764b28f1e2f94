// SPDX-License-Identifier: MIT
// Pelmora: a desktop monitor of CPU load, memory, resources and processes.
#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <langinfo.h>

#include "app/form1.h"
#include "app/qt/main_window.h"
#include "platform/linux/linux_services.h"

namespace {

// The program runs on X11 unless the user chose a Qt platform: a Wayland
// client cannot learn that it was minimized, and the taskbar caption needs it.
bool ChoosePlatform() {
  const char* chosen = std::getenv("QT_QPA_PLATFORM");
  if (chosen && *chosen) return true;
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    std::fprintf(stderr, "pelmora: no display to show the window on (DISPLAY is not set)\n");
    return false;
  }
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  return true;
}

// The window's texts are UTF-8 whatever the locale. Where the locale's
// character set is another (the POSIX locale of a bare console, LANG=C),
// the character type becomes the same locale's UTF-8 form, or C.UTF-8, in
// the environment too: the X library reads it there, and would otherwise
// hand the window manager a title in Latin-1.
void PreferUtf8Characters() {
  std::setlocale(LC_ALL, "");  // a locale that is not installed leaves "C"
  const char* codeset = nl_langinfo(CODESET);
  if (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0) return;
  std::string name = std::setlocale(LC_CTYPE, nullptr);
  name = name.substr(0, name.find_first_of(".@")) + ".UTF-8";
  if (!std::setlocale(LC_CTYPE, name.c_str())) {
    name = "C.UTF-8";
    if (!std::setlocale(LC_CTYPE, name.c_str())) return;
  }
  // LC_ALL, where set, overrides LC_CTYPE.
  const char* all = std::getenv("LC_ALL");
  setenv(all && *all ? "LC_ALL" : "LC_CTYPE", name.c_str(), 1);
}

// The standard user-interface font, one that renders Japanese.
void ChooseFont(QApplication& app) {
  QFont font = app.font();
  for (const char* family : {"Noto Sans CJK JP", "Noto Sans JP", "IPAGothic", "VL Gothic"}) {
    if (QFontDatabase::hasFamily(family)) {
      font.setFamily(family);
      break;
    }
  }
  font.setPixelSize(11);
  app.setFont(font);
}

}  // namespace

int main(int argc, char** argv) {
  if (!ChoosePlatform()) return 1;
  PreferUtf8Characters();
  // The program takes no command line: Qt sees only the program's name.
  int qtArgc = 1;
  char* qtArgv[] = {argc > 0 ? argv[0] : const_cast<char*>("pelmora"), nullptr};
  // The desktop knows the program as pelmora.desktop; on X11 its windows
  // carry the class "pelmora", "Pelmora" (instance and class), so taskbars
  // group them under that entry's name and icon whatever the binary is called.
  setenv("RESOURCE_NAME", "pelmora", 1);
  QApplication app(qtArgc, qtArgv);
  QApplication::setApplicationName("Pelmora");
  QApplication::setDesktopFileName("pelmora");
  ChooseFont(app);

  pelmora::platform::linux_os::LinuxServices services;
  pelmora::app::qt::MainWindow window;
  pelmora::app::Form1 form(window.Controls(), services.Services());
  window.Connect(form);
  window.Load();
  if (window.Ended()) return 0;
  window.show();
  return QApplication::exec();
}

// SPDX-License-Identifier: MIT
// Writes the window's icon, as the program draws it, to a PNG file:
//   pelmora_render_icon SIZE FILE
// The hicolor theme's PNG icons are made with it at build time.
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/qt/icon.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SIZE FILE\n", argc > 0 ? argv[0] : "pelmora_render_icon");
    return 2;
  }
  char* end = nullptr;
  const long size = std::strtol(argv[1], &end, 10);
  if (!end || *end != '\0' || size < 8 || size > 1024) {
    std::fprintf(stderr, "pelmora_render_icon: bad size '%s'\n", argv[1]);
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  const QPixmap icon = pelmora::app::qt::DrawPelmoraIcon(static_cast<int>(size));
  if (icon.width() != size || !icon.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "pelmora_render_icon: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}

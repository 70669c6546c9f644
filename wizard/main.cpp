// quillet: the conversion wizard.
#include "TK/tk_log.h"
#include "wizard/quillet_app.h"

#include <QApplication>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (!gui_platform_available()) {
    std::fprintf(stderr, "Failed to initialize GUI library\n");
    return -1;
  }
  // Disabled until a settings file names a log file.
  tk_log log;
  QApplication app(argc, argv);
  // What Qt leaves of the arguments, as one line.
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return WinMain(nullptr, nullptr, line.data(), 1);
}

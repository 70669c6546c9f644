// quillet: the conversion wizard.
#include "TK/tk_log.h"
#include "common/stop_signals.h"
#include "wizard/quillet_app.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

QtMessageHandler qt_handler = nullptr;

// Qt's fatal message while it opens its platform ends the program here,
// before Qt's abort; the warnings that tell why go on as Qt writes them.
void refuse_unstarted_platform(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    std::fprintf(stderr, "Failed to initialize GUI library\n");
    std::fflush(stderr);
    _exit(-1);
  }
  if (qt_handler) {
    qt_handler(type, context, text);
    return;
  }
  std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

}  // namespace

int main(int argc, char** argv) {
  if (!gui_platform_available()) {
    std::fprintf(stderr, "Failed to initialize GUI library\n");
    return -1;
  }
  // Disabled until a settings file names a log file.
  tk_log log;
  // Qt aborts when its platform does not start (a display that does not
  // answer, a plugin that does not load): the wizard says so instead.
  qt_handler = qInstallMessageHandler(refuse_unstarted_platform);
  QApplication app(argc, argv);
  qInstallMessageHandler(qt_handler);
  // An interrupt stops the run, which removes what it made; then the
  // program ends by that signal. Any event loop, modal ones too, sees it.
  stop_signals interrupts;
  QSocketNotifier wake(interrupts.wake_fd(), QSocketNotifier::Read);
  QObject::connect(&wake, &QSocketNotifier::activated, [] { wizard_end_by_signal(); });
  // What Qt leaves of the arguments, as one line.
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  int code = WinMain(nullptr, nullptr, line.data(), 1);
  stop_signals::end_process_if_received();
  return code;
}

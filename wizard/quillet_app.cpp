#include "wizard/quillet_app.h"

#include "GUI2/g_gui.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "common/error_handler.h"
#include "common/quillet_convertor.h"
#include "common/stop_signals.h"
#include "wizard/finish_page.h"
#include "wizard/oracle_settings_page.h"
#include "wizard/progress_page.h"
#include "wizard/sel_file_page.h"
#include "wizard/sel_tables_page.h"
#include "wizard/welcome_page.h"
#include "wizard/wizard_exit.h"
#include "wizard/wizard_front_end.h"

#include <QApplication>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace {

// The application module: the desktop services the wizard hands to Qt.
class app_module {
 public:
  void init() { install_clipboard_hook(); }
  void term() { remove_clipboard_hook(); }
};

void run_wizard(const char* command_line, int& result) {
  result = 0;
  gui_startup_check();
  wizard_front_end front;
  quillet_convertor convertor(front);
  bool quick_launch = command_line && *command_line;
  if (quick_launch) {
    std::wstring path;
    if (tk_a2w(command_line, path)) {
      tk_log::write(2, L"QUICK LAUNCH: profile=%ls", path.c_str());
      try {
        convertor.load_profile(path);
      } catch (const tk_exception& e) {
        // A file that does not load leaves the registry settings in force.
        tk_log::write(2, "Error:\n%s", e.what());
      }
    }
  }
  {
    wizard_shell shell(convertor.get_title(), 501, 311, 312);
    welcome_page welcome(L"qlt");
    oracle_settings_page oracle;
    sel_file_page destination;
    qlt_sel_tables_page tables;
    if (quick_launch) {
      if (!oracle.connect_with_animation()) {
        result = -1;
        return;
      }
      convertor.get_all_tables();
      convertor.check_dest();
    } else {
      shell.add_page(&welcome);
      shell.add_page(&oracle);
      shell.add_page(&destination);
      shell.add_page(&tables);
    }
    progress_page progress;
    finish_page finish(L"qlt");
    shell.add_page(&progress);
    shell.add_page(&finish);
    result = shell.run_modal(active_window());
  }
  convertor.save_settings();
}

}  // namespace

bool gui_version_accepted(std::uint32_t version, std::uint32_t minimum) { return version >= minimum; }

std::uint32_t gui_library_version() {
  unsigned major = 0, minor = 0;
  if (std::sscanf(qVersion(), "%u.%u", &major, &minor) != 2) return 0;
  return (major << 16) | (minor & 0xFFFF);
}

std::uint32_t gui_minimum_version() { return (QT_VERSION_MAJOR << 16) | QT_VERSION_MINOR; }

bool gui_platform_available() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

void gui_startup_check() {
  std::uint32_t version = gui_library_version();
  tk_log::write(1, "Qt Widgets version=%X", version);
  if (!gui_version_accepted(version, gui_minimum_version())) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Incorrect version of the Qt Widgets library. Qt %u.%u\nor later is required to proceed with the "
                  "application.",
                  gui_minimum_version() >> 16, gui_minimum_version() & 0xFFFF);
    wizard_shell::error(std::string(text));
    wizard_exit_process(-1);
  }
  if (!QApplication::instance()) {
    wizard_shell::error(std::string("Failed to initialize GUI library"));
    wizard_exit_process(-1);
  }
}

void wizard_end_by_signal() {
  if (quillet_convertor::exists()) {
    quillet_convertor& c = quillet_convertor::instance();
    for (DWORD waited = 0; c.running && waited < tk_thread::stop_wait_ms; waited += 10) Sleep(10);
  }
  stop_signals::end_process_if_received();
}

int WinMain(HINSTANCE, HINSTANCE, char* command_line, int) {
  app_module module;
  module.init();
  error_handler handler(dao_error_count, dao_error_table);
  handler.load_err_map(oracle_error_count, oracle_error_table);
  handler.load_err_map(date_range_error_count, date_range_error_table);
  int result = 0;
  try {
    run_wizard(command_line, result);
  } catch (const tk_exception& e) {
    handler.handle(e, true);
  } catch (const std::exception& e) {
    wizard_shell::error(std::string(e.what()));
  }
  module.term();
  return result;
}

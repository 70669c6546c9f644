#include "wizard/quillet_app.h"

#include "GUI2/gui_dialog.h"
#include "GUI2/welcome_page_t.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "UDB/udb_profile.h"
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
#include "wizard/x_display.h"
#include "platform/utf8.h"

#include <QApplication>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The application module: the desktop services the wizard hands to Qt.
class app_module {
 public:
  void init() { install_clipboard_hook(); }
  void term() { remove_clipboard_hook(); }
};

// A log that cannot be opened is told in a box of its own, once; the box
// waits for the window's loop, since the failure comes inside a line of
// any thread, and the run goes on without the log.
void report_log_failure(const std::string& message) {
  gui_post([text = tk_from_utf8(message)] { wizard_shell::error(text); });
}

// The log writes nothing before the source is open and its name is checked
// against it (oracle_settings_page::start_log); the lines of a wizard that
// never opened one are dropped, and the file stays as it was.
class log_hold {
 public:
  explicit log_hold(const quillet_convertor& convertor) {
    if (!tk_log::exists()) return;
    tk_log::get()->report_failure = report_log_failure;
    convertor.hold_log();
  }
  ~log_hold() {
    if (!tk_log::exists()) return;
    tk_log& log = *tk_log::get();
    if (log.held) log.discard();
    // No window is left to show it.
    log.report_failure = nullptr;
  }
};

// The settings file of a quick launch; false, after its error box, when the
// file does not exist or does not load.
bool load_quick_launch_profile(quillet_convertor& convertor, const char* command_line) {
  // The line's bytes name the file, as every path's do.
  std::wstring path = qm_platform::path_from_utf8(command_line);
  try {
    tk_log::write(2, L"QUICK LAUNCH: profile=%ls", path.c_str());
    // A missing file raises its own message.
    udb_profile file;
    if (!file.load(path)) throw tk_exception(udb_profile::load_failure_message(path), 1);
    // The run needs a format: a file without one is refused whole, before
    // anything of it is taken.
    if (file.get_value(udb_profile_keys::excel_settings, udb_profile_keys::format_version).empty())
      throw tk_exception(
          std::wstring(L"Profile names no MS Excel format version.\nPlease verify the correct path/name was given."), 1);
    // Its log may not name it.
    convertor.reads_file(command_line);
    if (convertor.apply_profile(file)) return true;
    throw tk_exception(udb_profile::load_failure_message(path), 1);
  } catch (const tk_exception& e) {
    error_handler::instance().handle(e, true);
  }
  return false;
}

// Writes the settings back once the sheet is gone, however it ended, and
// says so when they cannot be kept.
class settings_keeper {
 public:
  explicit settings_keeper(quillet_convertor& c) : convertor(c) {}
  ~settings_keeper() {
    try {
      if (!convertor.save_settings()) wizard_shell::error(convertor.settings_failure());
    } catch (const tk_exception& e) {
      tk_log_internal_error(e);
    } catch (const std::exception& e) {
      tk_log::write(3, "%s", e.what());
    }
  }
  settings_keeper(const settings_keeper&) = delete;
  settings_keeper& operator=(const settings_keeper&) = delete;

 private:
  quillet_convertor& convertor;
};

void run_wizard(const char* command_line, int& result) {
  // Until the sheet returns, no workbook can have been written: an error
  // that ends the program before then is a failure.
  result = -1;
  gui_startup_check();
  wizard_front_end front;
  quillet_convertor convertor(front);
  log_hold held_log(convertor);
  // Said now, not first as the wizard closes: the pages start without the
  // saved settings, or a file made read-only is about to be replaced.
  if (!convertor.settings_notice().empty()) wizard_shell::error(convertor.settings_notice());
  bool quick_launch = command_line && *command_line;
  // The user named a file: running on other settings would convert what
  // was not asked for. The saved settings stay as they were.
  if (quick_launch && !load_quick_launch_profile(convertor, command_line)) {
    convertor.leave_saved_settings();
    return;
  }
  settings_keeper keeper(convertor);
  {
    wizard_shell shell(convertor.get_title(), 501, 311, 312);
    welcome_page welcome(L"qlt");
    oracle_settings_page oracle;
    sel_file_page destination;
    qlt_sel_tables_page tables;
    if (quick_launch) {
      // Refused before anything is connected; a settings file that cannot
      // run is not the next start's.
      try {
        convertor.check_dest();
      } catch (const tk_exception&) {
        convertor.leave_saved_settings();
        throw;
      }
      if (!oracle.connect_with_animation()) return;
      // A log refused is a settings file refused.
      if (!oracle.start_log()) {
        convertor.leave_saved_settings();
        return;
      }
      convertor.get_all_tables();
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
  auto set = [](const char* name) -> const char* {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
  };
  const char* platform = set("QT_QPA_PLATFORM");
  const char* display = set("DISPLAY");
  if (platform) {
    // "name:options", or a list of names tried in turn.
    if (std::string(platform, std::strcspn(platform, ":;")) != "xcb") return true;
  } else if (set("WAYLAND_DISPLAY")) {
    // Without a platform named, Qt may choose Wayland where it is there.
    return true;
  }
  return display && x_display_answers(display, x_display_answer_ms);
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
    // The convertor is not destroyed on this way out: the settings are
    // written back here, as every other close does. The program is ending:
    // no box waits for an answer.
    try {
      if (!c.save_settings()) {
        tk_log::write(3, L"%ls", c.settings_failure().c_str());
        std::fprintf(stderr, "%s\n", tk_to_utf8(c.settings_failure()).c_str());
      }
    } catch (const tk_exception& e) {
      tk_log_internal_error(e);
    }
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

#include "wizard/wizard_front_end.h"

#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "wizard/error_dialogs.h"

void wizard_front_end::start_timer() { wizard_shell::instance().start_timer(200); }

void wizard_front_end::on_column_cap() {
  dlg_error_continue<115> dialog(L"Table will be truncated up to 256 columns.");
  if (dialog.do_modal() == 1) throw tk_final_exception();
}

void wizard_front_end::on_table_converted(const std::wstring& text) {
  if (wizard_shell::exists()) wizard_shell::instance().write_log(text);
}

void wizard_front_end::on_other_exception(const std::exception& e) { wizard_shell::error(std::string(e.what())); }

void wizard_front_end::on_run_outcome(const std::string& text) {
  tk_log::write(3, "Error:\n%s", text.c_str());
  wizard_shell::list_error(text);
}

// The wizard's display of an exception: the internal-error dialog that ends
// the program, an error box, or the dialog that lets the run go on.
#include "common/error_handler.h"

#include "GUI2/wizard_shell.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "wizard/error_dialogs.h"
#include "wizard/wizard_exit.h"

#include <cstdio>
#include <unistd.h>

void wizard_exit_process(int code) {
  std::fflush(nullptr);
  _exit(code);
}

namespace {
std::wstring widen(const std::string& text) {
  std::wstring wide;
  return tk_a2w(text.c_str(), wide) ? wide : std::wstring(L"?");
}
}  // namespace

void error_handler::handle(const tk_exception& e, bool top_level) {
  tk_log::write(1, "error_handler::handle");
  if (e.level == 2) {
    tk_log::write(3, "Internal error:\n%s", e.what());
    dlg_error_ex<114> dialog(widen(internal_text(e)));
    dialog.do_modal();
    wizard_exit_process(-1);
  }
  std::string text = compose(e);
  tk_log::write(3, "Error:\n%s", text.c_str());
  for (char& c : text)
    if (c == '\n') c = ' ';
  wizard_shell::list_error(text);
  if (e.level == 1) {
    tk_log::write(3, "Got 1-level error");
    if (!quiet) wizard_shell::error(widen(text));
    if (!top_level) throw tk_final_exception();
    return;
  }
  tk_log::write(3, "Got 0-level error");
  if (quiet) return;
  dlg_error_continue<115> dialog(widen(text));
  int result = dialog.do_modal();
  if (!top_level && result == 1) throw tk_final_exception();
  quiet = dialog.do_not_show;
}

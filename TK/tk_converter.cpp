#include "TK/tk_converter.h"

#include "TK/tk_exception.h"
#include "TK/tk_file_name.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"

tk_converter::tk_converter() { tk_log::write(2, "tk_converter::ctor"); }

void tk_converter::set_state_flag(bool flag) { state_flag = flag; }

void tk_converter::end_run_if_stopped() const {
  if (stop_requested()) throw tk_final_exception();
}

void tk_converter::set_logfile(const std::string& name) {
  tk_log::write(1, "tk_convertor::set_logfile(%s)", name.c_str());
  log_file = name;
  if (name.empty()) {
    tk_log::write(1, "Filename is empty");
    return;
  }
  if (tk_is_path_exist(name)) throw tk_exception("Logfile name specifies an existing path.", 1);
  if (tk_is_file_exist(name, 0) && !tk_is_file_exist(name, 1))
    throw tk_exception("Logfile name specifies an existing read-only file.", 1);
  tk_file_name parts(name);
  if (!tk_is_path_exist(parts.drive + parts.dir))
    throw tk_exception("Logfile path does not exist.\nPlease verify the correct path was given.", 1);
  tk_log& log = tk_log::instance();
  log.set_file_name(name.c_str());
  log.enabled = true;
}

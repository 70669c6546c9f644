#include "TK/tk_error_converter.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"

tk_error_converter::tk_error_converter(int count, const tk_error_entry* table) {
  tk_log::write(2, "tk_error_converter::ctor (map size=%d)", count);
  load_map(count, table);
}

void tk_error_converter::load_map(int count, const tk_error_entry* table) {
  tk_log::write(2, "tk_error_converter::load_map (map size=%d)", count);
  if (!table) throw tk_mail_assertion("tk_errco", 43);
  for (int i = 0; i < count; ++i) messages.emplace(table[i].code, table[i].message ? table[i].message : "");
}

std::string tk_error_converter::convert(int code) const {
  tk_log::write(2, "tk_error_converter::convert(%d)", code);
  auto it = messages.find(code);
  if (it == messages.end()) {
    tk_log::write(2, "Error message not found!");
    return std::string();
  }
  tk_log::write(2, "Error message has been found: %s", it->second.c_str());
  return it->second;
}

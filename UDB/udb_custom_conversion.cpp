#include "UDB/udb_custom_conversion.h"

#include "TK/tk_log.h"
#include "UDB/udb_schema.h"

namespace {

const std::vector<std::unique_ptr<udb_conversion_rule>>* active_rules() {
  return udb_custom_conversion::exists() ? &udb_custom_conversion::get()->rules : nullptr;
}

}  // namespace

bool udb_custom_conversion::is_acceptable1(const t_ftd& column) {
  tk_log::write(1, "udb_custom_conversion::is_acceptable1");
  if (auto* list = active_rules())
    for (const auto& rule : *list)
      if (rule->accepts_type(column)) return true;
  return false;
}

bool udb_custom_conversion::is_acceptable2(const t_ftd& column) {
  tk_log::write(1, "udb_custom_conversion::is_acceptable2");
  if (auto* list = active_rules())
    for (const auto& rule : *list)
      if (rule->accepts_value(column)) return true;
  return false;
}

std::wstring udb_custom_conversion::handle1(const t_ftd& column) {
  tk_log::write(1, "udb_custom_conversion::handle1");
  if (auto* list = active_rules())
    for (const auto& rule : *list)
      if (rule->accepts_type(column)) return rule->native_type(column);
  return std::wstring();
}

ole_variant udb_custom_conversion::handle2(const t_ftd& column) {
  tk_log::write(1, "udb_custom_conversion::handle2");
  if (auto* list = active_rules())
    for (const auto& rule : *list)
      if (rule->accepts_value(column)) return rule->convert_value(column);
  return ole_variant();
}

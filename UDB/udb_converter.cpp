#include "UDB/udb_converter.h"

#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "UDB/udb_profile.h"
#include "platform/utf8.h"

#include <iterator>

namespace keys = udb_profile_keys;

udb_converter::udb_converter() { tk_log::write(2, "udb_converter::ctor"); }

bool udb_converter::store_profile(udb_profile& profile) {
  tk_log::write(2, "udb_converter::store_profile");
  for (const auto& [name, text] : available_queries) {
    tk_log::write(1, L"Available Query: (%ls,%ls)", name.c_str(), text.c_str());
    profile.set_value(keys::available_queries, name, text);
  }
  for (const auto& [name, text] : selected) {
    tk_log::write(1, L"Selected Query: (%ls,%ls)", name.c_str(), text.c_str());
    profile.set_value(keys::selected_tables, name, text);
  }
  // A path keeps its bytes, text or not.
  std::wstring log_name = qm_platform::path_from_utf8(log_file.c_str());
  profile.set_value(keys::generic_settings, keys::src, src);
  profile.set_value(keys::generic_settings, keys::dest, dest);
  profile.set_value(keys::generic_settings, keys::logfile, log_name);
  profile.set_value(keys::generic_settings, keys::skip_indexes, skip_indexes ? L"1" : L"0");
  profile.set_value(keys::generic_settings, keys::only_definitions, only_definitions ? L"1" : L"0");
  profile.set_value(keys::generic_settings, keys::mode, std::wstring(1, static_cast<wchar_t>(L'0' + mode)));
  return true;
}

bool udb_converter::load_profile(udb_profile& profile) {
  tk_log::write(1, "udb_converter::load_profile");
  for (const auto& [name, text] : profile.get_selected_tables()) {
    auto [at, added] = selected.emplace(name, text);
    // A query keeps its text against a table of its name, whichever came first.
    if (!added && at->second.empty()) at->second = text;
    if (text.empty()) {
      tk_log::write(1, L"Push back table '%ls'", name.c_str());
      selected_tables.push_back(name);
    }
  }
  for (const auto& [name, text] : profile.get_available_queries()) available_queries.emplace(name, text);

  // A file without them keeps what the command line or the registry gave.
  std::wstring value = profile.get_value(keys::generic_settings, keys::src);
  if (!value.empty()) src = value;
  value = profile.get_value(keys::generic_settings, keys::dest);
  if (!value.empty()) dest = value;

  std::string log_name = qm_platform::path_to_utf8(profile.get_value(keys::generic_settings, keys::logfile).c_str());
  tk_log::write(2, "Logfile=%s", log_name.c_str());
  set_logfile(log_name);

  value = profile.get_value(keys::generic_settings, keys::only_definitions);
  if (!value.empty()) only_definitions = value != L"0";
  value = profile.get_value(keys::generic_settings, keys::mode);
  if (!value.empty()) mode = static_cast<std::uint32_t>(value[0] - L'0');
  value = profile.get_value(keys::generic_settings, keys::skip_indexes);
  if (!value.empty()) skip_indexes = value != L"0";
  return true;
}

void udb_converter::select_tables(std::vector<std::wstring> names) {
  for (auto it = selected.begin(); it != selected.end();) it = it->second.empty() ? selected.erase(it) : std::next(it);
  selected_tables = std::move(names);
}

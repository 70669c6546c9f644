#include "UDB/udb_names_map.h"

#include "TK/tk_log.h"
#include "UDB/udb_compare.h"
#include "platform/win32.h"

namespace {

bool names_match(const std::wstring& a, const std::wstring& b, bool case_sensitive) {
  return case_sensitive ? a == b : udb_same_name(a, b);
}

bool is_word_char(const std::wstring& text, std::size_t pos) {
  return pos < text.size() && IsCharAlphaNumericW(text[pos]);
}

}  // namespace

void t_names_map::add(const std::wstring& source, const std::wstring& destination) {
  tk_log::write(1, L"t_names_map::add(%ls,%ls)", source.c_str(), destination.c_str());
  emplace(source, destination);
}

std::wstring t_names_map::get_mapped_name(const std::wstring& name, bool case_sensitive) const {
  tk_log::write(1, L"t_names_map::get_mapped_name(%ls)", name.c_str());
  for (const auto& [source, destination] : *this) {
    if (names_match(source, name, case_sensitive)) {
      tk_log::write(1, L"Got mapped name: %ls", destination.c_str());
      return destination;
    }
  }
  return name;
}

void udb_names_map::add_tn_mapping(const std::wstring& source_table, const std::wstring& destination_table) {
  tk_log::write(2, L"udb_names_map::add_tn_mapping(%ls,%ls)", source_table.c_str(), destination_table.c_str());
  table_map.emplace(source_table, destination_table);
}

void udb_names_map::add_fn_map(const std::wstring& table, const t_names_map& fields) {
  tk_log::write(2, L"udb_names_map::add_fn_map(%ls)", table.c_str());
  field_maps.emplace(table, fields);
}

std::wstring udb_names_map::get_tn_mapped_name(const std::wstring& table, bool case_sensitive) const {
  tk_log::write(1, L"udb_names_map::get_tn_mapped_name(%ls)", table.c_str());
  for (const auto& [source, destination] : table_map) {
    tk_log::write(1, L"Comparing with (%ls,%ls)", source.c_str(), destination.c_str());
    if (names_match(source, table, case_sensitive)) {
      tk_log::write(1, L"Got mapped name: %ls", destination.c_str());
      return destination;
    }
  }
  return table;
}

std::wstring udb_names_map::get_fn_mapped_name(const std::wstring& table, const std::wstring& field,
                                               bool case_sensitive) const {
  tk_log::write(1, L"udb_names_map::get_fn_mapped_name(%ls,%ls)", table.c_str(), field.c_str());
  auto fields = field_maps.find(table);
  if (fields == field_maps.end()) {
    tk_log::write(1, L"Table '%ls' not found", table.c_str());
    return field;
  }
  return fields->second.get_mapped_name(field, case_sensitive);
}

std::wstring udb_names_map::do_global_replace2(const std::wstring& text, const t_names_map& map,
                                               const std::wstring& prefix, const std::wstring& suffix) {
  tk_log::write(2, L"udb_names_map::do_global_replace2(%ls)", text.c_str());
  std::wstring result = text;
  for (const auto& [source, destination] : map) {
    // An empty name would be found everywhere and replaced without end.
    if (source.empty()) continue;
    std::wstring replacement = prefix + destination + suffix;
    tk_log::write(1, L"Testing pair ('%ls','%ls')", source.c_str(), replacement.c_str());
    std::size_t pos = 0;
    for (;;) {
      std::size_t hit = result.find(source, pos);
      if (hit == std::wstring::npos) break;
      tk_log::write(1, L"'%ls' was found at pos=%d", source.c_str(), static_cast<int>(hit));
      if ((hit > 0 && is_word_char(result, hit - 1)) || is_word_char(result, hit + source.size())) {
        pos = hit + source.size();
        continue;
      }
      result.replace(hit, source.size(), replacement);
      pos = hit + replacement.size();
    }
  }
  return result;
}

std::wstring udb_names_map::do_global_replace1(const std::wstring& text, const std::wstring& prefix,
                                               const std::wstring& suffix) const {
  tk_log::write(2, L"udb_names_map::do_global_replace1(%ls)", text.c_str());
  std::wstring result = do_global_replace2(text, table_map, prefix, suffix);
  for (const auto& [table, fields] : field_maps) result = do_global_replace2(result, fields, prefix, suffix);
  return result;
}

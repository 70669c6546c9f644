// Which source name became which destination name, for tables and for the
// fields of each table, and the rewriting of SQL texts with the new names.
#pragma once

#include <map>
#include <string>

// Source name to destination name, in the binary order of the source names.
class t_names_map : public std::map<std::wstring, std::wstring> {
 public:
  // A source name that is already a key keeps its first destination.
  void add(const std::wstring& source, const std::wstring& destination);
  // The destination of the first source name that matches (exactly, or
  // without regard to case); the name itself when none does.
  std::wstring get_mapped_name(const std::wstring& name, bool case_sensitive) const;
};

class udb_names_map {
 public:
  void add_tn_mapping(const std::wstring& source_table, const std::wstring& destination_table);
  // Keeps a copy of the table's field map.
  void add_fn_map(const std::wstring& table, const t_names_map& fields);
  std::wstring get_tn_mapped_name(const std::wstring& table, bool case_sensitive) const;
  // The table's field map is found by its exact name.
  std::wstring get_fn_mapped_name(const std::wstring& table, const std::wstring& field, bool case_sensitive) const;

  // Replaces every whole-word occurrence of each source name (exact case)
  // with prefix + destination + suffix. A hit with a letter or digit just
  // before or after it is part of a longer name and stays.
  static std::wstring do_global_replace2(const std::wstring& text, const t_names_map& map,
                                         const std::wstring& prefix, const std::wstring& suffix);
  // The table names first, then the field names of each table.
  std::wstring do_global_replace1(const std::wstring& text, const std::wstring& prefix,
                                  const std::wstring& suffix) const;

  t_names_map table_map;
  std::map<std::wstring, t_names_map> field_maps;
};

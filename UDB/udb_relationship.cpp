#include "UDB/udb_relationship.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_compare.h"

#include <algorithm>

namespace {

std::wstring blanks_to_underscores(std::wstring text) {
  std::replace(text.begin(), text.end(), L' ', L'_');
  return text;
}

}  // namespace

udb_relationship::udb_relationship(const std::wstring& table_a, const std::wstring& table_b,
                                   std::vector<std::wstring> fields_a, std::vector<std::wstring> fields_b,
                                   const std::wstring& on_delete)
    : name(L"FK_" + blanks_to_underscores(table_b) + L"_" + blanks_to_underscores(table_a)),
      table_a(table_a),
      table_b(table_b),
      on_delete(on_delete),
      fields_a(std::move(fields_a)),
      fields_b(std::move(fields_b)) {}

udb_relationship::udb_relationship(const std::wstring& name, const std::wstring& second_name,
                                   const std::wstring& table_a, const std::wstring& table_b,
                                   std::vector<std::wstring> fields_a, std::vector<std::wstring> fields_b,
                                   const std::wstring& on_delete)
    : name(name),
      second_name(second_name),
      table_a(table_a),
      table_b(table_b),
      on_delete(on_delete),
      fields_a(std::move(fields_a)),
      fields_b(std::move(fields_b)) {}

udb_relationship& udb_relationships::get_index(const std::wstring& name) {
  for (auto& relationship : items)
    if (udb_same_name(relationship.name, name)) return relationship;
  throw tk_mail_assertion("udb_rel", 129);
}

bool udb_relationships::is_acceptable_name(const std::wstring& name) const {
  return std::none_of(items.begin(), items.end(),
                      [&](const udb_relationship& r) { return udb_same_name(r.name, name); });
}

std::wstring udb_relationships::gen_relship_name(const udb_relationship& relationship) const {
  tk_log::write(1, "udb_relationships::gen_relship_name");
  static const wchar_t* const suffixes[6] = {L"_", L"1", L"_", L"2", L"_", L"3"};
  std::wstring name = L"FK_" + relationship.table_b + L"_" + relationship.table_a;
  // Each try is longer than the last, so a finite list always leaves one free.
  for (std::size_t i = 0; !is_acceptable_name(name); ++i) {
    tk_log::write(2, L"%ls is not acceptable as a FK name", name.c_str());
    name += suffixes[i % 6];
  }
  return name;
}

#include "UDB/udb_index.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_compare.h"

#include <algorithm>

bool udb_index::starts_with_fields(const std::vector<std::wstring>& names) const {
  if (names.size() > fields.size()) return false;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!udb_same_name(names[i], fields[i])) {
      tk_log::write(1, L"Field '%ls' not found", names[i].c_str());
      return false;
    }
  }
  tk_log::write(1, "starts_with_fields returns true");
  return true;
}

bool udb_index::consists_of_fields(const std::vector<std::wstring>& names) const {
  if (names.size() != fields.size()) return false;
  for (const auto& name : names) {
    if (std::find(fields.begin(), fields.end(), name) == fields.end()) {
      tk_log::write(1, L"Field '%ls' not found", name.c_str());
      return false;
    }
  }
  return true;
}

udb_index* udb_indexes::find(const std::wstring& name) {
  for (auto& index : items)
    if (udb_same_name(index.name, name)) return &index;
  return nullptr;
}

const udb_index* udb_indexes::find(const std::wstring& name) const {
  return const_cast<udb_indexes*>(this)->find(name);
}

udb_index& udb_indexes::get_index(const std::wstring& name) {
  udb_index* index = find(name);
  if (!index) throw tk_mail_assertion("..\\UDB/udb_idx", 187);
  return *index;
}

const udb_index& udb_indexes::get_index(const std::wstring& name) const {
  return const_cast<udb_indexes*>(this)->get_index(name);
}

bool udb_indexes::find2(const std::wstring& name) const { return find(name) != nullptr; }

bool udb_indexes::is_acceptable_name(const std::wstring& name) const { return find(name) == nullptr; }

bool udb_indexes::is_idx_field(const std::wstring& field, bool primary_only) const {
  for (const auto& index : items) {
    if (primary_only && !index.primary) continue;
    for (const auto& column : index.fields) {
      if (udb_same_name(column, field)) {
        tk_log::write(1, "index field");
        return true;
      }
    }
  }
  tk_log::write(1, "non-index field");
  return false;
}

void udb_indexes::push_back(const udb_index& index) {
  udb_index* existing = find(index.name);
  if (!existing) {
    tk_log::write(1, "Index does not exist, add it");
    items.push_back(index);
  } else if (existing->primary) {
    tk_log::write(1, "Primary key with the same name exists, skip it.");
  } else if (index.primary) {
    tk_log::write(1, "Upgrade existing index to primary key.");
    *existing = index;
  } else if (existing->unique) {
    tk_log::write(1, "Unique index with the same name exists, skip it.");
  } else if (index.unique) {
    tk_log::write(1, "Set unique attribute for existing index.");
    *existing = index;
  }
}

// Table descriptions, records and read-back helpers of the writing tests.
#pragma once

#include "ORA/ora_query_results.h"
#include "ora_test_support.h"

#include <cwchar>
#include <memory>
#include <string>
#include <vector>

inline std::unique_ptr<t_ftd> column(const std::wstring& name, VARTYPE vt, std::int32_t size = 0,
                                     std::uint32_t reserved = 0, bool not_null = false, std::uint8_t flag = 0,
                                     const ole_variant& def = ole_variant()) {
  return std::make_unique<t_ftd>(size, name, vt, not_null, flag, def, reserved, std::wstring());
}

// A record in the table's column order.
class record_builder {
 public:
  record_builder& add(const std::wstring& name, const ole_variant& value) {
    record.push_back(std::make_unique<udb_field>(name, 0, value, false, 0));
    return *this;
  }
  udb_record record;
};

inline ole_variant bytes_value(const std::vector<unsigned char>& bytes) {
  ole_variant v;
  v.attach_binary(bytes);
  return v;
}

// The texts of a dictionary query; numbers as the server writes them.
inline std::vector<std::vector<std::wstring>> dictionary(const std::wstring& sql) {
  ora_query_results rows(0, sql);
  std::vector<std::vector<std::wstring>> out;
  while (!rows.is_eof()) {
    udb_record* r = rows.get_item();
    if (!r) break;
    std::vector<std::wstring> row;
    for (std::size_t i = 0; i < r->size(); ++i) {
      const udb_field& f = (*r)[i];
      if (f.get_type() == VT_EMPTY) {
        row.push_back(L"<null>");
      } else if (f.get_type() == VT_R8) {
        wchar_t text[64];
        std::swprintf(text, 64, L"%.15g", f.to_double());
        row.push_back(text);
      } else {
        row.push_back(f.to_wstring());
      }
    }
    out.push_back(row);
  }
  return out;
}

using texts = std::vector<std::vector<std::wstring>>;

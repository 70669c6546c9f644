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

inline std::vector<unsigned char> bytes_of(const ole_variant& v) {
  unsigned char* data = nullptr;
  std::size_t n = v.get_bytes(&data);
  return n ? std::vector<unsigned char>(data, data + n) : std::vector<unsigned char>();
}

// Every row of a recordset, read as the conversion run reads.
inline std::vector<std::vector<udb_field>> read_rows(udb_recordset& rs) {
  std::vector<std::vector<udb_field>> rows;
  for (; !rs.is_eof(); rs.next()) {
    udb_record* record = rs.get_item();
    if (!record) break;
    std::vector<udb_field> row;
    for (std::size_t i = 0; i < record->size(); ++i) row.push_back((*record)[i]);
    rows.push_back(row);
  }
  return rows;
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

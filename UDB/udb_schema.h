// The layout of a table: one type descriptor per column, in column order,
// looked up by name.
#pragma once

#include "OLE/ole_variant.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class udb_field;

// One column: name, variant type, size, nullability and default.
class t_ftd {
 public:
  // An empty descriptor: no name, type 0.
  t_ftd() = default;
  // Size, name and flags from the field, the type from its value.
  t_ftd(const udb_field& field, const ole_variant& default_value, std::uint32_t reserved);
  t_ftd(std::int32_t size, const std::wstring& name, VARTYPE vartype, bool b_not_null, std::uint8_t flag,
        const ole_variant& default_value, std::uint32_t reserved, const std::wstring& type_text);

  std::int32_t size = 0;
  std::wstring name;
  VARTYPE vartype = 0;
  // The engine's own type name (the Oracle type text), or empty.
  std::wstring type_text;
  std::uint8_t flag = 0;
  bool b_not_null = false;
  ole_variant default_value;
  // Set by the engines (the Oracle engine marks its date columns with 1).
  std::uint32_t reserved = 0;
  std::wstring extra_text;
};

class udb_schema {
 public:
  explicit udb_schema(bool flag = false);
  // A deep copy: each schema owns its descriptors.
  udb_schema(const udb_schema& other);
  udb_schema& operator=(const udb_schema& other);
  udb_schema(udb_schema&&) = default;
  udb_schema& operator=(udb_schema&&) = default;
  virtual ~udb_schema();

  // Names compare without regard to case; the first match wins.
  bool find_field(const std::wstring& name) const;
  // -1 when there is none.
  int get_field_idx(const std::wstring& name) const;
  // The descriptor of that name; an empty descriptor, which stays valid as
  // long as the schema, when there is none.
  t_ftd& get_field1(const std::wstring& name);
  const t_ftd& get_field2(const std::wstring& name) const;

  void push_back(std::unique_ptr<t_ftd> column) { fields.push_back(std::move(column)); }
  std::size_t size() const { return fields.size(); }
  bool empty() const { return fields.empty(); }
  t_ftd& operator[](std::size_t i) { return *fields[i]; }
  const t_ftd& operator[](std::size_t i) const { return *fields[i]; }
  void clear() { fields.clear(); }

  std::vector<std::unique_ptr<t_ftd>> fields;
  bool flag;

 private:
  const t_ftd* find(const std::wstring& name) const;
  t_ftd missing;
};

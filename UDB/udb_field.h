// One field of a record: a value with the field's name and declared size.
#pragma once

#include "OLE/ole_variant.h"

#include <cstdint>
#include <string>

class udb_field : public ole_variant {
 public:
  udb_field();
  udb_field(const std::wstring& name, std::int32_t size, const ole_variant& value, bool b_not_null,
            std::uint8_t flag);
  udb_field(const udb_field& other);
  udb_field& operator=(const udb_field& other) = default;
  ~udb_field() override = default;

  // The variant type of the value.
  virtual VARTYPE get_type() const;

  // Characters or bytes, as the engine gives it.
  std::int32_t size = 0;
  std::wstring name;
  bool b_not_null = false;
  // The engines set it to 0; it is only passed on.
  std::uint8_t flag = 0;
};

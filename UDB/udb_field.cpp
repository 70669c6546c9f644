#include "UDB/udb_field.h"

#include "TK/tk_log.h"

udb_field::udb_field() { tk_log::write(1, "udb_field::empty ctor"); }

udb_field::udb_field(const std::wstring& name, std::int32_t size, const ole_variant& value, bool b_not_null,
                     std::uint8_t flag)
    : ole_variant(value), size(size), name(name), b_not_null(b_not_null), flag(flag) {
  tk_log::write(1, "udb_field::ctor #2");
  tk_log::write(1, L"name=%ls, size=%d", name.c_str(), size);
}

udb_field::udb_field(const udb_field& other)
    : ole_variant(other), size(other.size), name(other.name), b_not_null(other.b_not_null), flag(other.flag) {
  tk_log::write(1, "udb_field::copy ctor");
}

VARTYPE udb_field::get_type() const {
  tk_log::write(1, "ole_variant::get_type");
  return var.vt;
}

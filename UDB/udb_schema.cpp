#include "UDB/udb_schema.h"

#include "TK/tk_log.h"
#include "UDB/udb_compare.h"
#include "UDB/udb_field.h"

namespace {

void log_ftd(const t_ftd& f) {
  tk_log::write(1, L"\tfield name='%ls', vartype=%d, size=%d, b_not_null=%d, reserved=%d", f.name.c_str(),
                static_cast<int>(f.vartype), static_cast<int>(f.size), f.b_not_null ? 1 : 0,
                static_cast<int>(f.reserved));
}

}  // namespace

t_ftd::t_ftd(const udb_field& field, const ole_variant& default_value, std::uint32_t reserved)
    : size(field.size),
      name(field.name),
      vartype(field.get_type()),
      flag(field.flag),
      b_not_null(field.b_not_null),
      default_value(default_value),
      reserved(reserved) {
  tk_log::write(1, "t_ftd::ctor1");
  log_ftd(*this);
}

t_ftd::t_ftd(std::int32_t size, const std::wstring& name, VARTYPE vartype, bool b_not_null, std::uint8_t flag,
             const ole_variant& default_value, std::uint32_t reserved, const std::wstring& type_text)
    : size(size),
      name(name),
      vartype(vartype),
      type_text(type_text),
      flag(flag),
      b_not_null(b_not_null),
      default_value(default_value),
      reserved(reserved) {
  tk_log::write(1, "t_ftd::ctor2");
  log_ftd(*this);
}

udb_schema::udb_schema(bool flag) : flag(flag) { tk_log::write(1, "udb_schema::ctor"); }

udb_schema::udb_schema(const udb_schema& other) : flag(other.flag) {
  tk_log::write(1, "udb_schema::ctor");
  for (const auto& column : other.fields) fields.push_back(std::make_unique<t_ftd>(*column));
}

udb_schema& udb_schema::operator=(const udb_schema& other) {
  if (this != &other) {
    udb_schema copy(other);
    *this = std::move(copy);
  }
  return *this;
}

udb_schema::~udb_schema() { tk_log::write(1, "udb_schema::dtor"); }

const t_ftd* udb_schema::find(const std::wstring& name) const {
  tk_log::write(1, "Schema size=%d", static_cast<int>(fields.size()));
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const t_ftd* column = fields[i].get();
    tk_log::write(1, "Processing field #%d, ptr=%08X", static_cast<int>(i),
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(column)));
    tk_log::write(1, L"Field name: '%ls'", column->name.c_str());
    if (udb_same_name(column->name, name)) return column;
  }
  return nullptr;
}

bool udb_schema::find_field(const std::wstring& name) const { return find(name) != nullptr; }

int udb_schema::get_field_idx(const std::wstring& name) const {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (udb_same_name(fields[i]->name, name)) return static_cast<int>(i);
  return -1;
}

t_ftd& udb_schema::get_field1(const std::wstring& name) {
  if (const t_ftd* column = find(name)) return const_cast<t_ftd&>(*column);
  tk_log::write(3, L"Field '%ls' not found", name.c_str());
  // A caller may have written into it last time.
  missing = t_ftd();
  return missing;
}

const t_ftd& udb_schema::get_field2(const std::wstring& name) const {
  if (const t_ftd* column = find(name)) return *column;
  tk_log::write(3, L"Field '%ls' not found", name.c_str());
  static const t_ftd none;
  return none;
}

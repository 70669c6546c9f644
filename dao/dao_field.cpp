#include "dao/dao_field.h"

#include "OLE/ole_exception.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "dao/dao_bstr.h"

namespace {

constexpr const char zero_date[] = "1899-12-30";

// Rewrites DAO's zero date in the text of a date value.
template <class String>
String without_zero_date(const String& text, const String& zero, const String& null_date, const String& midnight) {
  std::size_t at = text.find(zero);
  if (at == String::npos) return text;
  tk_log::write(1, "Fake date has been found");
  if (text.size() == zero.size()) {
    tk_log::write(1, "Transform pure fake date to pure time");
    return midnight;
  }
  String out = text;
  out.replace(at, zero.size(), null_date);
  return out;
}

}  // namespace

dao_field::dao_field(_DAOField* f) {
  if (!f) throw tk_mail_assertion("dao_rec", 27);
  f->AddRef();
  field.p = f;
  tk_log::write(1, "dao_field::ctor");
  dao_bstr field_name;
  dao_check(field->get_Name(field_name.address()));
  name = field_name.str();
  LONG field_size = 0;
  dao_check(field->get_Size(&field_size));
  size = field_size;
  SHORT type = 0;
  dao_check(field->get_Type(&type));
  tk_log::write(1, L"Field name='%ls', size=%d, native type=%d", name.c_str(), size, static_cast<int>(type));
  VARIANT_BOOL required = VARIANT_FALSE;
  dao_check(field->get_Required(&required));
  b_not_null = required == VARIANT_TRUE;
  LONG attributes = 0;
  dao_check(field->get_Attributes(&attributes));
  if (attributes & dbAutoIncrField) flag = 1;
  dao_variant value;
  // A field of a definition has no value.
  if (SUCCEEDED(field->get_Value(&value.v))) {
    tk_log::write(1, "src.vt=%d", value.v.vt);
    if (value.v.vt == VT_NULL) tk_log::write(1, "*** NULL *** ");
    if (value.v.vt == VT_DATE) tk_log::write(1, "Special processing for VT_DATE");
    if (value.v.vt == VT_DISPATCH && type == dbAttachment) {
      tk_log::write(1, "Special processing for dbAttachment");
      if (!value.v.pdispVal) {
        tk_log::write(1, "IDispatch pointer is NULL");
        return;
      }
      ole_com_ptr<DAORecordset> attachments;
      void* raw = nullptr;
      if (FAILED(value.v.pdispVal->QueryInterface(IID_DAORecordset, &raw)) || !raw) {
        tk_log::write(1, "FAILED to get DAORecordset interface");
      } else {
        attachments.p = static_cast<DAORecordset*>(raw);
        tk_log::write(1, "We've got DAORecordset interface!");
        LONG n = 0;
        attachments->get_RecordCount(&n);
        tk_log::write(1, "n_records=%d", static_cast<int>(n));
        ole_com_ptr<DAOFields> inner;
        dao_check(attachments->get_Fields(&inner.p));
        dao_record record(dao_not_null(inner.p));
        tk_log::write(1, "r.size()=%d", static_cast<int>(record.size()));
        // What the attachment gives is its own value, read once more.
        if (!record.empty()) {
          VariantClear(&value.v);
          if (FAILED(field->get_Value(&value.v))) VariantInit(&value.v);
        }
      }
      // No road stores an attachment: the field keeps no value.
      VariantClear(&value.v);
    }
    dao_take_value(*this, value.v);
  }
  tk_log::write(1, "Got DAO field: %s", to_string().c_str());
}

VARTYPE dao_field::get_type() const {
  if (var.vt != VT_EMPTY) {
    tk_log::write(1, "Use ole_variant::get_type");
    tk_log::write(1, "vt1=%08X", static_cast<unsigned>(var.vt));
    return var.vt;
  }
  if (!field.p) throw tk_mail_assertion("dao_rec", 383);
  tk_log::write(1, "Use DAO methods to extract field type");
  SHORT type = 0;
  dao_check(field->get_Type(&type));
  VARTYPE vt = get_vartype(type);
  tk_log::write(1, "vt2=%08X", static_cast<unsigned>(vt));
  return vt;
}

std::string dao_field::to_string() const {
  tk_log::write(1, "dao_field::to_string(vt=%08X)", static_cast<unsigned>(var.vt));
  std::string text = ole_variant::to_string();
  if (var.vt != VT_DATE) return text;
  return without_zero_date<std::string>(text, zero_date, "0000-00-00", "00:00:00");
}

std::wstring dao_field::to_wstring() const {
  tk_log::write(1, "dao_field::to_wstring(vt=%08X)", static_cast<unsigned>(var.vt));
  std::wstring text = ole_variant::to_wstring();
  if (var.vt != VT_DATE) return text;
  return without_zero_date<std::wstring>(text, L"1899-12-30", L"0000-00-00", L"00:00:00");
}

VARTYPE dao_field::get_vartype(int dao_type) {
  tk_log::write(1, "dao_field::get_vartype(%d)", dao_type);
  switch (dao_type) {
    case dbBoolean:
      return VT_BOOL;
    case dbByte:
      return VT_UI1;
    case dbInteger:
      return VT_I2;
    case dbLong:
      return VT_I4;
    case dbCurrency:
      return VT_CY;
    case dbSingle:
      return VT_R4;
    case dbDouble:
    case dbNumeric:
    case dbDecimal:
    case dbFloat:
      return VT_R8;
    case dbDate:
    case dbTime:
      return VT_DATE;
    case dbText:
    case dbMemo:
      return VT_BSTR;
    default:
      return VT_BLOB;
  }
}

int dao_field::get_native_type(const t_ftd& column) {
  tk_log::write(1, "dao_field::get_native_type(%d)", column.vartype);
  const bool short_size = column.size > 0 && column.size < 256;
  switch (column.vartype) {
    case VT_I2:
    case VT_I1:
      return dbInteger;
    case VT_I4:
    case VT_UI2:
      return dbLong;
    case VT_R4:
      return dbSingle;
    case VT_R8:
    case VT_DECIMAL:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
      return dbDouble;
    case VT_CY:
      return dbCurrency;
    case VT_DATE:
      return dbDate;
    case VT_BSTR:
      return short_size ? dbText : dbMemo;
    case VT_BOOL:
      return dbBoolean;
    case VT_UI1:
      return dbByte;
    case VT_BLOB:
    case VT_BLOB_OBJECT:
    case VT_ARRAY | VT_UI1:
      return short_size ? dbBinary : dbLongBinary;
    default:
      throw ole_type_exception();
  }
}

dao_record::dao_record(DAOFields* f) {
  if (!f) throw tk_mail_assertion("dao_rec", 433);
  ULONG refs = f->AddRef();
  fields.p = f;
  tk_log::write(1, "dao_record::dao_record: n_refs = %d", static_cast<int>(refs));
  SHORT count = 0;
  dao_check(fields->get_Count(&count));
  for (SHORT i = 0; i < count; ++i) {
    ole_com_ptr<_DAOField> item;
    dao_check(fields->get_Item(dao_arg_i4(i), &item.p));
    push_back(std::make_unique<dao_field>(dao_not_null(item.p)));
  }
}

ole_variant dao_get_valid_variant(const udb_field& field) {
  tk_log::write(1, "dao_get_valid_variant");
  VARTYPE to;
  switch (field.get_type()) {
    case VT_I8:
    case VT_UI8:
      tk_log::write(1, "Converting BIGINT value to double");
      to = VT_R8;
      break;
    case VT_UI2:
      tk_log::write(1, "Converting VT_UI2 value to integer");
      to = VT_I4;
      break;
    case VT_UI4:
      tk_log::write(1, "Converting VT_UI4 value to double");
      to = VT_R8;
      break;
    case VT_I1:
      tk_log::write(1, "Converting VT_I1 value to short");
      to = VT_I2;
      break;
    default:
      return ole_variant();
  }
  ole_variant value = ole_variant::from_string(field.to_string(), to);
  tk_log::write(1, ">>> %s", value.to_string().c_str());
  return value;
}

#include "ORA/ora_types.h"

#include "ORA/ora_engine.h"
#include "ORA/ora_text.h"
#include "ORA/ora_type_map.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "oci/oci_library.h"
#include "platform/utf8.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

namespace {

ora_engine& engine() { return ora_engine::instance(); }

// An attribute of a parameter descriptor into a zeroed 32-bit word: the
// client writes as many bytes as the attribute has (ub1, sb1, ub2, sb2).
ub4 param_attr(OCIParam* param, ub4 attribute) {
  ub4 value = 0;
  engine().check_err(oci().OCIAttrGet(param, OCI_DTYPE_PARAM, &value, nullptr, attribute, engine().err));
  return value;
}

std::string narrow(const std::wstring& text) {
  std::string out;
  if (!qm_platform::wide_to_utf8(text.data(), text.size(), out)) out.clear();
  return out;
}

// A decimal text as sign, significant digits and the power of ten of the
// first one: "-0.0120" and "-1.2E-2" both give ("-", "12", -2). Empty for a
// text that is not a plain number.
std::wstring canonical_number(const std::wstring& text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
  std::wstring digits;
  long point = -1, count = 0;
  for (; i < text.size(); ++i) {
    if (text[i] == L'.' && point < 0) {
      point = count;
    } else if (std::iswdigit(text[i])) {
      digits.push_back(text[i]);
      ++count;
    } else {
      break;
    }
  }
  if (digits.empty()) return std::wstring();
  long exponent = 0;
  if (i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
    wchar_t* end = nullptr;
    exponent = std::wcstol(text.c_str() + i + 1, &end, 10);
    i = static_cast<std::size_t>(end - text.c_str());
  }
  if (i != text.size()) return std::wstring();
  if (point < 0) point = count;
  std::size_t first = digits.find_first_not_of(L'0');
  if (first == std::wstring::npos) return L"0";
  std::size_t last = digits.find_last_not_of(L'0');
  long power = point - static_cast<long>(first) - 1 + exponent;
  return (negative ? L"-" : L"") + digits.substr(first, last - first + 1) + L"e" + std::to_wstring(power);
}

// A plain decimal text ("-123.45", ".5") of at most 28 digits: a DECIMAL
// holds it exactly, so the comparison of the two texts can be spared.
bool plainly_exact(const std::wstring& text) {
  std::size_t i = !text.empty() && (text[0] == L'-' || text[0] == L'+') ? 1 : 0;
  std::size_t digits = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (text[i] >= L'0' && text[i] <= L'9')
      ++digits;
    else if (text[i] == L'.' && !point)
      point = true;
    else
      return false;
  }
  return digits > 0 && digits <= 28;
}

// The server writes a number below 1 without its leading zero (".5",
// "-.000123"); a kept text reads as a person writes it, digits unchanged.
std::wstring with_leading_zero(std::wstring text) {
  std::size_t point = !text.empty() && (text[0] == L'-' || text[0] == L'+') ? 1 : 0;
  if (point < text.size() && text[point] == L'.') text.insert(point, 1, L'0');
  return text;
}

const unsigned char k_no_bytes = 0;

// A text fetched with its length: what the client told and what there
// was room for, both in bytes, and the units in the buffer.
struct fetched_text {
  const char16_t* units;
  std::size_t told;
  std::size_t room;
  std::size_t count() const { return std::min(told, room) / sizeof(char16_t); }
};

// The length of LONG VARCHAR, in front of its characters.
std::size_t long_varchar_length(const char16_t* buffer) {
  sb4 bytes = 0;
  std::memcpy(&bytes, buffer, sizeof bytes);
  return bytes > 0 ? static_cast<std::size_t>(bytes) : 0;
}

// The units a text buffer holds: the described ones, and at least what
// shows that a value is longer than a cell: twice what a cell keeps (a
// CR LF pair is one unit of a cell) and one pair more.
std::size_t text_room(std::size_t described) {
  const std::size_t limit = engine().text_limit;
  return std::max(described, limit ? 2 * (limit + 1) : 0);
}

// What the client cut stays cut: the part it gave is what a cell needs,
// unless the value is mostly characters a cell leaves out. Logged once a
// column.
void note_cut(const ora_type& column, const fetched_text& text, bool& told) {
  if (told || column.null_ind == -1) return;
  if (column.null_ind == 0 && column.return_code != 1406 && text.told <= text.room) return;
  told = true;
  tk_log::write(2, L"Field '%ls' holds a value longer than its %zu units: the rest is not read", column.name.c_str(),
                text.room / sizeof(char16_t));
}

}  // namespace

// ---------------------------------------------------------------- ora_type

ora_type::ora_type(OCIParam* param, ub1 type_code) : type(type_code) {
  tk_log::write(1, "ora_type::ctor(%d)", type_code);
  OraText* text = nullptr;
  ub4 bytes = 0;
  engine().check_err(oci().OCIAttrGet(param, OCI_DTYPE_PARAM, &text, &bytes, OCI_ATTR_NAME, engine().err));
  name = ora_from_utf16(reinterpret_cast<const char16_t*>(text), bytes / sizeof(char16_t));
  nullable = static_cast<ub1>(param_attr(param, OCI_ATTR_IS_NULL) & 0xFF);
}

ora_type::~ora_type() { tk_log::write(1, "ora_type::dtor"); }

VARTYPE ora_type::get_vartype() {
  tk_log::write(1, "ora_type::get_vartype(ctype=%d)", type);
  switch (type) {
    case 2:
    case 4:
    case 6:
    case 7:
      return VT_R8;
    case 3:
      return VT_I4;
    case 12:
    case 187:
    case 188:
    case 231:
    case 232:
      return VT_DATE;
    case 23:
    case 24:
    case 113:
    case 114:
      return VT_BLOB;
    default:
      return VT_BSTR;
  }
}

std::unique_ptr<t_ftd> ora_type::get_ftd() {
  tk_log::write(1, "ora_type::get_ftd");
  VARTYPE vt = get_vartype();
  tk_log::write(1, L"Got field '%ls', type=%d, vartype=%d, lenght=%u, nullable=%d", name.c_str(), type, vt, size,
                nullable);
  return std::make_unique<t_ftd>(static_cast<std::int32_t>(size), name, vt, nullable == 0, 0, ole_variant(),
                                 vt == VT_DATE ? 1u : 0u, std::wstring());
}

// -------------------------------------------------------------- ora_number

ora_number::ora_number(OCIParam* param, ub2 code) : ora_type(param, SQLT_NUM) {
  tk_log::write(1, "ora_number::ctor");
  auto prec = static_cast<sb2>(param_attr(param, OCI_ATTR_PRECISION) & 0xFFFF);
  auto signed_scale = static_cast<sb1>(param_attr(param, OCI_ATTR_SCALE) & 0xFF);
  tk_log::write(1, "Prec=%d, scale=%d", prec, signed_scale);
  precision = prec > 0 ? static_cast<ub4>(prec) : 0;
  if (code == SQLT_IBFLOAT || code == SQLT_IBDOUBLE) {
    // IEEE columns keep their width: the text of a BINARY_FLOAT is read
    // back as the float it was made from, not as a nearby double.
    vartype = code == SQLT_IBFLOAT ? VT_R4 : VT_R8;
    precision = 0;
    scale = 0;
    return;
  }
  vartype = get_refined_num_type(precision, signed_scale);
  scale = signed_scale > 0 ? static_cast<ub4>(signed_scale) : 0;
}

std::unique_ptr<t_ftd> ora_number::get_ftd() {
  tk_log::write(1, "ora_number::get_ftd");
  tk_log::write(1, L"Got field '%ls', type=%d, lenght=%u, nullable=%d", name.c_str(), type, size, nullable);
  std::uint32_t reserved = vartype == VT_DECIMAL ? (precision << 8 | scale) : 0;
  return std::make_unique<t_ftd>(static_cast<std::int32_t>(size), name, vartype, nullable == 0, 0, ole_variant(),
                                 reserved, std::wstring());
}

void ora_number::define(OCIStmt* stmt, ub4 position) {
  tk_log::write(1, "ora_number::define(%u)", position);
  engine().check_err(oci().OCIDefineByPos(stmt, &define_handle, engine().err, position, buffer, sizeof buffer,
                                          SQLT_STR, &null_ind, nullptr, nullptr, OCI_DEFAULT));
}

ole_variant ora_number::number_value(const std::wstring& text, VARTYPE vt) {
  ole_variant value = ole_variant::from_string(narrow(text), vt);
  if (value.var.vt == VT_EMPTY && !text.empty()) return ole_variant(with_leading_zero(text));
  // A DECIMAL holds 28 to 29 digits and 28 decimal places: 1E-30 would
  // round to 0, a 38-digit number lose its last digits.
  if (vt == VT_DECIMAL && !plainly_exact(text) && canonical_number(value.to_wstring()) != canonical_number(text))
    return ole_variant(with_leading_zero(text));
  return value;
}

void ora_number::to_variant(ole_variant& value) {
  std::wstring text = ora_from_utf16(buffer, sizeof buffer / sizeof buffer[0]);
  tk_log::write(1, L"ora_number::to_variant(buf=%ls)", text.c_str());
  value = number_value(text, vartype);
}

// -------------------------------------------------------------- ora_binary

ora_binary::ora_binary(OCIParam* param) : ora_type(param, SQLT_BIN) {
  tk_log::write(1, "ora_binary::ctor");
  size = param_attr(param, OCI_ATTR_DATA_SIZE) & 0xFFFF;
  buffer.resize(size);
}

void ora_binary::define(OCIStmt* stmt, ub4 position) {
  tk_log::write(1, "ora_binary::define(%u)", position);
  engine().check_err(oci().OCIDefineByPos(stmt, &define_handle, engine().err, position, buffer.data(),
                                          static_cast<sb4>(size), type, &null_ind, &length, nullptr, OCI_DEFAULT));
}

void ora_binary::to_variant(ole_variant& value) {
  if (buffer.empty()) throw tk_mail_assertion("..\\ORA/ora_type", 103);
  // The fetched length, not the described size: RAW(16) holding 3 bytes
  // gives 3 bytes.
  std::size_t n = length <= buffer.size() ? length : buffer.size();
  value.attach_binary(n, n ? buffer.data() : &k_no_bytes);
}

// -------------------------------------------------------------- ora_string

ora_string::ora_string(OCIParam* param) : ora_type(param, SQLT_STR) {
  tk_log::write(1, "ora_string::ctor");
  size = param_attr(param, OCI_ATTR_DATA_SIZE) & 0xFFFF;
  std::size_t room = text_room(size + 1);
  long_varchar = room > 32767;
  buffer_units = long_varchar ? room + 2 : room;
  buffer.reset(new char16_t[buffer_units]);
}

void ora_string::define(OCIStmt* stmt, ub4 position) {
  tk_log::write(1, "ora_string::define(%u)", position);
  // Fetched with its length, without a terminator: the text may hold a NUL
  // character, and what follows it belongs to the value.
  engine().check_err(oci().OCIDefineByPos(stmt, &define_handle, engine().err, position, buffer.get(),
                                          static_cast<sb4>(buffer_units * sizeof(char16_t)),
                                          long_varchar ? SQLT_LVC : SQLT_CHR, &null_ind,
                                          long_varchar ? nullptr : &length, &return_code, OCI_DEFAULT));
  ub2 csid = OCI_UTF16ID;
  engine().check_err(
      oci().OCIAttrSet(define_handle, OCI_HTYPE_DEFINE, &csid, 0, OCI_ATTR_CHARSET_ID, engine().err));
}

namespace {

fetched_text text_of(const ora_string& column) {
  const char16_t* buffer = column.buffer.get();
  const std::size_t bytes = column.buffer_units * sizeof(char16_t);
  if (column.long_varchar) return {buffer + 2, long_varchar_length(buffer), bytes - sizeof(sb4)};
  return {buffer, column.length, bytes};
}

}  // namespace

void ora_string::to_variant(ole_variant& value) {
  if (!buffer) throw tk_mail_assertion("..\\ORA/ora_type", 70);
  fetched_text fetched = text_of(*this);
  note_cut(*this, fetched, cut_told);
  std::wstring text = ora_from_utf16(fetched.units, fetched.count(), false);
  tk_log::write(1, L"ora_string::to_variant: %ls", text.c_str());
  value.attach_wstring(text);
}

// ----------------------------------------------------------------- ora_lob

ora_lob::ora_lob(OCIParam* param, ub2 code) : ora_type(param, static_cast<ub1>(code)) {
  tk_log::write(1, "ora_lob::ctor");
  engine().check_err(
      oci().OCIDescriptorAlloc(engine().env, reinterpret_cast<void**>(&locator), OCI_DTYPE_LOB, 0, nullptr));
}

ora_lob::~ora_lob() {
  if (locator) oci().OCIDescriptorFree(locator, OCI_DTYPE_LOB);
}

void ora_lob::define(OCIStmt* stmt, ub4 position) {
  tk_log::write(1, "ora_lob::defind(%u)", position);
  engine().check_err(oci().OCIDefineByPos(stmt, &define_handle, engine().err, position, &locator, -1, type,
                                          &null_ind, nullptr, nullptr, OCI_DEFAULT));
}

ub4 ora_lob::read_lob(ub4 offset, void* buffer, ub4 amount) {
  tk_log::write(1, "ora_lob::read_lob(%u,%u)", offset, amount);
  ora_engine& e = engine();
  ub1 form = SQLCS_IMPLICIT;
  ub2 csid = 0;
  ub4 bytes = amount;
  if (type == SQLT_CLOB) {
    e.check_err(oci().OCILobCharSetForm(e.env, e.err, locator, &form));
    tk_log::write(1, "Got charset form: %d", form);
    // UTF-16 whatever the client's settings: the amounts and the offset
    // count characters, as the server counts them.
    csid = OCI_UTF16ID;
    bytes = amount * static_cast<ub4>(sizeof(char16_t));
  }
  auto* out = static_cast<unsigned char*>(buffer);
  ub4 got = 0, asked = amount;
  e.end_if_stopped();
  ora_engine::server_call call(e);
  sword status = oci().OCILobRead(e.svc, e.err, locator, &asked, offset, out, bytes, nullptr, nullptr, csid, form);
  for (;;) {
    e.check_err(status);
    if (status == OCI_NO_DATA) break;
    if (status != OCI_SUCCESS && status != OCI_SUCCESS_WITH_INFO && status != OCI_NEED_DATA) break;
    got += std::min(asked, amount - got);
    // A client that hands the piece in parts is read to the end of it.
    if (status != OCI_NEED_DATA || got >= amount) break;
    asked = 0;
    ub4 at = got * (type == SQLT_CLOB ? static_cast<ub4>(sizeof(char16_t)) : 1);
    status = oci().OCILobRead(e.svc, e.err, locator, &asked, offset, out + at, bytes - at, nullptr, nullptr, csid, form);
  }
  tk_log::write(1, "bytes_read=%u", got);
  return got;
}

void ora_lob::to_variant(ole_variant& value) {
  tk_log::write(1, "ora_lob::to_variant");
  if (type != SQLT_CLOB && type != SQLT_BLOB) throw tk_mail_assertion("ora_type", 418);
  if (type == SQLT_CLOB) {
    tk_log::write(1, "Got SQLT_CLOB!");
    // No more than the reader needs: a CLOB of any size costs the text a
    // cell keeps and a piece.
    const std::size_t limit = engine().text_limit;
    constexpr ub4 units = piece_size / sizeof(char16_t);
    std::vector<char16_t> piece(units);
    std::u16string text;
    // The CR LF pairs of the text, one unit each in a cell.
    std::size_t pairs = 0;
    for (ub4 offset = 1;;) {
      ub4 got = read_lob(offset, piece.data(), units);
      if (got == 0) break;
      offset += got;
      if (limit == 0) {
        text.append(piece.data(), got);
      } else {
        for (ub4 i = 0; i < got; ++i) {
          // No cell holds a NUL: a run of them is not kept.
          if (piece[i] == 0) continue;
          if (piece[i] == u'\n' && !text.empty() && text.back() == u'\r') ++pairs;
          text.push_back(piece[i]);
        }
      }
      // A short piece is the last one.
      if (got < units || (limit != 0 && text.size() - pairs > limit)) break;
    }
    value.attach_wstring(ora_from_utf16(text.data(), text.size(), false));
    return;
  }
  std::vector<unsigned char> data, piece(piece_size);
  for (ub4 offset = 1;;) {
    ub4 got = read_lob(offset, piece.data(), piece_size);
    if (got == 0) break;
    data.insert(data.end(), piece.begin(), piece.begin() + got);
    offset += got;
    if (got < piece_size) break;
  }
  value.attach_binary(data.size(), data.empty() ? &k_no_bytes : data.data());
}

// ---------------------------------------------------------------- ora_date

ora_date::ora_date(OCIParam* param, ub2 code) : ora_type(param, static_cast<ub1>(code)) {
  tk_log::write(1, "ora_date::ctor");
  engine().check_err(oci().OCIDescriptorAlloc(engine().env, reinterpret_cast<void**>(&descriptor),
                                              OCI_DTYPE_TIMESTAMP, 0, nullptr));
}

ora_date::~ora_date() {
  if (descriptor) oci().OCIDescriptorFree(descriptor, OCI_DTYPE_TIMESTAMP);
}

void ora_date::define(OCIStmt* stmt, ub4 position) {
  tk_log::write(1, "ora_date::define(%u)", position);
  engine().check_err(oci().OCIDefineByPos(stmt, &define_handle, engine().err, position, &descriptor,
                                          sizeof descriptor, SQLT_TIMESTAMP, &null_ind, nullptr, nullptr,
                                          OCI_DEFAULT));
}

void ora_date::to_variant(ole_variant& value) {
  tk_log::write(1, "ora_date::to_variant");
  if (!descriptor) throw tk_mail_assertion("ora_type", 553);
  ora_engine& e = engine();
  sb2 year = 0;
  ub1 month = 0, day = 0, hour = 0, minute = 0, second = 0;
  ub4 fraction = 0;
  e.check_err(oci().OCIDateTimeGetDate(e.env, e.err, descriptor, &year, &month, &day));
  e.check_err(oci().OCIDateTimeGetTime(e.env, e.err, descriptor, &hour, &minute, &second, &fraction));
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = month;
  st.wDay = day;
  st.wHour = hour;
  st.wMinute = minute;
  st.wSecond = second;
  st.wMilliseconds = static_cast<WORD>(fraction / 1000000);
  tk_log::write(1, "Got time: %02d:%02d:%02d.%d", hour, minute, second, st.wMilliseconds);
  value = ole_variant(st);
}

// ------------------------------------------------------------ ora_str_repr

ora_str_repr::ora_str_repr(OCIParam* param, ub2 code, ub4 characters) : ora_type(param, static_cast<ub1>(code)) {
  tk_log::write(1, "ora_str_repr::ctor");
  size = characters;
  if (code == SQLT_LNG) {
    // Two units of length in front of the characters.
    buffer.resize(size + 2);
  } else if (code == SQLT_LBI) {
    // "0x", two digits a byte and the terminator: room for an even count,
    // so a longer value is cut at a whole byte.
    buffer.resize(2 * size + 3);
    buffer[0] = u'0';
    buffer[1] = u'x';
  } else {
    buffer.resize(size);
  }
}

void ora_str_repr::define(OCIStmt* stmt, ub4 position) {
  tk_log::write(1, "ora_str_repr::define(%u)", position);
  ora_engine& e = engine();
  if (type == SQLT_LBI) {
    // Two hexadecimal digits per byte after the "0x".
    e.check_err(oci().OCIDefineByPos(stmt, &define_handle, e.err, position, buffer.data() + 2,
                                     static_cast<sb4>((buffer.size() - 2) * sizeof(char16_t)), SQLT_STR, &null_ind,
                                     nullptr, nullptr, OCI_DEFAULT));
    return;
  }
  // A LONG as LONG VARCHAR: its length comes first, so a NUL character
  // does not end it.
  e.check_err(oci().OCIDefineByPos(stmt, &define_handle, e.err, position, buffer.data(),
                                   static_cast<sb4>(buffer.size() * sizeof(char16_t)),
                                   type == SQLT_LNG ? SQLT_LVC : SQLT_STR, &null_ind, nullptr, &return_code,
                                   OCI_DEFAULT));
  ub2 csid = OCI_UTF16ID;
  e.check_err(oci().OCIAttrSet(define_handle, OCI_HTYPE_DEFINE, &csid, 0, OCI_ATTR_CHARSET_ID, e.err));
}

namespace {

fetched_text long_text_of(const ora_str_repr& column) {
  return {column.buffer.data() + 2, long_varchar_length(column.buffer.data()),
          (column.buffer.size() - 2) * sizeof(char16_t)};
}

}  // namespace

void ora_str_repr::to_variant(ole_variant& value) {
  if (type == SQLT_LNG) {
    fetched_text fetched = long_text_of(*this);
    note_cut(*this, fetched, cut_told);
    value.attach_wstring(ora_from_utf16(fetched.units, fetched.count(), false));
    return;
  }
  std::wstring text = ora_from_utf16(buffer.data(), buffer.size());
  if (type == SQLT_LBI) {
    // An odd count would read as no bytes at all: a value that is not NULL
    // never becomes one.
    if (text.size() % 2) text.pop_back();
    if (null_ind != 0) tk_log::write(2, "LONG RAW value cut at %u bytes", static_cast<unsigned>(text.size() / 2 - 1));
    value = ole_variant::from_string(narrow(text), VT_BLOB);
    return;
  }
  value.attach_wstring(text);
}

// --------------------------------------------------------------- ora_dummy

ora_dummy::ora_dummy(OCIParam* param) : ora_type(param, SQLT_STR) {
  tk_log::write(1, "ora_dummy::ctor");
  size = 18;
  nullable = 0;
}

void ora_dummy::to_variant(ole_variant& value) { value.attach_wstring(L"<unsupported type>"); }

// -------------------------------------------------------------- ora_record

ora_record::ora_record(const std::vector<std::unique_ptr<ora_type>>& columns) {
  tk_log::write(1, "ora_record::ctor");
  for (std::size_t i = 0; i < columns.size(); ++i) {
    ora_type& column = *columns[i];
    // The value is made in its field, not copied there.
    auto field = std::make_unique<udb_field>(column.name, static_cast<std::int32_t>(column.size), ole_variant(),
                                             false, 0);
    if (column.null_ind == -1)
      tk_log::write(1, "Field #%zu has NULL value", i);
    else
      column.to_variant(*field);
    push_back(std::move(field));
  }
}

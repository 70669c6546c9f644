#include "ocilite/ol_convert.h"

#include "ocilite/ol_text.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace ocilite {

namespace {

bool is_pointer_type(ub2 dty) {
  return dty == SQLT_CLOB || dty == SQLT_BLOB || dty == SQLT_BFILEE || dty == SQLT_TIMESTAMP ||
         dty == SQLT_TIMESTAMP_TZ || dty == SQLT_TIMESTAMP_LTZ || dty == SQLT_DATE;
}

[[noreturn]] void inconsistent(const char* expected) { fail(932, expected); }

datetime value_datetime(const column_desc& col, const cell& v) {
  if (v.type != SQLITE_TEXT) fail(1861);
  auto t = parse_datetime(v.bytes);
  if (!t) fail(1861);
  switch (col.type.kind) {
    case col_kind::date:
      t->nanos = 0;
      t->has_zone = false;
      break;
    case col_kind::timestamp:
      t->has_zone = false;
      break;
    case col_kind::timestamp_ltz:
      *t = to_local(*t);
      break;
    default:
      break;
  }
  return *t;
}

// A REAL as it is (an infinity has no decimal form), any other number
// through its decimal. SQLite keeps no NaN (it stores NULL instead): a
// binary column holds one as the text the server shows, "Nan".
double double_of(const cell& v) {
  if (v.type == SQLITE_FLOAT) return v.d;
  if (v.type == SQLITE_TEXT && v.bytes == "Nan") return std::numeric_limits<double>::quiet_NaN();
  return decimal_to_double(decimal_of(v));
}

std::string value_text(const column_desc& col, const cell& v) {
  switch (col.type.kind) {
    case col_kind::number:
      return number_text(decimal_of(v));
    case col_kind::binary_float:
      return binary_number_text(static_cast<float>(double_of(v)));
    case col_kind::binary_double:
      return binary_number_text(double_of(v));
    case col_kind::date:
      return datetime_text(value_datetime(col, v), false, false);
    case col_kind::timestamp:
    case col_kind::timestamp_tz:
    case col_kind::timestamp_ltz: {
      datetime t = value_datetime(col, v);
      std::string text = datetime_text(t, false, false);
      int digits = col.type.scale > 0 ? col.type.scale : 0;
      if (digits) {
        std::string f = datetime_text(t, true, false).substr(text.size(), 1 + 9);
        text += f.substr(0, 1 + static_cast<std::size_t>(digits));
      }
      if (col.type.kind == col_kind::timestamp_tz && t.has_zone)
        text += datetime_text(t, false, true).substr(19);
      return text;
    }
    case col_kind::raw:
    case col_kind::blob:
      return hex_upper(v.bytes);
    case col_kind::rowid:
      return v.type == SQLITE_INTEGER ? std::to_string(v.i) : v.bytes;
    case col_kind::fixed_char: {
      std::string text = v.type == SQLITE_TEXT ? v.bytes : number_text(decimal_of(v));
      blank_pad(text, col.type.char_length, col.type.length_unit == 'B');
      return text;
    }
    default:
      if (v.type == SQLITE_TEXT) return v.bytes;
      if (v.type == SQLITE_BLOB) return hex_upper(v.bytes);
      return number_text(decimal_of(v));
  }
}

// The indicator, length and return code of a value of `whole` bytes of
// which `kept` were put; true when it was cut. The indicator holds the
// whole length while an sb2 can, else -2.
bool report(const out_slot& s, std::size_t kept, std::size_t whole, ub2 length) {
  bool cut = kept < whole;
  if (s.ind) *s.ind = cut ? (whole > 32767 ? sb2(-2) : static_cast<sb2>(whole)) : 0;
  if (s.rlen) *s.rlen = length;
  if (s.rcode) *s.rcode = cut ? 1406 : 0;
  return cut;
}

// The bytes a buffer may take: when only the ub2 return length tells how
// many it got, no more than that can tell, so the length never wraps.
std::size_t told_room(const out_slot& s, std::size_t room) {
  return s.rlen ? std::min<std::size_t>(room, 65535) : room;
}

bool put_chars(const std::string& utf8, const out_slot& s) {
  std::string enc = encode_text(utf8, s.csid);
  std::size_t nul = s.dty == SQLT_STR ? nul_size(s.csid) : 0;
  std::size_t size = s.size > 0 ? static_cast<std::size_t>(s.size) : 0;
  std::size_t room = told_room(s, size > nul ? size - nul : 0);
  if (s.dty == SQLT_AFC && enc.size() < room) {
    std::string blank = encode_text(" ", s.csid);
    while (enc.size() + blank.size() <= room) enc += blank;
  }
  std::size_t n = fit_prefix(enc, room, s.csid);
  char* out = static_cast<char*>(s.data);
  if (n) std::memcpy(out, enc.data(), n);
  if (nul && size >= nul) std::memset(out + n, 0, nul);
  return report(s, n, enc.size(), static_cast<ub2>(n));
}

// LONG VARCHAR: a four-byte length, then the characters; no terminator,
// so a NUL character stays one.
bool put_long_chars(const std::string& utf8, const out_slot& s) {
  std::string enc = encode_text(utf8, s.csid);
  std::size_t size = s.size > 0 ? static_cast<std::size_t>(s.size) : 0;
  if (size < sizeof(sb4)) fail(932, "LONG VARCHAR of at least 4 bytes");
  std::size_t n = fit_prefix(enc, size - sizeof(sb4), s.csid);
  char* out = static_cast<char*>(s.data);
  auto length = static_cast<sb4>(n);
  std::memcpy(out, &length, sizeof length);
  if (n) std::memcpy(out + sizeof length, enc.data(), n);
  return report(s, n, enc.size(), static_cast<ub2>(std::min<std::size_t>(n + sizeof length, 65535)));
}

bool put_bytes(const std::string& bytes, const out_slot& s) {
  std::size_t size = told_room(s, s.size > 0 ? static_cast<std::size_t>(s.size) : 0);
  std::size_t n = std::min(size, bytes.size());
  if (n) std::memcpy(s.data, bytes.data(), n);
  return report(s, n, bytes.size(), static_cast<ub2>(n));
}

void done(const out_slot& s, std::size_t length) {
  if (s.ind) *s.ind = 0;
  if (s.rlen) *s.rlen = static_cast<ub2>(length);
  if (s.rcode) *s.rcode = 0;
}

void put_integer(const column_desc& col, const cell& v, const out_slot& s, bool is_signed) {
  if (col.type.kind == col_kind::raw || col.type.kind == col_kind::blob ||
      col.type.kind == col_kind::clob || col.type.kind == col_kind::date ||
      col.type.kind == col_kind::timestamp || col.type.kind == col_kind::timestamp_tz ||
      col.type.kind == col_kind::timestamp_ltz)
    inconsistent("NUMBER");
  std::int64_t value = 0;
  if (!decimal_to_int64(decimal_of(v), value)) fail(1455);
  auto fits = [&](std::int64_t lo, std::int64_t hi) {
    if (value < lo || value > hi) fail(1455);
  };
  switch (s.size) {
    case 1:
      is_signed ? fits(INT8_MIN, INT8_MAX) : fits(0, UINT8_MAX);
      *static_cast<std::int8_t*>(s.data) = static_cast<std::int8_t>(value);
      break;
    case 2: {
      is_signed ? fits(INT16_MIN, INT16_MAX) : fits(0, UINT16_MAX);
      auto x = static_cast<std::int16_t>(value);
      std::memcpy(s.data, &x, 2);
      break;
    }
    case 4: {
      is_signed ? fits(INT32_MIN, INT32_MAX) : fits(0, UINT32_MAX);
      auto x = static_cast<std::int32_t>(value);
      std::memcpy(s.data, &x, 4);
      break;
    }
    case 8:
      if (!is_signed) fits(0, INT64_MAX);
      std::memcpy(s.data, &value, 8);
      break;
    default:
      fail(932, "integer of 1, 2, 4 or 8 bytes");
  }
  done(s, static_cast<std::size_t>(s.size));
}

void put_float(const column_desc& col, const cell& v, const out_slot& s) {
  if (col.type.kind == col_kind::raw || col.type.kind == col_kind::blob ||
      col.type.kind == col_kind::clob)
    inconsistent("NUMBER");
  double value = double_of(v);
  if (s.size == 4) {
    auto f = static_cast<float>(value);
    std::memcpy(s.data, &f, 4);
  } else if (s.size == 8) {
    std::memcpy(s.data, &value, 8);
  } else {
    fail(932, "float of 4 or 8 bytes");
  }
  done(s, static_cast<std::size_t>(s.size));
}

void put_datetime(const column_desc& col, const cell& v, const out_slot& s) {
  if (col.type.kind == col_kind::raw || col.type.kind == col_kind::blob ||
      col.type.kind == col_kind::clob || col.type.kind == col_kind::number)
    inconsistent("DATE");
  datetime t = value_datetime(col, v);
  if (s.dty == SQLT_DAT) {
    if (s.size < 7) fail(932, "DATE of 7 bytes");
    auto* b = static_cast<ub1*>(s.data);
    b[0] = static_cast<ub1>(t.year / 100 + 100);
    b[1] = static_cast<ub1>(t.year % 100 + 100);
    b[2] = static_cast<ub1>(t.month);
    b[3] = static_cast<ub1>(t.day);
    b[4] = static_cast<ub1>(t.hour + 1);
    b[5] = static_cast<ub1>(t.minute + 1);
    b[6] = static_cast<ub1>(t.second + 1);
    done(s, 7);
    return;
  }
  if (s.dty == SQLT_ODT) {
    if (s.size < static_cast<sb4>(sizeof(OCIDate))) fail(932, "OCIDate");
    OCIDate d{};
    d.OCIDateYYYY = static_cast<sb2>(t.year);
    d.OCIDateMM = static_cast<ub1>(t.month);
    d.OCIDateDD = static_cast<ub1>(t.day);
    d.OCIDateTime.OCITimeHH = static_cast<ub1>(t.hour);
    d.OCIDateTime.OCITimeMI = static_cast<ub1>(t.minute);
    d.OCIDateTime.OCITimeSS = static_cast<ub1>(t.second);
    std::memcpy(s.data, &d, sizeof d);
    done(s, sizeof d);
    return;
  }
  void* p = nullptr;
  std::memcpy(&p, s.data, sizeof p);
  auto* h = static_cast<handle*>(p);
  if (!p || !is_live(p) || !is_datetime_kind(h->kind)) fail(1891);
  auto* d = static_cast<datetime_desc*>(h);
  d->value = t;
  d->initialized = true;
  done(s, sizeof(void*));
}

void put_lob(const column_desc& col, const cell& v, const out_slot& s, const row_source& src) {
  bool want_clob = s.dty == SQLT_CLOB;
  if (want_clob ? col.type.kind != col_kind::clob : col.type.kind != col_kind::blob)
    inconsistent(want_clob ? "CLOB" : "BLOB");
  void* p = nullptr;
  std::memcpy(&p, s.data, sizeof p);
  lob_locator* loc = as<lob_locator>(p, OCI_DTYPE_LOB);
  if (!loc) fail(22275);
  loc->initialized = true;
  loc->clob = want_clob;
  loc->charset_form = col.type.charset_form;
  loc->chars.clear();
  loc->bytes.clear();
  if (want_clob)
    loc->chars = v.type == SQLITE_TEXT ? utf8_to_utf16(v.bytes) : utf8_to_utf16(value_text(col, v));
  else
    loc->bytes = v.bytes;
  loc->db = src.db;
  loc->table = col.table;
  loc->column = col.column;
  loc->rowid = src.rowid;
  loc->locked = src.locked && !col.table.empty();
  loc->reading = loc->writing = false;
  done(s, sizeof(void*));
}

}  // namespace

std::size_t element_stride(ub2 dty, sb4 value_sz) {
  if (is_pointer_type(dty)) return sizeof(void*);
  return value_sz > 0 ? static_cast<std::size_t>(value_sz) : 0;
}

bool is_null_value(const column_desc& col, const cell& v) {
  if (v.type == SQLITE_NULL) return true;
  if (col.type.kind == col_kind::clob || col.type.kind == col_kind::blob) return false;
  return (v.type == SQLITE_TEXT || v.type == SQLITE_BLOB) && v.bytes.empty();
}

bool put_value(const column_desc& col, const cell& stored, const out_slot& s, const row_source& src) {
  if (is_null_value(col, stored)) {
    if (!s.ind) fail(1405);
    *s.ind = -1;
    if (s.rlen) *s.rlen = 0;
    if (s.rcode) *s.rcode = 1405;
    return false;
  }
  // The server keeps a BINARY_FLOAT as a 32-bit float, SQLite a double:
  // every fetch sees the float, whatever was written into the file.
  // Any other value is used where it is: a CLOB's text may be large.
  const cell as_float = col.type.kind == col_kind::binary_float ? cell::real(static_cast<float>(double_of(stored))) : cell{};
  const cell& v = col.type.kind == col_kind::binary_float ? as_float : stored;
  switch (s.dty) {
    case SQLT_STR:
    case SQLT_CHR:
    case SQLT_AFC:
    case SQLT_LNG:
    case SQLT_AVC:
      return put_chars(value_text(col, v), s);
    case SQLT_LVC:
      return put_long_chars(value_text(col, v), s);
    case SQLT_INT:
      put_integer(col, v, s, true);
      return false;
    case SQLT_UIN:
      put_integer(col, v, s, false);
      return false;
    case SQLT_FLT:
    case SQLT_BFLOAT:
    case SQLT_BDOUBLE:
      put_float(col, v, s);
      return false;
    case SQLT_BIN:
    case SQLT_LBI:
      if (col.type.kind == col_kind::raw || col.type.kind == col_kind::blob ||
          v.type == SQLITE_BLOB)
        return put_bytes(v.bytes, s);
      return put_bytes(value_text(col, v), s);
    case SQLT_DAT:
    case SQLT_ODT:
    case SQLT_DATE:
    case SQLT_TIMESTAMP:
    case SQLT_TIMESTAMP_TZ:
    case SQLT_TIMESTAMP_LTZ:
      put_datetime(col, v, s);
      return false;
    case SQLT_CLOB:
    case SQLT_BLOB:
      put_lob(col, v, s, src);
      return false;
    default:
      fail(932, "a supported external type");
  }
}

cell bind_value(const bind_handle& b, ub4 row) {
  if (b.indp && b.indp[row] == -1) return cell{};
  std::size_t stride = element_stride(b.dty, b.value_sz);
  const char* base = static_cast<const char*>(b.valuep) + stride * row;
  if (!b.valuep) return cell{};
  std::size_t len = b.alenp ? b.alenp[row] : (b.value_sz > 0 ? static_cast<std::size_t>(b.value_sz) : 0);
  ub2 csid = b.csid ? b.csid : env_charset(b.env);
  switch (b.dty) {
    case SQLT_INT:
    case SQLT_UIN: {
      bool s = b.dty == SQLT_INT;
      // Widen each size on its own: a shared ?: type would turn negatives unsigned.
      switch (b.value_sz) {
        case 1: {
          std::int64_t v = s ? std::int64_t(*reinterpret_cast<const std::int8_t*>(base))
                             : std::int64_t(*reinterpret_cast<const std::uint8_t*>(base));
          return cell::integer(v);
        }
        case 2: {
          std::int16_t x;
          std::memcpy(&x, base, 2);
          return cell::integer(s ? std::int64_t(x) : std::int64_t(static_cast<std::uint16_t>(x)));
        }
        case 4: {
          std::int32_t x;
          std::memcpy(&x, base, 4);
          return cell::integer(s ? std::int64_t(x) : std::int64_t(static_cast<std::uint32_t>(x)));
        }
        case 8: {
          std::int64_t x;
          std::memcpy(&x, base, 8);
          return cell::integer(x);
        }
        default:
          fail(932, "integer of 1, 2, 4 or 8 bytes");
      }
    }
    case SQLT_FLT:
    case SQLT_BFLOAT:
    case SQLT_BDOUBLE:
      if (b.value_sz == 4) {
        float f;
        std::memcpy(&f, base, 4);
        return cell::real(f);
      }
      if (b.value_sz == 8) {
        double d;
        std::memcpy(&d, base, 8);
        return cell::real(d);
      }
      fail(932, "float of 4 or 8 bytes");
    case SQLT_STR: {
      std::size_t unit = nul_size(csid);
      std::size_t limit = b.alenp ? std::min<std::size_t>(len, static_cast<std::size_t>(b.value_sz))
                                  : static_cast<std::size_t>(b.value_sz > 0 ? b.value_sz : 0);
      std::size_t n = 0;
      bool terminated = false;
      for (; n + unit <= static_cast<std::size_t>(b.value_sz > 0 ? b.value_sz : 0); n += unit) {
        bool zero = base[n] == 0 && (unit == 1 || base[n + 1] == 0);
        if (zero) {
          terminated = true;
          break;
        }
      }
      if (!terminated && !b.alenp) fail(1480);
      n = std::min(n, limit);
      std::string text = decode_text(base, n, csid);
      return text.empty() ? cell{} : cell::text(text);
    }
    case SQLT_CHR:
    case SQLT_AFC:
    case SQLT_LNG:
    case SQLT_AVC: {
      std::string text = decode_text(base, len, csid);
      return text.empty() ? cell{} : cell::text(text);
    }
    case SQLT_BIN:
    case SQLT_LBI:
      return len ? cell::blob(std::string(base, len)) : cell{};
    case SQLT_ODT: {
      OCIDate d;
      std::memcpy(&d, base, sizeof d);
      datetime t;
      t.year = d.OCIDateYYYY;
      t.month = d.OCIDateMM;
      t.day = d.OCIDateDD;
      t.hour = d.OCIDateTime.OCITimeHH;
      t.minute = d.OCIDateTime.OCITimeMI;
      t.second = d.OCIDateTime.OCITimeSS;
      return cell::text(datetime_text(t, false, false));
    }
    case SQLT_DAT: {
      auto* u = reinterpret_cast<const ub1*>(base);
      datetime t;
      t.year = (u[0] - 100) * 100 + (u[1] - 100);
      t.month = u[2];
      t.day = u[3];
      t.hour = u[4] - 1;
      t.minute = u[5] - 1;
      t.second = u[6] - 1;
      return cell::text(datetime_text(t, false, false));
    }
    case SQLT_DATE:
    case SQLT_TIMESTAMP:
    case SQLT_TIMESTAMP_TZ:
    case SQLT_TIMESTAMP_LTZ: {
      void* p = nullptr;
      std::memcpy(&p, base, sizeof p);
      auto* h = static_cast<handle*>(p);
      if (!p || !is_live(p) || !is_datetime_kind(h->kind)) fail(1891);
      auto* d = static_cast<datetime_desc*>(h);
      if (!d->initialized) fail(1891);
      return cell::text(datetime_text(d->value, d->value.nanos != 0, true));
    }
    default:
      fail(932, "a supported external type");
  }
}

}  // namespace ocilite

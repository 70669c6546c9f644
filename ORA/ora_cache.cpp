#include "ORA/ora_cache.h"

#include "ORA/ora_database.h"
#include "ORA/ora_engine.h"
#include "ORA/ora_lob_insert.h"
#include "ORA/ora_table.h"
#include "ORA/ora_text.h"
#include "ORA/ora_type_map.h"
#include "ORA/ora_util.h"
#include "OLE/ole_date.h"
#include "OLE/ole_exception.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "oci/oci_library.h"
#include "platform/win32.h"

#include "UDB/udb_compare.h"

#include <algorithm>
#include <climits>
#include <cstring>

static_assert(sizeof(OCIDate) <= 8, "a date slot is 8 bytes");

namespace {

bool short_binary(const t_ftd& c) {
  return (c.vartype == VT_BLOB || c.vartype == (VT_ARRAY | VT_UI1)) && c.size >= 1 && c.size <= 2000;
}

// A LONG column: text without a size limit that is no CLOB.
bool long_text(const t_ftd& c) {
  return c.vartype == VT_BSTR && ora_is_large_object(c.vartype, c.size) && (c.type_text == L"LONG" || c.reserved == 10);
}

// The bind length and type of a column. Beyond the type maps: a RAW column
// is bound as its hexadecimal digits, and 64-bit integers as 64-bit
// integers, which a double would round.
ub4 bind_length(const t_ftd& c) {
  if (short_binary(c)) return static_cast<ub4>(c.size) * 4 + 2;
  if (c.vartype == VT_I8 || c.vartype == VT_UI8) return 8;
  return get_ora_len(&c);
}

ub2 bind_type(const t_ftd& c) {
  if (short_binary(c) || long_text(c)) return SQLT_STR;
  if (c.vartype == VT_I8) return SQLT_INT;
  if (c.vartype == VT_UI8) return SQLT_UIN;
  return get_ora_type(&c);
}

bool is_number(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8:
    case VT_INT: case VT_UINT: case VT_BOOL: case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL:
      return true;
    default:
      return false;
  }
}

std::int64_t whole_value(const udb_field& f) {
  VARTYPE vt = f.get_type();
  if (vt == VT_I8) return f.i8;
  if (vt == VT_UI8) {
    if (f.ui8 > static_cast<ULONGLONG>(LLONG_MAX)) throw ole_cast_exception();
    return static_cast<std::int64_t>(f.ui8);
  }
  ole_variant v = vt == VT_BSTR ? ole_variant::from_wstring(f.to_wstring(), VT_I8) : ole_variant(f);
  if (!is_number(v.var.vt)) throw ole_cast_exception();
  v.change_type(VT_I8);
  return v.i8;
}

double real_value(const udb_field& f) {
  VARTYPE vt = f.get_type();
  if (vt == VT_BSTR) return ole_variant::from_wstring(f.to_wstring(), VT_R8).to_double();
  if (!is_number(vt)) throw ole_cast_exception();
  return f.to_double();
}

SYSTEMTIME date_value(const udb_field& f) {
  SYSTEMTIME st{};
  if (f.get_type() == VT_DATE) {
    f.get_systemtime(st);
    return st;
  }
  if (f.get_type() != VT_BSTR) throw ole_cast_exception();
  ole_date date(f.to_wstring());
  if (!date.is_valid()) throw ole_cast_exception();
  return date.st;
}

// The text of a value bound as text: for a RAW column its hexadecimal
// digits; dates and bytes as their own text, not as SQL.
std::wstring bound_text(const udb_field& f, const t_ftd& column) {
  VARTYPE vt = f.get_type();
  std::wstring text = f.to_wstring();
  if (short_binary(column)) {
    if (text.size() >= 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) text.erase(0, 2);
    return text;
  }
  if (vt == VT_DATE || ole_variant::is_binary_type(vt)) return text;
  return to_oracle_str(&f, false);
}

}  // namespace

ora_cache::ora_cache(const std::wstring& name, ora_table* owner) : table(owner), table_name_(name) {
  tk_log::write(2, L"ora_cache::ctor(%ls)", name.c_str());
  tk_log::write(1, "p_table=%p", static_cast<void*>(owner));
  init(name);
}

ora_cache::~ora_cache() {
  tk_log::write(2, "ora_cache::dtor(n_records=%u)", row_count);
  if (!row_count) return;
  try {
    commit();
  } catch (const std::exception& e) {
    tk_log::write(3, "Error while writing the last rows:\n%s\n", e.what());
  }
}

void ora_cache::init(const std::wstring& name) {
  tk_log::write(1, L"ora_cache::init(%ls)", name.c_str());
  if (!buffers.empty()) return;
  if (!table) throw tk_mail_assertion("ora_cache", 193);
  const udb_schema& schema = table->schema;
  std::wstring columns = L"INSERT /*+ APPEND */ INTO \"" + name + L"\" (";
  std::wstring values = L" VALUES(";
  unsigned bound = 0;
  for (std::size_t i = 0; i < schema.size(); ++i) {
    const t_ftd& c = schema[i];
    ub4 length = bind_length(c);
    tk_log::write(1, "Field #%zu has size=%u", i, length);
    bool lob = false;
    if (long_text(c)) {
      row_buffer& b = buffers[static_cast<unsigned>(i)];
      b.type = SQLT_STR;
      b.long_text = true;
      b.texts.resize(batch_size);
      b.indicators.assign(batch_size, 0);
      ++bound;
    } else if (length > 0) {
      row_buffer& b = buffers[static_cast<unsigned>(i)];
      b.element = length;
      b.type = bind_type(c);
      b.data.assign(static_cast<std::size_t>(length) * batch_size, 0);
      b.indicators.assign(batch_size, 0);
      ++bound;
    } else {
      tk_log::write(2, L"Field '%ls' stored into v_blob_desc (type=%d)", c.name.c_str(), c.vartype);
      v_blob_desc.push_back({static_cast<unsigned>(i), static_cast<unsigned>(v_blob_desc.size()), c.vartype, c.name});
      lob = true;
    }
    if (i) {
      columns += L", ";
      values += L", ";
    }
    columns += L"\"" + c.name + L"\"";
    if (lob)
      values += c.vartype == VT_BSTR ? L"EMPTY_CLOB() " : L"EMPTY_BLOB() ";
    else
      values += L":" + std::to_wstring(bound);
  }
  tk_log::write(2, "ora_cache::lob_data_init");
  if (!v_blob_desc.empty())
    lob_rows.resize(batch_size);
  else
    tk_log::write(1, "v_blob_desc.empty");
  row_buffer& rowids = buffers[static_cast<unsigned>(schema.size())];
  rowids.element = rowid_size;
  rowids.type = SQLT_STR;
  rowids.data.assign(static_cast<std::size_t>(rowid_size) * batch_size, 0);
  rowids.indicators.assign(batch_size, 0);
  ++bound;
  values += L") RETURNING ROWID INTO :" + std::to_wstring(bound);
  sql = columns + L")" + values;
  tk_log::write(2, L"sql_query=%ls", sql.c_str());
  ora_engine::instance().check_err(stmt.prepare(sql));
  bind();
}

void ora_cache::bind() {
  tk_log::write(1, "ora_cache::bind");
  ub4 position = 1;
  for (auto& [key, buffer] : buffers) {
    buffer.position = position++;
    // A LONG column is bound with each batch.
    if (!buffer.long_text) bind_buffer(buffer);
  }
}

void ora_cache::bind_buffer(row_buffer& b) {
  tk_log::write(1, "Bind item #%u: type=%d, size=%u", b.position, b.type, b.element);
  ora_engine& engine = ora_engine::instance();
  // The element size is the skip between rows: one execute reads them all.
  engine.check_err(oci().OCIBindByPos(stmt.handle, &b.bind, engine.err, b.position, b.data.data(),
                                      static_cast<sb4>(b.element), b.type, b.indicators.data(), nullptr, nullptr, 0,
                                      nullptr, OCI_DEFAULT));
}

const std::vector<std::size_t>& ora_cache::positions(const udb_record& fields) {
  bool same = fields.size() == layout_names_.size();
  for (std::size_t i = 0; same && i < fields.size(); ++i) same = fields[i].name == layout_names_[i];
  if (same) return layout_;
  const udb_schema& schema = table->schema;
  layout_names_.clear();
  for (std::size_t i = 0; i < fields.size(); ++i) layout_names_.push_back(fields[i].name);
  // A source column left out of the table (its type) or renamed for it
  // must not shift the others: the values go by name.
  std::vector<std::wstring> mapped;
  for (const std::wstring& name : layout_names_)
    mapped.push_back(table->database ? table->database->names_map.get_fn_mapped_name(table_name_, name, true) : name);
  layout_.assign(schema.size(), 0);
  bool named = true;
  for (std::size_t k = 0; k < schema.size() && named; ++k) {
    const std::wstring& column = schema[k].name;
    auto it = std::find(mapped.begin(), mapped.end(), column);
    if (it == mapped.end())
      it = std::find_if(mapped.begin(), mapped.end(), [&](const std::wstring& m) { return udb_same_name(m, column); });
    named = it != mapped.end();
    if (named) layout_[k] = static_cast<std::size_t>(it - mapped.begin());
  }
  if (!named) {
    tk_log::write(1, "The record's names are not the table's: taken by position");
    if (fields.size() < schema.size()) {
      layout_names_.clear();
      throw tk_exception(std::wstring(L"The structure of data source does not conform to the destination table."), 1);
    }
    for (std::size_t k = 0; k < schema.size(); ++k) layout_[k] = k;
  }
  return layout_;
}

void ora_cache::append_record(udb_record& fields) {
  tk_log::write(1, "ora_cache::append_record(size=%zu)", fields.size());
  if (!table) throw tk_mail_assertion("ora_cache", 193);
  udb_schema& schema = table->schema;
  const std::vector<std::size_t>& at = positions(fields);
  for (auto& [key, buffer] : buffers) {
    if (key >= schema.size()) continue;  // the ROWIDs
    const udb_field& field = fields[at[key]];
    bool null = field.var.vt == VT_EMPTY || field.var.vt == VT_NULL;
    // A text binds as the server takes it: an empty one is NULL.
    if (!null && (buffer.long_text || buffer.type == SQLT_STR) && field.to_wstring().empty()) null = true;
    if (!null) {
      buffer.indicators[row_count] = 0;
      copy_field(field, key);
    }
    if (null) {
      tk_log::write(1, "Put NULL-field");
      if (schema[key].b_not_null) {
        tk_log::write(1, "Remove NOTNULL flag");
        table->reset_not_null_flag(key);
      }
      buffer.indicators[row_count] = -1;
      if (buffer.long_text)
        buffer.texts[row_count].clear();
      else
        std::memset(buffer.data.data() + static_cast<std::size_t>(row_count) * buffer.element, 0, buffer.element);
    }
  }
  lob_data_copy(fields, at);
  if (++row_count == batch_size) commit();
}

void ora_cache::copy_field(const udb_field& field, unsigned key) {
  tk_log::write(1, "ora_cache::copy_field(%u)", key);
  if (!table) throw tk_mail_assertion("ora_cache", 193);
  const t_ftd& column = table->schema[key];
  tk_log::write(1, L"name=%ls, type=%d", column.name.c_str(), column.vartype);
  row_buffer& buffer = buffers.at(key);
  unsigned char* slot = buffer.data.data() + static_cast<std::size_t>(row_count) * buffer.element;
  if (buffer.long_text) {
    buffer.texts[row_count] = field.to_wstring();
    return;
  }
  if (short_binary(column)) {
    // Hexadecimal digits, checked by the server.
  } else {
    switch (column.vartype) {
      case VT_I2: case VT_I4: case VT_BOOL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_INT:
      case VT_UINT: {
        std::int64_t whole = whole_value(field);
        if (whole < INT_MIN || whole > INT_MAX) throw ole_cast_exception();
        auto value = static_cast<std::int32_t>(whole);
        std::memcpy(slot, &value, sizeof value);
        return;
      }
      case VT_R4: {
        auto value = static_cast<float>(real_value(field));
        std::memcpy(slot, &value, sizeof value);
        return;
      }
      case VT_R8: {
        double value = real_value(field);
        std::memcpy(slot, &value, sizeof value);
        return;
      }
      case VT_I8:
      case VT_UI8: {
        std::int64_t value = whole_value(field);
        tk_log::write(1, "Got VT_I8/VT_UI8: %lld", static_cast<long long>(value));
        std::memcpy(slot, &value, sizeof value);
        return;
      }
      case VT_DATE: {
        SYSTEMTIME st = date_value(field);
        OCIDate date{};
        date.OCIDateYYYY = static_cast<sb2>(st.wYear);
        date.OCIDateMM = static_cast<ub1>(st.wMonth);
        date.OCIDateDD = static_cast<ub1>(st.wDay);
        date.OCIDateTime.OCITimeHH = static_cast<ub1>(st.wHour);
        date.OCIDateTime.OCITimeMI = static_cast<ub1>(st.wMinute);
        date.OCIDateTime.OCITimeSS = static_cast<ub1>(st.wSecond);
        std::memcpy(slot, &date, sizeof date);
        return;
      }
      default:
        break;
    }
  }
  std::memset(slot, 0, buffer.element);
  std::wstring src = bound_text(field, column);
  tk_log::write(1, L"src=%ls", src.c_str());
  std::u16string units = ora_to_utf16(src);
  // One unit less than the slot holds: the last one is the terminator.
  std::size_t room = buffer.element / 2 - 1;
  std::size_t n = units.size() < room ? units.size() : room;
  if (n > 0 && n < units.size() && units[n - 1] >= 0xD800 && units[n - 1] <= 0xDBFF) --n;
  tk_log::write(1, "sz=%u, src.length=%zu", buffer.element, src.size());
  std::memcpy(slot, units.data(), n * sizeof(char16_t));
}

void ora_cache::fill_long_buffers() {
  for (auto& [key, buffer] : buffers) {
    if (!buffer.long_text) continue;
    std::vector<std::u16string> units(row_count);
    std::size_t longest = 0;
    for (unsigned r = 0; r < row_count; ++r) {
      units[r] = ora_to_utf16(buffer.texts[r]);
      if (units[r].size() > longest) longest = units[r].size();
    }
    buffer.element = static_cast<ub4>((longest + 1) * sizeof(char16_t));
    buffer.data.assign(static_cast<std::size_t>(buffer.element) * row_count, 0);
    for (unsigned r = 0; r < row_count; ++r)
      std::memcpy(buffer.data.data() + static_cast<std::size_t>(r) * buffer.element, units[r].data(),
                  units[r].size() * sizeof(char16_t));
    bind_buffer(buffer);
  }
}

void ora_cache::commit() {
  tk_log::write(1, "ora_cache::commit");
  if (!row_count) return;
  if (!table || !table->database) throw tk_mail_assertion("ora_cache", 193);
  ora_database& database = *table->database;
  ora_engine& engine = ora_engine::instance();
  bool marked = false;
  try {
    // A batch is kept whole or not at all.
    database.query(L"SAVEPOINT ORA_CACHE");
    marked = true;
    fill_long_buffers();
    engine.check_err(stmt.execute(row_count));
    lob_data_insert();
    database.query(L"COMMIT");
  } catch (...) {
    qm_rethrow_if_cancelled();
    row_count = 0;
    lob_data_clear();
    if (marked) {
      try {
        database.query(L"ROLLBACK TO SAVEPOINT ORA_CACHE");
      } catch (const std::exception& e) {
        tk_log::write(3, "Error while dropping a failed batch:\n%s\n", e.what());
      }
    }
    throw;
  }
  row_count = 0;
}

void ora_cache::lob_data_copy(udb_record& fields, const std::vector<std::size_t>& at) {
  tk_log::write(1, "ora_cache::lob_data_copy");
  if (v_blob_desc.empty()) {
    tk_log::write(2, "data.size == 0, nothing to do");
    return;
  }
  tk_log::write(1, "Building LOB data...");
  udb_record& row = lob_rows[row_count];
  row.clear();
  for (std::size_t i = 0; i < v_blob_desc.size(); ++i) {
    const lob_desc& d = v_blob_desc[i];
    auto copy = std::make_unique<udb_field>(fields[at[d.column]]);
    tk_log::write(1, "LOB[%zu].vt=%d, v_blob_desc[%zu].vt=%d", i, copy->get_type(), i, d.vt);
    copy->change_type(d.vt);
    row.push_back(std::move(copy));
  }
}

void ora_cache::lob_data_insert() {
  tk_log::write(1, "ora_cache::lob_data_insert");
  if (v_blob_desc.empty()) {
    tk_log::write(1, "v_blob_desc is empty, nothing to do");
    return;
  }
  std::vector<ora_lob_item> items;
  for (const lob_desc& d : v_blob_desc) items.push_back({d.column, d.position, d.vt, d.name});
  const row_buffer& rowids = buffers.at(static_cast<unsigned>(table->schema.size()));
  for (unsigned r = 0; r < row_count; ++r) {
    const auto* text = reinterpret_cast<const char16_t*>(rowids.data.data() + static_cast<std::size_t>(r) * rowid_size);
    std::wstring rowid = ora_from_utf16(text, rowid_size / sizeof(char16_t));
    ora_lob_insert writer(table_name_, items);
    writer.insert(rowid, lob_rows[r]);
  }
  lob_data_clear();
}

void ora_cache::lob_data_clear() {
  tk_log::write(1, "ora_cache::lob_data_clear");
  for (udb_record& row : lob_rows) row.clear();
}

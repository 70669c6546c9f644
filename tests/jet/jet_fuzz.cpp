#include "jet_fuzz.h"

#include "dao_args.h"
#include "jet/biff_reader.h"
#include "jet/biff_record.h"
#include "jet/biff_writer.h"
#include "jet/jet_engine.h"
#include "platform/storage.h"
#include "platform/utf8.h"
#include "tests/support/wide_text.h"

#include <algorithm>
#include <exception>

namespace {

class fuzz_run {
 public:
  explicit fuzz_run(std::vector<std::string>& problems) : problems(problems) {}

  void in_memory(const std::uint8_t* data, std::size_t size) {
    biff_book book;
    biff_version v;
    try {
      v = biff_read_workbook(data, size, book);
    } catch (const biff_format_error&) {
      return;
    } catch (const std::exception& e) {
      problems.push_back(std::string("the reader threw: ") + e.what());
      return;
    }
    std::vector<std::uint8_t> again;
    try {
      again = biff_write_workbook(book, v);
    } catch (const std::exception& e) {
      problems.push_back(std::string("the writer threw: ") + e.what());
      return;
    }
    biff_book back;
    try {
      biff_read_workbook(again.data(), again.size(), back);
      if (back.sheets.size() != book.sheets.size()) problems.push_back("a sheet was lost in writing");
    } catch (const std::exception& e) {
      problems.push_back(std::string("the reader refuses what the writer made: ") + e.what());
    }
  }

  void through_driver(const std::uint8_t* data, std::size_t size, const std::string& folder) {
    const bool biff5 = size >= 6 && data[4] == 0x00 && data[5] == 0x05;
    const std::wstring path = qm_test::wide(folder) + L"/input.xls";
    if (!compound(path, biff5 ? L"Book" : L"Workbook", data, size)) {
      problems.push_back("the input file could not be made");
      return;
    }
    const wchar_t* connect = biff5 ? L"Excel 5.0;" : L"Excel 8.0;";
    jet_held<_DAODBEngine> engine;
    if (FAILED(new_dbengine(engine))) {
      problems.push_back("no DBEngine");
      return;
    }
    jet_held<DAODatabase> db;
    if (FAILED(open(engine.p, path, connect, false, db))) return;
    walk(db.p);
    change(db.p);
    if (FAILED(db->Close())) return;
    db.reset();
    jet_held<DAODatabase> again;
    if (FAILED(open(engine.p, path, connect, true, again))) {
      problems.push_back("the driver cannot open the workbook it wrote");
      return;
    }
    walk(again.p);
  }

 private:
  static bool compound(const std::wstring& path, const wchar_t* name, const std::uint8_t* data, std::size_t size) {
    jet_held<IStorage> storage;
    if (FAILED(StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, storage.out())))
      return false;
    jet_held<IStream> stream;
    if (FAILED(storage->CreateStream(name, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.out())))
      return false;
    ULONG written = 0;
    if (size && FAILED(stream->Write(data, static_cast<ULONG>(size), &written))) return false;
    stream.reset();
    return SUCCEEDED(storage->Commit(STGC_DEFAULT));
  }

  HRESULT open(_DAODBEngine* engine, const std::wstring& path, const wchar_t* connect, bool read_only,
               jet_held<DAODatabase>& db) {
    bstr name(path);
    HRESULT hr = engine->OpenDatabase(name.b, arg::boolean(false), arg::boolean(read_only), arg(connect), db.out());
    if (FAILED(hr)) expect_error(engine, hr);
    return hr;
  }

  // A failing call leaves its error in the DBEngine's collection.
  void expect_error(_DAODBEngine* engine, HRESULT hr) {
    if ((static_cast<unsigned>(hr) & 0xFFFF0000u) != 0x800A0000u) return;
    jet_held<DAOErrors> errors;
    SHORT count = 0;
    if (FAILED(engine->get_Errors(errors.out())) || FAILED(errors->get_Count(&count)) || count == 0)
      problems.push_back("a failed call left no error");
  }

  void walk(DAODatabase* db) {
    jet_held<DAOTableDefs> tables;
    if (FAILED(db->get_TableDefs(tables.out()))) return;
    SHORT count = 0;
    tables->get_Count(&count);
    for (SHORT i = 0; i < count; ++i) {
      jet_held<_DAOTableDef> table;
      if (FAILED(tables->get_Item(arg(i), table.out()))) continue;
      bstr name;
      table->get_Name(name.out());
      const std::wstring table_name = name.str();
      LONG records = 0;
      table->get_RecordCount(&records);
      jet_held<DAOFields> fields;
      if (SUCCEEDED(table->get_Fields(fields.out()))) describe(fields.p);
      jet_held<DAOIndexes> indexes;
      SHORT index_count = 0;
      if (SUCCEEDED(table->get_Indexes(indexes.out()))) indexes->get_Count(&index_count);
      read_records(db, table_name);
      jet_held<_DAOQueryDef> query;
      if (SUCCEEDED(db->CreateQueryDef(arg(L""), arg(L"SELECT COUNT(*) FROM [" + table_name + L"]"), query.out()))) {
        jet_held<DAORecordset> counted;
        if (SUCCEEDED(query->OpenRecordset(arg(dbOpenDynaset), arg(dbReadOnly), arg(), counted.out())))
          values(counted.p);
      }
    }
  }

  void describe(DAOFields* fields) {
    SHORT count = 0;
    fields->get_Count(&count);
    for (SHORT k = 0; k < count; ++k) {
      jet_held<_DAOField> field;
      if (FAILED(fields->get_Item(arg(k), field.out()))) continue;
      bstr name;
      field->get_Name(name.out());
      SHORT type;
      LONG size;
      VARIANT_BOOL required;
      field->get_Type(&type);
      field->get_Size(&size);
      field->get_Required(&required);
      arg def;
      field->get_DefaultValue(&def.v);
      jet_held<DAOProperties> properties;
      if (FAILED(field->get_Properties(properties.out()))) continue;
      jet_held<DAOProperty> description;
      if (FAILED(properties->get_Item(arg(L"Description"), description.out()))) continue;
      arg value;
      description->get_Value(&value.v);
    }
  }

  void read_records(DAODatabase* db, const std::wstring& table) {
    jet_held<DAORecordset> records;
    bstr name(table);
    if (FAILED(db->OpenRecordset(name.b, arg(dbOpenDynaset), arg(0), arg(), records.out()))) return;
    LONG count = 0;
    records->get_RecordCount(&count);
    if (count > 0) records->MoveFirst();
    VARIANT_BOOL eof = VARIANT_TRUE;
    // Enough records to cross the blocks of rows; not every one of a long sheet.
    for (int n = 0; n < 200 && SUCCEEDED(records->get_EOF(&eof)) && !eof; ++n) {
      values(records.p);
      records->MoveNext();
    }
    records->MovePrevious();
    VARIANT_BOOL bof;
    records->get_BOF(&bof);
    records->Close();
  }

  void values(DAORecordset* records) {
    jet_held<DAOFields> fields;
    if (FAILED(records->get_Fields(fields.out()))) return;
    SHORT count = 0;
    fields->get_Count(&count);
    for (SHORT k = 0; k < count; ++k) {
      jet_held<_DAOField> field;
      if (FAILED(fields->get_Item(arg(k), field.out()))) continue;
      arg value;
      field->get_Value(&value.v);
    }
  }

  // A new sheet, a record added to the first sheet and the last one deleted.
  void change(DAODatabase* db) {
    jet_held<DAOTableDefs> tables;
    if (FAILED(db->get_TableDefs(tables.out()))) return;
    SHORT count = 0;
    tables->get_Count(&count);
    std::vector<std::wstring> names;
    for (SHORT i = 0; i < count; ++i) {
      jet_held<_DAOTableDef> table;
      bstr name;
      if (SUCCEEDED(tables->get_Item(arg(i), table.out())) && SUCCEEDED(table->get_Name(name.out())))
        names.push_back(name.str());
    }
    jet_held<_DAOTableDef> made;
    if (SUCCEEDED(db->CreateTableDef(arg(L"Fuzz ✓"), arg(0), arg(L""), arg(L""), made.out()))) {
      jet_held<DAOFields> fields;
      made->get_Fields(fields.out());
      const std::pair<const wchar_t*, int> columns[] = {{L"T", dbMemo}, {L"N", dbDouble}, {L"D", dbDate}};
      for (const auto& [name, type] : columns) {
        jet_held<_DAOField> field;
        if (SUCCEEDED(made->CreateField(arg(name), arg(type), arg(0), field.out())))
          fields->Append(field.p);
      }
      if (SUCCEEDED(tables->Append(made.p))) {
        add(db, L"Fuzz ✓", dbAppendOnly, {arg(L"Ж 😀"), arg(-2.5), arg::date(40543.5)});
      }
    }
    if (names.empty()) return;
    add(db, names.front(), 0, std::vector<arg>(4, arg(L"1")));
    if (names.size() > 1) tables->Delete(bstr(names.back()).b);
  }

  void add(DAODatabase* db, const std::wstring& table, int options, const std::vector<arg>& row) {
    jet_held<DAORecordset> records;
    bstr name(table);
    if (FAILED(db->OpenRecordset(name.b, arg(dbOpenDynaset), arg(options), arg(), records.out())) ||
        FAILED(records->AddNew()))
      return;
    for (std::size_t k = 0; k < row.size(); ++k) records->put_Collect(arg(static_cast<int>(k)), row[k]);
    records->Update(dbUpdateRegular, VARIANT_FALSE);
  }

  std::vector<std::string>& problems;
};

// The records of a stream, as far as they can be walked: their positions.
std::vector<std::size_t> record_starts(const std::vector<std::uint8_t>& s) {
  std::vector<std::size_t> starts;
  for (std::size_t at = 0; at + 4 <= s.size();) {
    starts.push_back(at);
    at += 4 + (s[at + 2] | s[at + 3] << 8);
  }
  return starts;
}

void put16(std::vector<std::uint8_t>& s, std::size_t at, unsigned v) {
  if (at + 2 > s.size()) return;
  s[at] = static_cast<std::uint8_t>(v);
  s[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::vector<std::uint8_t>& s, std::size_t at, std::uint32_t v) {
  put16(s, at, v & 0xFFFF);
  put16(s, at + 2, v >> 16);
}

}  // namespace

std::vector<std::string> jet_fuzz_input(const std::uint8_t* data, std::size_t size, const std::string& folder) {
  std::vector<std::string> problems;
  fuzz_run run(problems);
  run.in_memory(data, size);
  static const bool registered = (jet_register_dbengine(), CoInitialize(nullptr), true);
  (void)registered;
  try {
    run.through_driver(data, size, folder);
  } catch (const std::exception& e) {
    problems.push_back(std::string("an exception left the driver: ") + e.what());
  } catch (...) {
    problems.push_back("an exception left the driver");
  }
  return problems;
}

std::vector<std::uint8_t> jet_fuzz_mutate(const std::vector<std::uint8_t>& seed, const std::vector<std::uint8_t>& other,
                                          std::mt19937& random) {
  std::vector<std::uint8_t> s = seed;
  auto below = [&](std::size_t n) { return n == 0 ? std::size_t(0) : static_cast<std::size_t>(random() % n); };
  static const unsigned small[] = {0, 1, 2, 0x7F, 0x80, 0xFF, 0x100, 0x7FFF, 0x8000, 0xFFFF, 8224, 8228, 2080};
  static const std::uint32_t large[] = {0, 1, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 65536, 16384};
  for (std::size_t n = 1 + below(3); n > 0 && !s.empty(); --n) {
    std::vector<std::size_t> records = record_starts(s);
    std::size_t record = records.empty() ? 0 : records[below(records.size())];
    std::size_t length = record + 4 <= s.size() ? (s[record + 2] | s[record + 3] << 8) : 0;
    switch (below(10)) {
      case 0:
        s[below(s.size())] ^= static_cast<std::uint8_t>(1u << below(8));
        break;
      case 1:
        s[below(s.size())] = static_cast<std::uint8_t>(small[below(6)]);
        break;
      case 2:
        put16(s, below(s.size()), small[below(std::size(small))]);
        break;
      case 3:
        put32(s, below(s.size()),
              random() % 2 ? large[below(std::size(large))] : static_cast<std::uint32_t>(below(s.size() + 16)));
        break;
      case 4:  // a field of a record's body
        if (length >= 2) put16(s, record + 4 + below(length - 1), small[below(std::size(small))]);
        break;
      case 5:  // the record's length
        put16(s, record + 2,
              random() % 2 ? small[below(std::size(small))] : static_cast<unsigned>(length + below(9) - 4));
        break;
      case 6:  // the record twice
        if (record + 4 + length <= s.size())
          s.insert(s.begin() + static_cast<long>(record), s.begin() + static_cast<long>(record),
                   s.begin() + static_cast<long>(record + 4 + length));
        break;
      case 7:  // the record left out
        if (record + 4 + length <= s.size())
          s.erase(s.begin() + static_cast<long>(record), s.begin() + static_cast<long>(record + 4 + length));
        break;
      case 8:
        s.resize(below(s.size() + 1));
        break;
      case 9:  // a piece of the other input in place of one of this
        if (!other.empty()) {
          std::size_t from = below(other.size()), count = 1 + below(std::min<std::size_t>(64, other.size() - from));
          std::size_t at = below(s.size());
          s.erase(s.begin() + static_cast<long>(at), s.begin() + static_cast<long>(std::min(s.size(), at + count)));
          s.insert(s.begin() + static_cast<long>(at), other.begin() + static_cast<long>(from),
                   other.begin() + static_cast<long>(from + count));
        }
        break;
    }
  }
  return s;
}

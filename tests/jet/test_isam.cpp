#include "jet/jet_sql.h"
#include "jet/jet_workbook.h"
#include "jet_test_support.h"

#include <cmath>
#include <functional>
#include <stdexcept>

namespace {

class Isam : public jet_fixture {
 protected:
  temp_dir dir;
};

constexpr HRESULT unusable = static_cast<HRESULT>(0x800A0E31u);

TEST_F(Isam, ConnectStringsChooseTheDriver) {
  struct {
    const wchar_t* connect;
    HRESULT result;
  } cases[] = {
      {L"Excel 5.0;", S_OK},        {L"excel 8.0;HDR=YES;", S_OK}, {L"Excel 12.0;", dao_hresult(3170)},
      {L"", unusable},              {L";pwd=secret", unusable},    {L"Paradox 4.x;", dao_hresult(3170)},
  };
  for (const auto& c : cases) {
    ref<DAODatabase> database;
    EXPECT_EQ(open(dir.file(L"a.xls"), c.connect, database), c.result) << c.connect;
    EXPECT_EQ(database.p != nullptr, c.result == S_OK);
    if (c.result != S_OK) {
      EXPECT_EQ(static_cast<HRESULT>(0x800A0000 | last_error()), c.result);
    }
  }
  bstr name(dir.file(L"a.mdb")), locale(L";LANGID=0x0409;CP=1252;COUNTRY=0");
  ref<DAODatabase> database;
  EXPECT_EQ(engine->CreateDatabase(name.b, locale.b, arg(0), database.out()), unusable);
  std::wstring text;
  EXPECT_EQ(last_error(&text), 3633);
  EXPECT_FALSE(text.empty());
  ref<DAODatabase> missing;
  EXPECT_EQ(open(dir.file(L"no/such/folder/a.xls"), L"Excel 8.0;", missing), dao_hresult(3044));
  EXPECT_EQ(open(dir.file(L"b.xls"), L"Excel 8.0;", missing, true), dao_hresult(3024)) << "nothing to read";
}

// Reads field `i` of the current record.
VARIANT value_of(DAORecordset* records, int i) {
  ref<DAOFields> fields;
  records->get_Fields(fields.out());
  ref<_DAOField> field;
  fields->get_Item(arg(i), field.out());
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(field->get_Value(&v), S_OK);
  return v;
}

TEST_F(Isam, RecordsReadBackWithTheirFieldTypes) {
  for (const wchar_t* connect : {L"Excel 5.0;", L"Excel 8.0;"}) {
    ref<DAODatabase> db;
    ASSERT_EQ(open(dir.file(std::wstring(L"t") + connect[6] + L".xls"), connect, db), S_OK);
    ASSERT_EQ(create(db.p, L"T", {{L"S", dbText}, {L"M", dbMemo}, {L"D", dbDouble}, {L"I", dbInteger},
                                  {L"W", dbDate}, {L"B", dbBoolean}, {L"C", dbCurrency}}),
              S_OK);
    ref<DAORecordset> append;
    ASSERT_EQ(recordset(db.p, L"SELECT * FROM [T]", dbAppendOnly, append), S_OK);
    VARIANT_BOOL eof = 0;
    append->get_EOF(&eof);
    EXPECT_TRUE(eof) << "an append-only recordset shows no records";
    EXPECT_EQ(add(append.p, {arg(L"Ж ß"), arg(std::wstring(255, L'm')), arg(-2.5), arg(42), arg::date(40543.5),
                             arg::boolean(true), arg(1.25)}),
              S_OK);
    EXPECT_EQ(add(append.p, {arg::null(), arg(L""), arg(L"12.5"), arg::null(), arg(L"2010-12-31 10:20:30"),
                             arg::boolean(false), arg::null()}),
              S_OK);

    ref<DAORecordset> read;
    ASSERT_EQ(recordset(db.p, L"T", dbReadOnly, read), S_OK);
    LONG count = 0;
    read->get_RecordCount(&count);
    EXPECT_EQ(count, 2);
    VARIANT v = value_of(read.p, 0);
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(std::wstring(v.bstrVal), L"Ж ß");
    VariantClear(&v);
    v = value_of(read.p, 1);
    EXPECT_EQ(SysStringLen(v.bstrVal), 255u);
    VariantClear(&v);
    v = value_of(read.p, 2);
    EXPECT_EQ(v.vt, VT_R8);
    EXPECT_EQ(v.dblVal, -2.5);
    v = value_of(read.p, 3);
    EXPECT_EQ(v.vt, VT_I2);
    EXPECT_EQ(v.iVal, 42);
    v = value_of(read.p, 4);
    EXPECT_EQ(v.vt, VT_DATE);
    EXPECT_EQ(v.date, 40543.5);
    v = value_of(read.p, 5);
    EXPECT_EQ(v.vt, VT_BOOL);
    EXPECT_EQ(v.boolVal, VARIANT_TRUE);
    v = value_of(read.p, 6);
    EXPECT_EQ(v.vt, VT_CY);
    EXPECT_EQ(v.cyVal.int64, 12500);
    EXPECT_EQ(read->AddNew(), dao_hresult(3027));

    ASSERT_EQ(read->MoveNext(), S_OK);
    EXPECT_EQ(value_of(read.p, 0).vt, VT_NULL);
    v = value_of(read.p, 1);
    EXPECT_EQ(v.vt, VT_BSTR) << "an empty text is a value, not a null";
    EXPECT_EQ(SysStringLen(v.bstrVal), 0u);
    VariantClear(&v);
    EXPECT_EQ(value_of(read.p, 2).dblVal, 12.5);
    v = value_of(read.p, 4);
    EXPECT_NEAR(v.date, 40543.43090277778, 1e-9);
    ASSERT_EQ(read->MoveNext(), S_OK);
    read->get_EOF(&eof);
    EXPECT_TRUE(eof);
    EXPECT_EQ(read->MoveNext(), dao_hresult(3021));
    EXPECT_EQ(read->MovePrevious(), S_OK);
    EXPECT_EQ(read->MovePrevious(), S_OK);
    EXPECT_EQ(read->MovePrevious(), S_OK);
    VARIANT_BOOL bof = 0;
    read->get_BOF(&bof);
    EXPECT_TRUE(bof);
  }
}

TEST_F(Isam, ValuesASheetCannotHoldAreRefused) {
  struct {
    const wchar_t* connect;
    int type;
    arg value;
    LONG error;
  } cases[] = {
      {L"Excel 5.0;", dbMemo, arg(std::wstring(255, L'x')), 0},
      {L"Excel 5.0;", dbMemo, arg(std::wstring(256, L'x')), 3047},
      {L"Excel 8.0;", dbMemo, arg(std::wstring(32767, L'x')), 0},
      {L"Excel 8.0;", dbMemo, arg(std::wstring(32768, L'x')), 3047},
      {L"Excel 8.0;", dbMemo, arg(std::wstring(32766, L'x') + L"😀"), 3047},  // two UTF-16 units
      {L"Excel 8.0;", dbDate, arg::date(1.5), 3349},                           // 1899-12-31
      {L"Excel 8.0;", dbDate, arg::date(-3), 3349},
      {L"Excel 8.0;", dbDate, arg::date(0.25), 3349},                          // 1899-12-30, or a time alone
      {L"Excel 8.0;", dbDate, arg::date(2), 0},                                // 1900-01-01
      {L"Excel 8.0;", dbDate, arg(L"not a date"), 3421},
      {L"Excel 8.0;", dbDouble, arg(L"abc"), 3421},
      {L"Excel 8.0;", dbDouble, arg(std::nan("")), 0},                         // written as the text Nan
      {L"Excel 8.0;", dbDate, arg::date(std::nan("")), 3349},
      {L"Excel 8.0;", dbBoolean, arg(L"perhaps"), 3421},
  };
  int n = 0;
  for (const auto& c : cases) {
    ref<DAODatabase> db;
    ASSERT_EQ(open(dir.file(L"v" + std::to_wstring(n++) + L".xls"), c.connect, db), S_OK);
    ASSERT_EQ(create(db.p, L"T", {{L"F", c.type}}), S_OK);
    ref<DAORecordset> records;
    ASSERT_EQ(recordset(db.p, L"T", dbAppendOnly, records), S_OK);
    ASSERT_EQ(records->AddNew(), S_OK);
    HRESULT hr = records->put_Collect(arg(L"f"), c.value);
    EXPECT_EQ(hr, c.error ? dao_hresult(c.error) : S_OK) << n;
    if (c.error) {
      EXPECT_EQ(last_error(), c.error) << n;
    }
  }
  std::wstring text;
  ref<DAODatabase> db;
  ASSERT_EQ(open(dir.file(L"w.xls"), L"Excel 5.0;", db), S_OK);
  ASSERT_EQ(create(db.p, L"T", {{L"F", dbMemo}}), S_OK);
  ref<DAORecordset> records;
  ASSERT_EQ(recordset(db.p, L"T", dbAppendOnly, records), S_OK);
  EXPECT_EQ(records->put_Collect(arg(0), arg(L"x")), dao_hresult(3020));
  EXPECT_EQ(records->Update(dbUpdateRegular, VARIANT_FALSE), dao_hresult(3020));
  records->AddNew();
  EXPECT_EQ(records->put_Collect(arg(L"G"), arg(L"x")), dao_hresult(3265));
  EXPECT_EQ(records->put_Collect(arg(0), arg(std::wstring(256, L'x'))), dao_hresult(3047));
  EXPECT_EQ(last_error(&text), 3047);
  EXPECT_EQ(text, L"Record is too large.");
}

TEST_F(Isam, DefinitionsASheetCannotHoldAreRefused) {
  ref<DAODatabase> db;
  ASSERT_EQ(open(dir.file(L"d.xls"), L"Excel 8.0;", db), S_OK);
  ASSERT_EQ(create(db.p, L"Taken", {{L"A", dbText}}), S_OK);
  struct {
    const wchar_t* table;
    std::initializer_list<std::pair<const wchar_t*, int>> fields;
    LONG error;
  } cases[] = {
      {L"a/b", {{L"A", dbText}}, 3125},
      {L"This name is longer than 31 chars", {{L"A", dbText}}, 3125},
      {L"TAKEN", {{L"A", dbText}}, 3010},
      {L"Empty", {}, 3264},
      {L"Twice", {{L"A", dbText}, {L"a", dbLong}}, 3191},
      {L"Bytes", {{L"A", dbLongBinary}}, 3259},
      {L"Dotted", {{L"A.B", dbText}}, 3125},
      // Names count UTF-16 units: 16 characters of two units each are too
      // long for a title, 33 too long for a field.
      {L"😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀", {{L"A", dbText}}, 3125},
      {L"Field", {{L"😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀", dbText}}, 3125},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(create(db.p, c.table, c.fields), dao_hresult(c.error)) << c.table;
    EXPECT_EQ(last_error(), c.error) << c.table;
  }
  ref<_DAOTableDef> wide;
  ASSERT_EQ(db->CreateTableDef(arg(L"Wide"), arg(0), arg(L""), arg(L""), wide.out()), S_OK);
  ref<DAOFields> list;
  wide->get_Fields(list.out());
  for (int i = 0; i < 256; ++i) {
    ref<_DAOField> field;
    wide->CreateField(arg(L"F" + std::to_wstring(i)), arg(static_cast<int>(dbLong)), arg(0), field.out());
    EXPECT_EQ(list->Append(field.p), i < 255 ? S_OK : dao_hresult(3190)) << i;
  }
  ref<DAOTableDefs> tables;
  db->get_TableDefs(tables.out());
  EXPECT_EQ(tables->Append(wide.p), S_OK) << "255 fields fit a sheet";
  EXPECT_EQ(tables->Append(wide.p), dao_hresult(3367)) << "appended once";
  SHORT count = 0;
  tables->get_Count(&count);
  EXPECT_EQ(count, 2);
}

TEST_F(Isam, IndexesTakeEachFieldAndNameOnce) {
  ref<DAODatabase> db;
  ASSERT_EQ(open(dir.file(L"i.xls"), L"Excel 8.0;", db), S_OK);
  ref<_DAOTableDef> table;
  ASSERT_EQ(db->CreateTableDef(arg(L"T"), arg(0), arg(L""), arg(L""), table.out()), S_OK);
  ref<DAOIndexes> indexes;
  ASSERT_EQ(table->get_Indexes(indexes.out()), S_OK);
  ref<_DAOIndex> index;
  ASSERT_EQ(table->CreateIndex(arg(L"PK_ORDERS"), index.out()), S_OK);
  EXPECT_EQ(indexes->Append(index.p), dao_hresult(3264)) << "an index without fields";
  ref<DAOIndexFields> fields;
  ASSERT_EQ(index->get_Fields(fields.out()), S_OK);
  // Names longer than a few characters, as Oracle columns are.
  const struct {
    const wchar_t* name;
    HRESULT result;
  } appended[] = {{L"CUSTOMER_NUMBER", S_OK}, {L"ORDER_DATE_AND_TIME", S_OK}, {L"customer_number", dao_hresult(3367)}};
  for (const auto& a : appended) {
    ref<_DAOField> field;
    ASSERT_EQ(index->CreateField(arg(a.name), arg(static_cast<int>(dbLong)), arg(0), field.out()), S_OK);
    EXPECT_EQ(fields->Append(field.p), a.result) << a.name;
  }
  SHORT count = 0;
  fields->get_Count(&count);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(indexes->Append(index.p), S_OK);
  ref<_DAOIndex> again;
  ASSERT_EQ(table->CreateIndex(arg(L"pk_orders"), again.out()), S_OK);
  ref<DAOIndexFields> again_fields;
  again->get_Fields(again_fields.out());
  ref<_DAOField> field;
  again->CreateField(arg(L"ORDER_DATE_AND_TIME"), arg(static_cast<int>(dbLong)), arg(0), field.out());
  ASSERT_EQ(again_fields->Append(field.p), S_OK);
  EXPECT_EQ(indexes->Append(again.p), dao_hresult(3367)) << "an index name is taken once";
}

TEST_F(Isam, ASheetHoldsAsManyRecordsAsItsVersionHasRows) {
  ref<DAODatabase> db;
  ASSERT_EQ(open(dir.file(L"long.xls"), L"Excel 5.0;", db), S_OK);
  ASSERT_EQ(create(db.p, L"Long", {{L"N", dbLong}}), S_OK);
  ref<DAORecordset> records;
  ASSERT_EQ(recordset(db.p, L"Long", dbAppendOnly, records), S_OK);
  for (int i = 0; i < 16383; ++i) ASSERT_EQ(add(records.p, {arg(i)}), S_OK) << i;
  std::wstring text;
  EXPECT_EQ(add(records.p, {arg(1)}), dao_hresult(3434));
  EXPECT_EQ(last_error(&text), 3434);
  EXPECT_NE(text.find(L"'Long'"), std::wstring::npos) << text;
}

TEST_F(Isam, StatementsTheDriverRuns) {
  struct {
    const wchar_t* sql;
    bool parsed;
    jet_query::kind_t kind;
    const wchar_t* table;
  } cases[] = {
      {L"SELECT * FROM [My Sheet]", true, jet_query::all, L"My Sheet"},
      {L"select *\nfrom T;", true, jet_query::all, L"T"},
      {L"select count(*) from (SELECT * FROM [T])", true, jet_query::count, L"T"},
      {L"SELECT COUNT(*) FROM (SELECT * FROM T) AS x", true, jet_query::count, L"T"},
      {L"SELECT COUNT(*) FROM T", true, jet_query::count, L"T"},
      {L"SELECT A FROM T", false, jet_query::all, L""},
      {L"SELECT * FROM T WHERE A = 1", false, jet_query::all, L""},
      {L"DELETE FROM T", false, jet_query::all, L""},
      {L"SELECT * FROM []", false, jet_query::all, L""},
  };
  for (const auto& c : cases) {
    jet_query q;
    ASSERT_EQ(jet_parse_query(c.sql, q), c.parsed) << c.sql;
    if (!c.parsed) continue;
    EXPECT_EQ(q.kind, c.kind) << c.sql;
    EXPECT_EQ(q.table, c.table) << c.sql;
  }

  ref<DAODatabase> db;
  ASSERT_EQ(open(dir.file(L"q.xls"), L"Excel 8.0;", db), S_OK);
  ASSERT_EQ(create(db.p, L"T", {{L"N", dbLong}}), S_OK);
  ref<DAORecordset> records;
  ASSERT_EQ(recordset(db.p, L"T", dbAppendOnly, records), S_OK);
  for (int i = 0; i < 3; ++i) add(records.p, {arg(i)});
  ref<_DAOQueryDef> query;
  EXPECT_EQ(db->CreateQueryDef(arg(L""), arg(L"SELECT N FROM T"), query.out()), dao_hresult(3251));
  ASSERT_EQ(db->CreateQueryDef(arg(L""), arg(L"select count(*) from (SELECT * FROM [T])"), query.out()), S_OK);
  ref<DAORecordset> counted;
  ASSERT_EQ(query->OpenRecordset(arg(2), arg(4), arg(), counted.out()), S_OK);
  VARIANT v = value_of(counted.p, 0);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 3);
  ASSERT_EQ(db->CreateQueryDef(arg(L""), arg(L"SELECT * FROM [Nothing]"), query.out()), S_OK);
  EXPECT_EQ(query->OpenRecordset(arg(2), arg(8), arg(), counted.out()), dao_hresult(3078));
  ref<DAOQueryDefs> saved;
  ASSERT_EQ(db->get_QueryDefs(saved.out()), S_OK);
  SHORT n = 1;
  saved->get_Count(&n);
  EXPECT_EQ(n, 0) << "a workbook keeps no queries";
}

TEST_F(Isam, AClosedDatabaseIsNoLongerSet) {
  ref<DAODatabase> db;
  ASSERT_EQ(open(dir.file(L"c.xls"), L"Excel 8.0;", db), S_OK);
  ref<DAOTableDefs> tables;
  ASSERT_EQ(db->get_TableDefs(tables.out()), S_OK);
  EXPECT_EQ(db->Close(), S_OK) << "a workbook without sheets is not written";
  SHORT count;
  EXPECT_EQ(tables->get_Count(&count), dao_hresult(3420));
  EXPECT_EQ(db->Close(), dao_hresult(3420));

  // The workbook the engine kept, opened again, is another database: the
  // objects of the first stay closed.
  const std::wstring kept = dir.file(L"kept.xls");
  ref<DAODatabase> first;
  ASSERT_EQ(open(kept, L"Excel 8.0;", first), S_OK);
  ASSERT_EQ(create(first.p, L"T", {{L"N", dbLong}}), S_OK);
  ref<DAORecordset> records;
  ASSERT_EQ(recordset(first.p, L"T", dbAppendOnly, records), S_OK);
  ref<DAOTableDefs> first_tables;
  ASSERT_EQ(first->get_TableDefs(first_tables.out()), S_OK);
  ASSERT_EQ(first->Close(), S_OK);
  ref<DAODatabase> second;
  ASSERT_EQ(open(kept, L"Excel 8.0;", second, true), S_OK);
  EXPECT_EQ(records->AddNew(), dao_hresult(3420));
  EXPECT_EQ(first_tables->get_Count(&count), dao_hresult(3420));
  EXPECT_EQ(first->Close(), dao_hresult(3420));
  ref<DAORecordset> read;
  ASSERT_EQ(recordset(second.p, L"T", dbReadOnly, read), S_OK);
  EXPECT_EQ(read->AddNew(), dao_hresult(3027));
}

TEST(IsamErrors, NoExceptionLeavesAMethod) {
  jet_session session;
  struct {
    std::function<HRESULT()> body;
    LONG number;
    const wchar_t* says;
  } cases[] = {
      {[]() -> HRESULT { throw std::logic_error("date outside the worksheet range"); }, 3040,
       L"The workbook driver failed: date outside the worksheet range."},
      {[]() -> HRESULT { throw std::bad_alloc(); }, 3035, L"System resource exceeded."},
      {[]() -> HRESULT { throw 7; }, 3040, L"The workbook driver failed."},
      {[]() -> HRESULT { return S_FALSE; }, 0, L""},
  };
  for (const auto& c : cases) {
    session.errors.clear();
    HRESULT hr = jet_guard(session, jet_error::write_failed, c.body);
    EXPECT_EQ(hr, c.number ? dao_hresult(c.number) : S_FALSE);
    if (!c.number) continue;
    ASSERT_EQ(session.errors.size(), 1u);
    EXPECT_EQ(session.errors[0].number, c.number);
    EXPECT_EQ(session.errors[0].description, c.says);
  }
}

TEST(IsamColumns, SheetsReadFromAFileNameAndTypeTheirFields) {
  biff_book book;
  biff_sheet sheet;
  sheet.name = L"S";
  biff_book::put(sheet, 0, 0, book.text_cell(L"NAME"));
  biff_book::put(sheet, 0, 1, book.text_cell(L"name"));
  biff_book::put(sheet, 0, 3, biff_book::number_cell(2010));
  biff_book::put(sheet, 1, 1, biff_book::number_cell(1));
  biff_book::put(sheet, 2, 0, book.text_cell(std::wstring(256, L'x')));
  biff_book::put(sheet, 1, 2, biff_book::date_cell(40000));
  biff_book::put(sheet, 1, 3, biff_book::boolean_cell(true));
  biff_book::put(sheet, 1, 4, book.text_cell(L"short"));
  auto columns = jet_infer_columns(book, sheet);
  ASSERT_EQ(columns.size(), 5u);
  struct {
    const wchar_t* name;
    SHORT type;
  } expected[] = {{L"NAME", dbMemo}, {L"F2", dbDouble}, {L"F3", dbDate}, {L"2010", dbBoolean}, {L"F5", dbText}};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(columns[i]->name, expected[i].name) << i;
    EXPECT_EQ(columns[i]->type, expected[i].type) << i;
  }
}

}  // namespace

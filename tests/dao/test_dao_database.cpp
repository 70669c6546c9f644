#include "OLE/ole_exception.h"
#include "dao/dao_bstr.h"
#include "dao/dao_database.h"
#include "dao/dao_engine.h"
#include "dao/dao_exception.h"
#include "dao/dao_field.h"
#include "dao/dao_initializers.h"
#include "dao/dao_recordset.h"
#include "dao_test_support.h"
#include "jet/jet_engine.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

std::unique_ptr<t_ftd> column(const wchar_t* name, VARTYPE type, int size = 0, bool not_null = false) {
  return std::make_unique<t_ftd>(size, name, type, not_null, 0, ole_variant(), 0, L"");
}

std::unique_ptr<udb_field> field(const wchar_t* name, const ole_variant& value) {
  return std::make_unique<udb_field>(name, 0, value, false, 0);
}

class DaoDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    jet_register_dbengine();
    ASSERT_TRUE(engine.set_version_if(0));
  }
  // A new workbook that is never written: its folder does not take files.
  std::unique_ptr<dao_database> workbook(const wchar_t* connect = L"Excel 8.0;") {
    return engine.create_dao_src(L"/proc/qm_dao_test.xls", connect);
  }
  dao_engine engine{false};
};

TEST_F(DaoDatabase, RecordsReachTheSheetWithTheirColumnsTypes) {
  auto db = workbook();
  udb_schema schema(true);
  schema.push_back(column(L"ID", VT_I2));
  schema.push_back(column(L"NAME", VT_BSTR, 10));
  schema.push_back(column(L"WHEN", VT_DATE));
  schema.push_back(column(L"SAL", VT_DECIMAL));
  schema.push_back(column(L"BIG", VT_I8));
  schema.push_back(column(L"NOTE", VT_BSTR, 0, true));
  schema.push_back(column(L"A.B", VT_I4));
  schema.push_back(column(L"A_B", VT_I4));
  auto table = db->create_table(L"EMP", schema, udb_indexes());
  ASSERT_TRUE(table);
  std::vector<std::wstring> names;
  for (const auto& c : table->schema.fields) names.push_back(c->name);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"ID", L"NAME", L"WHEN", L"SAL", L"BIG", L"NOTE", L"A_B00000", L"A_B"}))
      << "two names alike once made safe stay two";
  EXPECT_TRUE(table->is_eof());

  SYSTEMTIME when{2001, 3, 0, 12, 10, 20, 30, 0};
  DECIMAL sal{};
  VarDecFromStr(L"3450.5", 0x409, 0, &sal);
  udb_record record;
  record.push_back(field(L"ID", ole_variant(short(7101))));
  record.push_back(field(L"NAME", ole_variant(std::wstring(L"ÇELIK"))));
  record.push_back(field(L"WHEN", ole_variant(when)));
  record.push_back(field(L"SAL", ole_variant(sal)));
  record.push_back(field(L"BIG", ole_variant(9007199254740993LL)));
  record.push_back(field(L"NOTE", ole_variant()));
  record.push_back(field(L"A.B", ole_variant(1)));
  record.push_back(field(L"A_B", ole_variant(2)));
  table->append_record(record);
  EXPECT_EQ(table->record_count, 1);

  // DAO's null date is 1899-12-30, on which no worksheet date falls: a
  // time alone takes the date-range road.
  SYSTEMTIME null_date{0, 0, 0, 0, 10, 20, 30, 0};
  record[2] = udb_field(L"WHEN", 0, ole_variant(null_date), false, 0);
  try {
    table->append_record(record);
    ADD_FAILURE();
  } catch (const dao_exception& e) {
    EXPECT_EQ(e.code, 0x10D15);
  }
  EXPECT_EQ(table->record_count, 1);

  udb_record narrow;
  narrow.push_back(field(L"ID", ole_variant(short(1))));
  try {
    table->append_record(narrow);
    ADD_FAILURE();
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.level, 0);
    EXPECT_EQ(e.message, "The structures of data source does not conform to the destination table.");
  }
  table.reset();

  auto read = db->get_table(L"EMP", 1);
  ASSERT_EQ(read->record_count, 1);
  read->first();
  ASSERT_FALSE(read->is_eof());
  udb_record* row = read->get_item();
  ASSERT_EQ(row->size(), 8u);
  EXPECT_EQ((*row)[0].to_long(), 7101);
  EXPECT_EQ((*row)[1].to_wstring(), L"ÇELIK");
  EXPECT_EQ((*row)[2].to_wstring(), L"2001-03-12 10:20:30");
  EXPECT_EQ((*row)[3].to_double(), 3450.5);
  EXPECT_EQ((*row)[4].to_double(), 9007199254740992.0) << "a 64-bit integer goes as a double";
  EXPECT_EQ((*row)[5].get_type(), VT_BSTR) << "a not-null text gets the empty text";
  EXPECT_EQ((*row)[5].to_wstring(), L"");
  EXPECT_EQ((*row)[6].to_long(), 1);
  EXPECT_EQ((*row)[7].to_long(), 2);
  read->next();
  EXPECT_TRUE(read->is_eof());
}

TEST_F(DaoDatabase, ValuesTheSheetRefuses) {
  auto db = workbook(L"Excel 5.0;");
  udb_schema schema(true);
  schema.push_back(column(L"T", VT_BSTR));
  schema.push_back(column(L"D", VT_DATE));
  auto table = db->create_table(L"S", schema, udb_indexes());
  udb_record record;
  record.push_back(field(L"T", ole_variant(std::wstring(300, L'x'))));
  record.push_back(field(L"D", ole_variant(SYSTEMTIME{2009, 7, 0, 6, 0, 0, 0, 0})));
  table->append_record(record);  // the long text is cut to what a cell holds, the row is written

  SYSTEMTIME early{1800, 1, 0, 1, 0, 0, 0, 0};
  udb_record old;
  old.push_back(field(L"T", ole_variant("x")));
  old.push_back(field(L"D", ole_variant(early)));
  try {
    table->append_record(old);
    ADD_FAILURE();
  } catch (const dao_exception& e) {
    EXPECT_EQ(e.code, 0x10D15) << "the date-range error";
  }
  table.reset();
  auto read = db->get_table(L"S", 1);
  EXPECT_EQ(read->record_count, 1);
  udb_record* row = read->get_item();
  EXPECT_EQ((*row)[0].to_wstring(), std::wstring(255, L'x'));
  EXPECT_EQ((*row)[1].to_wstring().substr(0, 10), L"2009-07-06");

  // Excel 2000 counts UTF-16 units: the head of a text of emoji that fits
  // holds whole characters.
  auto wide = workbook(L"Excel 8.0;");
  udb_schema texts(true);
  texts.push_back(column(L"T", VT_BSTR));
  auto sheet = wide->create_table(L"S", texts, udb_indexes());
  std::wstring emoji;
  for (int i = 0; i < 20000; ++i) emoji += L"😀";
  udb_record long_text;
  long_text.push_back(field(L"T", ole_variant(emoji)));
  sheet->append_record(long_text);
  sheet.reset();
  auto back = wide->get_table(L"S", 1);
  EXPECT_EQ((*back->get_item())[0].to_wstring(), emoji.substr(0, 16383));
}

TEST_F(DaoDatabase, TablesOfAnOpenedWorkbook) {
  auto made = workbook();
  udb_schema schema(true);
  schema.push_back(column(L"A", VT_I4));
  made->create_table(L"T", schema, udb_indexes());
  EXPECT_THROW(made->create_table(L"t", schema, udb_indexes()), tk_mail_assertion) << "mode 114 refuses";
  // Asked of the workbook by name, before the tables are listed and after.
  EXPECT_TRUE(made->is_table_exist(L"t"));
  EXPECT_FALSE(made->is_table_exist(L"U"));
  EXPECT_EQ(made->get_tables(), std::vector<std::wstring>{L"T"});
  EXPECT_FALSE(made->is_table_exist(L"U"));

  auto opened = engine.open_dao_src(L"/proc/qm_dao_test2.xls", L"Excel 8.0;", 8);
  opened->create_table(L"T", schema, udb_indexes());
  auto again = opened->create_table(L"t", schema, udb_indexes());
  ASSERT_TRUE(again) << "mode 40 hands the sheet that is there";
  EXPECT_EQ(opened->get_tables().size(), 1u);
  EXPECT_TRUE(opened->test_query(L"SELECT * FROM [T]"));
  EXPECT_FALSE(opened->test_query(L"SELECT A FROM T WHERE A > 1"));
  EXPECT_FALSE(opened->test_query(L"SELECT * FROM [Nothing]"));
  auto query = opened->get_query(L"Q", L"SELECT * FROM [T]", 1);
  EXPECT_EQ(query->record_count, 0);
  EXPECT_EQ(query->schema.size(), 1u);
  query.reset();
  again.reset();
  EXPECT_TRUE(opened->delete_tab(L"T"));
  EXPECT_TRUE(opened->get_tables().empty());
  EXPECT_THROW(opened->delete_tab(L"T"), tk_mail_assertion);
}

TEST_F(DaoDatabase, IndexesTheDriverKeeps) {
  auto db = workbook();
  udb_schema schema(true);
  schema.push_back(column(L"ID", VT_I4));
  schema.push_back(column(L"LONG TEXT", VT_BSTR, 300));
  schema.push_back(column(L"A.B", VT_I4));
  udb_indexes indexes;
  indexes.push_back(udb_index(L"ON_TEXT", false, false, {L"LONG TEXT"}));
  indexes.push_back(udb_index(L"ON.AB", true, false, {L"A.B"}));
  for (int i = 0; i < 40; ++i) indexes.push_back(udb_index(L"I" + std::to_wstring(i), false, false, {L"ID"}));
  auto table = db->create_table(L"T", schema, indexes);
  ASSERT_TRUE(table);
  ASSERT_EQ(table->indexes.size(), 32u) << "the text index is left out, 32 are kept";
  EXPECT_EQ(table->indexes[0].name, L"ON_AB");
  EXPECT_EQ(table->indexes[0].fields, std::vector<std::wstring>{L"A_B"});
  EXPECT_TRUE(table->indexes[0].unique);
}

TEST_F(DaoDatabase, AFailedForeignKeyReadIsReportedAndOpeningGoesOn) {
  error_handler errors(dao_error_count, dao_error_table);
  handled.clear();
  dao_bstr path(std::wstring(L"/proc/qm_dao_keys.xls")), connect(std::wstring(L"Excel 8.0;"));
  DAODatabase* raw = nullptr;
  ASSERT_EQ(engine.dbengine()->OpenDatabase(path, dao_arg_bool(false), dao_arg_bool(false), dao_arg_text(connect),
                                            &raw),
            S_OK);
  // Mode 0 reads the foreign keys, whose query the workbook driver does not run.
  dao_database db(L"/proc/qm_dao_keys.xls", raw, 0);
  raw->Release();
  EXPECT_TRUE(db.relationships.empty());
  ASSERT_EQ(handled.size(), 1u);
  EXPECT_EQ(handled[0].rfind("/proc/qm_dao_keys.xls: The workbook driver runs no such statement", 0), 0u) << handled[0];
  // The path stands before that message only.
  EXPECT_EQ(errors.prefix, "");
}

TEST(DaoTypes, FieldTypesBothWays) {
  struct {
    VARTYPE vt;
    int size;
    int dao;
  } native[] = {
      {VT_I2, 0, 3},    {VT_I1, 0, 3},      {VT_I4, 0, 4},      {VT_UI2, 0, 4},    {VT_R4, 0, 6},
      {VT_R8, 0, 7},    {VT_DECIMAL, 0, 7}, {VT_I8, 0, 7},      {VT_CY, 0, 5},     {VT_DATE, 0, 8},
      {VT_BSTR, 0, 12}, {VT_BSTR, 255, 10}, {VT_BSTR, 300, 12}, {VT_BOOL, 0, 1},   {VT_UI1, 0, 2},
      {VT_BLOB, 16, 9}, {VT_BLOB, 0, 11},   {0x2011, 300, 11},
  };
  for (const auto& c : native) {
    t_ftd ftd(c.size, L"C", c.vt, false, 0, ole_variant(), 0, L"");
    EXPECT_EQ(dao_field::get_native_type(ftd), c.dao) << c.vt << "/" << c.size;
  }
  t_ftd odd(0, L"C", VT_DISPATCH, false, 0, ole_variant(), 0, L"");
  EXPECT_THROW(dao_field::get_native_type(odd), ole_type_exception);
  struct {
    int dao;
    VARTYPE vt;
  } back[] = {{1, VT_BOOL}, {2, VT_UI1}, {3, VT_I2},   {4, VT_I4},   {5, VT_CY},    {6, VT_R4},  {7, VT_R8},
              {20, VT_R8},  {8, VT_DATE}, {22, VT_DATE}, {10, VT_BSTR}, {12, VT_BSTR}, {9, VT_BLOB}, {15, VT_BLOB}};
  for (const auto& c : back) EXPECT_EQ(dao_field::get_vartype(c.dao), c.vt) << c.dao;
}

TEST(DaoTypes, DefaultTextsAreQuoted) {
  struct {
    const wchar_t* text;
    const wchar_t* quoted;
  } cases[] = {{L"it's", L"\"it's\""}, {L"say \"hi\"", L"'say \"hi\"'"}, {L"it's \"x\"", L"\"it's 'x'\""}};
  for (const auto& c : cases) EXPECT_EQ(dao_schema_initializer::quote_def_value(c.text), c.quoted);
}

TEST(DaoTypes, ValuesDaoDoesNotTake) {
  struct {
    ole_variant value;
    VARTYPE type;
    const char* text;
  } cases[] = {
      {ole_variant(9007199254740993LL), VT_R8, "9.0071992547409920e+015"},
      {ole_variant(static_cast<unsigned short>(60000)), VT_I4, "60000"},
      {ole_variant(static_cast<signed char>(-5)), VT_I2, "-5"},
      {ole_variant(7), VT_EMPTY, ""},
  };
  for (const auto& c : cases) {
    udb_field f(L"F", 0, c.value, false, 0);
    ole_variant out = dao_get_valid_variant(f);
    EXPECT_EQ(out.var.vt, c.type);
    EXPECT_EQ(out.to_string(), c.text);
  }
}

TEST(DaoViews, AccessSqlIsRewrittenBeforeParsing) {
  EXPECT_EQ(dao_rewrite_access_sql(L"SELECT IIf(a<>1, Left$(b, 2), Nz(c)) AS x, [t]![c], ascii(d), Lenient FROM t"),
            L"SELECT if(a!=1, left(b, 2), ifnull(c)) AS x, [t].[c], ascii(d), Lenient FROM t");
  EXPECT_EQ(dao_rewrite_access_sql(L"SELECT len\tlen(x) FROM ucase"), L"SELECT length\tlength(x) FROM upper");
}

}  // namespace

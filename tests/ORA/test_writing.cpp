// The writing side against ocilite: tables made from UDB descriptions,
// rows written in batches and read back through the read side.
#include "ORA/ora_exception.h"
#include "ORA/ora_initializers.h"
#include "ORA/ora_lob_insert.h"
#include "ORA/ora_table.h"
#include "ORA/ora_validator.h"
#include "OLE/ole_date.h"
#include "TK/tk_exception.h"
#include "ora_write_support.h"

#include <algorithm>
#include <cmath>

namespace {

using ora_writing = ora_test;

ora_table& as_table(udb_recordset& rs) { return dynamic_cast<ora_table&>(rs); }

// One column of every type the writer declares, a renamed column and a
// counter.
udb_schema every_type() {
  udb_schema s;
  s.push_back(column(L"KEY", VT_I4, 0, 0, true));
  s.push_back(column(L"FLAG", VT_BOOL));
  s.push_back(column(L"TINY", VT_I1));
  s.push_back(column(L"SMALL", VT_I2));
  s.push_back(column(L"BYTE", VT_UI1));
  s.push_back(column(L"WORD", VT_UI2));
  s.push_back(column(L"FLOAT", VT_R4));
  s.push_back(column(L"REAL", VT_R8));
  s.push_back(column(L"MONEY", VT_CY));
  s.push_back(column(L"BIG", VT_I8));
  s.push_back(column(L"DEC", VT_DECIMAL, 0, 12 << 8 | 2));
  s.push_back(column(L"DAY", VT_DATE));
  s.push_back(column(L"STAMP", VT_DATE, 0, 1));
  s.push_back(column(L"NAME", VT_BSTR, 40, 0, false, 0, ole_variant(std::wstring(L"n/a"))));
  s.push_back(column(L"NOTE", VT_BSTR, 0, 0, true, 0, ole_variant(std::wstring(L"none"))));
  s.push_back(column(L"LONGTEXT", VT_BSTR, 0, 10));
  s.push_back(column(L"RAWID", VT_BLOB, 16));
  s.push_back(column(L"PIC", VT_BLOB, 0));
  s.push_back(column(L"2NDVALUE", VT_I4, 0, 0, false, 0, ole_variant(7)));
  s.push_back(column(L"COUNTER", VT_I4, 0, 0, true, 1, ole_variant(1)));
  s.push_back(column(L"HUGE", VT_DECIMAL, 0, 38 << 8));
  return s;
}

udb_indexes every_type_keys() {
  udb_indexes k;
  k.push_back(udb_index(L"EVERY_PK", true, true, {L"KEY"}));
  k.push_back(udb_index(L"EVERY_NAME", true, false, {L"NAME"}));
  k.push_back(udb_index(L"EVERY_DAY", false, false, {L"DAY", L"2NDVALUE"}));
  k.push_back(udb_index(L"EVERY_KEY2", true, false, {L"KEY"}));
  k.push_back(udb_index(L"EVERY_NOTE", false, false, {L"NOTE"}));
  return k;
}

SYSTEMTIME when(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(hour);
  st.wMinute = static_cast<WORD>(minute);
  st.wSecond = static_cast<WORD>(second);
  return st;
}

bool is_null_row(int i) { return i % 7 == 3; }
bool has_counter(int i) { return i % 10 == 5 && !is_null_row(i); }
bool is_big(int i) { return i % 50 == 0; }

std::wstring note_of(int i) {
  if (!is_big(i)) return L"note " + std::to_wstring(i);
  // More UTF-8 bytes than one read piece holds.
  std::wstring text;
  while (text.size() < 30000) text += L"Ünïcödé " + std::to_wstring(i) + L" ";
  return text;
}

std::wstring long_of(int i) { return std::wstring(static_cast<std::size_t>(i % 5 + 1) * (i == 0 ? 50000 : 3), L'L') + L"!"; }

std::vector<unsigned char> raw_of(int i) {
  std::vector<unsigned char> b(static_cast<std::size_t>(i % 3 == 0 ? 16 : 3));
  for (std::size_t k = 0; k < b.size(); ++k) b[k] = static_cast<unsigned char>(i * 7 + static_cast<int>(k));
  return b;
}

std::vector<unsigned char> pic_of(int i) {
  std::vector<unsigned char> b(is_big(i) ? 40000 : 5);
  for (std::size_t k = 0; k < b.size(); ++k) b[k] = static_cast<unsigned char>(k * 31 + static_cast<std::size_t>(i));
  return b;
}

std::wstring huge_of(int i) {
  return (i % 2 ? L"-" : L"") + std::wstring(L"1234567890123456789012345678901234567") + std::to_wstring(i % 10);
}

udb_record row_of(int i) {
  record_builder r;
  bool null = is_null_row(i);
  auto maybe = [&](const ole_variant& v) { return null ? ole_variant() : v; };
  CY money{};
  money.int64 = static_cast<LONGLONG>(i) * 10000 + 1234;
  r.add(L"KEY", ole_variant(i + 1))
      .add(L"FLAG", maybe(ole_variant(i % 2 == 0)))
      .add(L"TINY", maybe(ole_variant(static_cast<signed char>(i % 100))))
      .add(L"SMALL", maybe(ole_variant(static_cast<short>(-i))))
      .add(L"BYTE", maybe(ole_variant(static_cast<unsigned char>(i % 256))))
      .add(L"WORD", maybe(ole_variant(static_cast<unsigned short>(i))))
      .add(L"FLOAT", maybe(ole_variant(static_cast<float>(i) + 0.5f)))
      .add(L"REAL", maybe(ole_variant(i * 1.25)))
      .add(L"MONEY", maybe(ole_variant(money)))
      .add(L"BIG", maybe(ole_variant(1000000000000LL + i)))
      .add(L"DEC", maybe(ole_variant::from_string(std::to_string(i) + ".25", VT_DECIMAL)))
      .add(L"DAY", maybe(ole_variant(when(2010, 5, 31))))
      .add(L"STAMP", maybe(ole_variant(when(2011, 1, 2, 3, 4, i % 60))))
      .add(L"NAME", maybe(ole_variant(L"name " + std::to_wstring(i) + L" ÅØ😀")))
      .add(L"NOTE", maybe(ole_variant(note_of(i))))
      .add(L"LONGTEXT", maybe(ole_variant(long_of(i))))
      .add(L"RAWID", maybe(bytes_value(raw_of(i))))
      .add(L"PIC", maybe(bytes_value(pic_of(i))))
      .add(L"2NDVALUE", maybe(ole_variant(i * 3)))
      .add(L"COUNTER", has_counter(i) ? ole_variant(100000 + i) : ole_variant())
      .add(L"HUGE", maybe(ole_variant(huge_of(i))));
  return std::move(r.record);
}

TEST_F(ora_writing, a_table_is_made_with_its_columns_keys_indexes_and_counter) {
  open("");
  udb_schema source = every_type();
  auto table = db->create_table(L"EVERY", source, every_type_keys());
  ASSERT_TRUE(table);
  EXPECT_TRUE(db->is_table_exist(L"EVERY"));

  EXPECT_EQ((texts{{L"KEY", L"NUMBER", L"10", L"0", L"N", L"<null>"},
                   {L"FLAG", L"NUMBER", L"3", L"0", L"Y", L"<null>"},
                   {L"TINY", L"NUMBER", L"3", L"0", L"Y", L"<null>"},
                   {L"SMALL", L"NUMBER", L"5", L"0", L"Y", L"<null>"},
                   {L"BYTE", L"NUMBER", L"5", L"0", L"Y", L"<null>"},
                   {L"WORD", L"NUMBER", L"10", L"0", L"Y", L"<null>"},
                   {L"FLOAT", L"NUMBER", L"<null>", L"<null>", L"Y", L"<null>"},
                   {L"REAL", L"NUMBER", L"<null>", L"<null>", L"Y", L"<null>"},
                   {L"MONEY", L"NUMBER", L"<null>", L"<null>", L"Y", L"<null>"},
                   {L"BIG", L"NUMBER", L"<null>", L"<null>", L"Y", L"<null>"},
                   {L"DEC", L"NUMBER", L"12", L"2", L"Y", L"<null>"},
                   {L"DAY", L"DATE", L"<null>", L"<null>", L"Y", L"<null>"},
                   {L"STAMP", L"TIMESTAMP(6)", L"<null>", L"6", L"Y", L"<null>"},
                   {L"NAME", L"NVARCHAR2", L"<null>", L"<null>", L"Y", L"'n/a'"},
                   // A LOB gets neither a default nor NOT NULL.
                   {L"NOTE", L"CLOB", L"<null>", L"<null>", L"Y", L"<null>"},
                   {L"LONGTEXT", L"LONG", L"<null>", L"<null>", L"Y", L"<null>"},
                   {L"RAWID", L"RAW", L"<null>", L"<null>", L"Y", L"<null>"},
                   {L"PIC", L"BLOB", L"<null>", L"<null>", L"Y", L"<null>"},
                   {L"A2NDVALUE", L"NUMBER", L"10", L"0", L"Y", L"7"},
                   // The counter is filled by its trigger: nullable, no default.
                   {L"COUNTER", L"NUMBER", L"10", L"0", L"Y", L"<null>"},
                   {L"HUGE", L"NUMBER", L"38", L"0", L"Y", L"<null>"}}),
            dictionary(L"select COLUMN_NAME, DATA_TYPE, DATA_PRECISION, DATA_SCALE, NULLABLE, DATA_DEFAULT from "
                       L"USER_TAB_COLUMNS where TABLE_NAME = 'EVERY' order by COLUMN_ID"));
  EXPECT_EQ((texts{{L"EVERY_0"}}), dictionary(L"select SEQUENCE_NAME from USER_SEQUENCES"));
  EXPECT_EQ((texts{{L"EVERY__TRIGGER", L"EVERY"}}), dictionary(L"select TRIGGER_NAME, TABLE_NAME from USER_TRIGGERS"));
  EXPECT_EQ(db->names_map.get_fn_mapped_name(L"EVERY", L"2NDVALUE", true), L"A2NDVALUE");

  // The key and indexes read back: the unique index equal to the key and
  // the index on a CLOB were not made.
  std::vector<std::wstring> names;
  for (const udb_index& i : table->indexes) names.push_back(i.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"EVERY_DAY", L"EVERY_NAME", L"EVERY_PK"}));
  ASSERT_GE(table->key_index, 0);
  const udb_index& key = table->indexes[static_cast<std::size_t>(table->key_index)];
  EXPECT_EQ(key.name, L"EVERY_PK");
  EXPECT_TRUE(key.primary);
  EXPECT_EQ(table->indexes.get_index(L"EVERY_DAY").fields, (std::vector<std::wstring>{L"DAY", L"A2NDVALUE"}));
  EXPECT_TRUE(table->indexes.get_index(L"EVERY_NAME").unique);

  // A second call opens the table that is there.
  auto again = db->create_table(L"EVERY", source, every_type_keys());
  EXPECT_EQ(again->schema.size(), source.size());
  EXPECT_EQ(std::count(db->table_names.begin(), db->table_names.end(), L"EVERY"), 1);
}

TEST_F(ora_writing, rows_written_in_batches_read_back_as_they_were) {
  open("");
  for (int count : {199, 200, 201}) {
    SCOPED_TRACE(count);
    std::wstring name = L"EVERY_" + std::to_wstring(count);
    {
      auto table = db->create_table(name, every_type(), every_type_keys());
      for (int i = 0; i < count; ++i) {
        udb_record r = row_of(i);
        table->append_record(r);
      }
      EXPECT_EQ(table->record_count, count);
      EXPECT_TRUE(table->save());
    }
    auto table = db->get_table(name);
    std::vector<std::vector<udb_field>> rows = read_rows(*table);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(count));
    int counter = 0;
    for (int i = 0; i < count; ++i) {
      SCOPED_TRACE(i);
      const std::vector<udb_field>& r = rows[static_cast<std::size_t>(i)];
      ASSERT_EQ(r.size(), 21u);
      EXPECT_EQ(r[0].to_wstring(), std::to_wstring(i + 1));
      EXPECT_EQ(r[19].to_long(), has_counter(i) ? 100000 + i : ++counter);
      if (is_null_row(i)) {
        for (std::size_t k : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16, 18, 20})
          EXPECT_EQ(r[k].get_type(), VT_EMPTY) << k;
        // A NULL LOB is written as the empty LOB the insert made.
        EXPECT_EQ(r[14].to_wstring(), L"");
        EXPECT_TRUE(bytes_of(r[17]).empty());
        continue;
      }
      EXPECT_EQ(r[1].to_long(), i % 2 == 0 ? -1 : 0);
      EXPECT_EQ(r[2].to_long(), i % 100);
      EXPECT_EQ(r[3].to_long(), -i);
      EXPECT_EQ(r[4].to_long(), i % 256);
      EXPECT_EQ(r[5].to_wstring(), std::to_wstring(i));
      EXPECT_DOUBLE_EQ(r[6].to_double(), i + 0.5);
      EXPECT_DOUBLE_EQ(r[7].to_double(), i * 1.25);
      EXPECT_DOUBLE_EQ(r[8].to_double(), i + 0.1234);
      EXPECT_DOUBLE_EQ(r[9].to_double(), 1e12 + i);
      EXPECT_EQ(r[10].get_type(), VT_DECIMAL);
      EXPECT_EQ(r[10].to_wstring(), std::to_wstring(i) + L".25");
      EXPECT_EQ(r[11].to_wstring(), L"2010-05-31");
      SYSTEMTIME st{};
      r[12].get_systemtime(st);
      EXPECT_EQ(st.wSecond, i % 60);
      EXPECT_EQ(st.wHour, 3);
      EXPECT_EQ(r[13].to_wstring(), L"name " + std::to_wstring(i) + L" ÅØ😀");
      EXPECT_EQ(r[14].to_wstring(), note_of(i));
      EXPECT_EQ(r[15].to_wstring(), long_of(i));
      EXPECT_EQ(bytes_of(r[16]), raw_of(i));
      EXPECT_EQ(bytes_of(r[17]), pic_of(i));
      EXPECT_EQ(r[18].to_long(), i * 3);
      EXPECT_EQ(r[20].to_wstring(), huge_of(i));
    }
  }
}

TEST_F(ora_writing, a_null_for_a_not_null_column_lifts_the_constraint) {
  open("");
  udb_schema s;
  s.push_back(column(L"ID", VT_I4, 0, 0, true));
  s.push_back(column(L"COL", VT_BSTR, 50, 0, true, 0, ole_variant(std::wstring(L"x"))));
  s.push_back(column(L"DAY", VT_DATE, 0, 0, true));
  auto table = db->create_table(L"T", s, udb_indexes());
  ASSERT_TRUE(table->schema[1].b_not_null);
  record_builder r;
  r.add(L"ID", ole_variant(1)).add(L"COL", ole_variant(std::wstring())).add(L"DAY", ole_variant(when(2010, 5, 31)));
  table->append_record(r.record);
  // Lifted at once, on the server and in the schema; the rest stays.
  EXPECT_FALSE(table->schema[1].b_not_null);
  EXPECT_TRUE(table->schema[2].b_not_null);
  EXPECT_EQ((texts{{L"ID", L"N", L"NUMBER"}, {L"COL", L"Y", L"NVARCHAR2"}, {L"DAY", L"N", L"DATE"}}),
            dictionary(L"select COLUMN_NAME, NULLABLE, DATA_TYPE from USER_TAB_COLUMNS where TABLE_NAME = 'T' "
                       L"order by COLUMN_ID"));
  table->save();
  auto back = db->get_table(L"T");
  auto rows = read_rows(*back);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1].get_type(), VT_EMPTY);
  EXPECT_EQ(rows[0][2].to_wstring(), L"2010-05-31");
}

TEST_F(ora_writing, an_update_finds_its_row_by_the_key) {
  open("");
  udb_schema s;
  s.push_back(column(L"ID", VT_I4, 0, 0, true));
  s.push_back(column(L"NAME", VT_BSTR, 20));
  s.push_back(column(L"DAY", VT_DATE));
  udb_indexes keys;
  keys.push_back(udb_index(L"T_PK", true, true, {L"ID"}));
  auto table = db->create_table(L"T", s, keys);
  for (int i = 1; i <= 3; ++i) {
    record_builder r;
    r.add(L"ID", ole_variant(i)).add(L"NAME", ole_variant(L"n" + std::to_wstring(i))).add(L"DAY", ole_variant());
    table->append_record(r.record);
  }
  table->save();
  record_builder change;
  change.add(L"ID", ole_variant(2))
      .add(L"NAME", ole_variant(std::wstring(L"O'Neil")))
      .add(L"DAY", ole_variant(when(2010, 5, 31)))
      .add(L"OTHER", ole_variant(1));
  as_table(*table).update(change.record);
  // Only key fields: the statement has no SET list, and the server says so.
  record_builder key_only;
  key_only.add(L"ID", ole_variant(3));
  EXPECT_THROW(as_table(*table).update(key_only.record), ora_exception);
  // No key fields: nothing is sent.
  record_builder no_key;
  no_key.add(L"NAME", ole_variant(std::wstring(L"everyone")));
  as_table(*table).update(no_key.record);
  EXPECT_EQ((texts{{L"1", L"n1", L"<null>"}, {L"2", L"O'Neil", L"2010-05-31"}, {L"3", L"n3", L"<null>"}}),
            dictionary(L"select \"ID\", \"NAME\", \"DAY\" from \"T\" order by \"ID\""));
}

TEST_F(ora_writing, views_and_foreign_keys_between_the_tables_made) {
  open("");
  udb_schema parent;
  parent.push_back(column(L"ID", VT_I4, 0, 0, true));
  parent.push_back(column(L"CODE", VT_BSTR, 5));
  udb_indexes parent_keys;
  parent_keys.push_back(udb_index(L"P_PK", true, true, {L"ID"}));
  udb_schema child;
  child.push_back(column(L"K", VT_I4));
  child.push_back(column(L"1PID", VT_I4));
  child.push_back(column(L"PCODE", VT_BSTR, 5));
  db->create_table(L"Parent", parent, parent_keys);
  db->create_table(L"Child", child, udb_indexes());
  db->names_map.add_tn_mapping(L"Source Child", L"Child");

  udb_relationships fks;
  fks.push_back(udb_relationship(L"FK1", L"", L"Source Child", L"Parent", {L"1PID"}, {L"ID"}, L" on delete cascade "));
  fks.push_back(udb_relationship(L"FK2", L"", L"Child", L"Parent", {L"PCODE"}, {L"CODE"}, L"ON DELETE RESTRICT"));
  fks.push_back(udb_relationship(L"FK3", L"", L"Child", L"Missing", {L"K"}, {L"ID"}, L""));
  db->create_relationships(fks);
  // The referenced CODE got a unique key first; the key on ID was there.
  EXPECT_EQ((texts{{L"Child", L"R", L"P_PK", L"CASCADE"},
                   {L"Child", L"R", L"Parent_UI", L"NO ACTION"},
                   {L"Parent", L"P", L"<null>", L"<null>"},
                   {L"Parent", L"U", L"<null>", L"<null>"}}),
            dictionary(L"select TABLE_NAME, CONSTRAINT_TYPE, R_CONSTRAINT_NAME, DELETE_RULE from USER_CONSTRAINTS "
                       L"where CONSTRAINT_TYPE <> 'C' order by TABLE_NAME, CONSTRAINT_TYPE, R_CONSTRAINT_NAME"));
  // The read side finds them as relationships of the referenced table.
  db->relationships.clear();
  db->get_table(L"Parent");
  ASSERT_EQ(db->relationships.size(), 1u);
  EXPECT_EQ(db->relationships[0].table_a, L"Child");
  EXPECT_EQ(db->relationships[0].fields_a, (std::vector<std::wstring>{L"A1PID"}));
  EXPECT_EQ(db->relationships[0].on_delete, L"ON DELETE CASCADE");
  // A unique key that is there is not made again.
  db->create_fk_index_if(L"Parent", {L"CODE"});
  EXPECT_EQ(dictionary(L"select 1 from USER_CONSTRAINTS where CONSTRAINT_TYPE = 'U'").size(), 1u);

  udb_views views;
  views[L"All Parents"] = L"SELECT [ID], [CODE] FROM [Parent];";
  views[L"1st view"] = L"select DISTINCTROW \"K\" from \"Source Child\"";
  views[L"Broken"] = L"select nosuch from \"Parent\"";
  views[L"Action"] = L"DELETE FROM \"Parent\"";
  db->create_views(views);
  EXPECT_EQ((texts{{L"A1st view"}, {L"All Parents"}}), dictionary(L"select VIEW_NAME from USER_VIEWS order by VIEW_NAME"));
  EXPECT_EQ(db->names_map.get_tn_mapped_name(L"1st view", true), L"A1st view");
  EXPECT_EQ(db->refine_view_in(L"select [A] from [Source Child];\n"), L"select \"A\" from \"Child\" \n");
}

TEST(ora_write_rules, lob_and_key_columns) {
  struct row {
    VARTYPE vt;
    std::uint32_t size;
    bool lob;
  } rows[] = {{VT_BSTR, 0, true},        {VT_BSTR, 4000, true},   {VT_BSTR, 2000, false}, {VT_I4, 0, false},
              {VT_BLOB, 0, true},        {VT_BLOB, 16, false},    {VT_ARRAY | VT_UI1, 2001, true}};
  for (const row& r : rows) {
    EXPECT_EQ(is_lob_type(r.vt, r.size), r.lob) << r.vt << " " << r.size;
    t_ftd c(static_cast<std::int32_t>(r.size), L"C", r.vt, false, 0, ole_variant(), 0, L"");
    if (r.vt != (VT_ARRAY | VT_UI1)) {
      EXPECT_EQ(ora_can_be_indexed(c), !r.lob) << r.vt << " " << r.size;
    }
  }
}

TEST_F(ora_writing, a_counter_numbers_the_rows_of_a_table_of_any_name) {
  open("");
  for (const std::wstring& name : {std::wstring(L"Order Lines"), std::wstring(30, L'L')}) {
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    udb_schema s;
    s.push_back(column(L"No", VT_I4, 0, 0, false, 1));
    s.push_back(column(L"Text", VT_BSTR, 10));
    auto table = db->create_table(name, s, udb_indexes());
    for (int i = 0; i < 3; ++i) {
      record_builder r;
      r.add(L"No", i == 1 ? ole_variant(50) : ole_variant()).add(L"Text", ole_variant(L"t" + std::to_wstring(i)));
      table->append_record(r.record);
    }
    table->save();
    EXPECT_EQ((texts{{L"1", L"t0"}, {L"50", L"t1"}, {L"2", L"t2"}}),
              dictionary(L"select \"No\", \"Text\" from \"" + name + L"\" order by \"Text\""));
  }
  // The names of the sequence and the trigger keep to 30 characters.
  EXPECT_EQ((texts{{std::wstring(28, L'L') + L"_0"}, {L"Order Lines_0"}}),
            dictionary(L"select SEQUENCE_NAME from USER_SEQUENCES order by SEQUENCE_NAME"));
  EXPECT_EQ((texts{{std::wstring(21, L'L') + L"__TRIGGER"}, {L"Order Lines__TRIGGER"}}),
            dictionary(L"select TRIGGER_NAME from USER_TRIGGERS order by TRIGGER_NAME"));
  // A query result is not written.
  auto result = db->get_query(L"q", L"select * from \"Order Lines\"", 0);
  record_builder r;
  r.add(L"No", ole_variant(1)).add(L"Text", ole_variant(std::wstring(L"x")));
  EXPECT_THROW(result->append_record(r.record), tk_mail_assertion);
}

TEST_F(ora_writing, index_names_avoid_those_the_schema_has) {
  open("CREATE TABLE \"OLD\" (\"A\" NUMBER, CONSTRAINT \"PK\" PRIMARY KEY (\"A\"));"
       "CREATE INDEX \"IX\" ON \"OLD\" (\"A\");");
  db->get_tables();
  udb_schema s;
  s.push_back(column(L"A", VT_I4, 0, 0, true));
  s.push_back(column(L"B", VT_I4));
  udb_indexes keys;
  keys.push_back(udb_index(L"PK", true, true, {L"A"}));
  keys.push_back(udb_index(L"IX", false, false, {L"B"}));
  keys.push_back(udb_index(L"1ST", true, false, {L"B"}));
  auto table = db->create_table(L"NEW", s, keys);
  std::vector<std::wstring> names;
  for (const udb_index& i : table->indexes) names.push_back(i.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"A1ST", L"IX00000", L"PK00000"}));
  EXPECT_TRUE(ora_in_validator::exists());
  db.reset();
  EXPECT_FALSE(ora_in_validator::exists());
}

}  // namespace

namespace {

// Appends rows that leave the counter to the trigger; the counter of each
// row as read back.
texts counted(ora_database& db, const std::wstring& table, int rows) {
  udb_schema s;
  s.push_back(column(L"No", VT_I4, 0, 0, false, 1));
  s.push_back(column(L"Text", VT_BSTR, 10));
  auto t = db.create_table(table, s, udb_indexes());
  for (int i = 0; i < rows; ++i) {
    record_builder r;
    r.add(L"No", ole_variant()).add(L"Text", ole_variant(L"t" + std::to_wstring(i)));
    t->append_record(r.record);
  }
  t->save();
  return dictionary(L"select \"No\" from \"" + table + L"\" order by \"Text\"");
}

TEST_F(ora_writing, tables_alike_in_their_first_characters_keep_their_own_counters) {
  open("CREATE TABLE \"T_0\" (\"A\" NUMBER);");
  db->get_tables();
  // Alike in 23 characters (the trigger's share), in 28 (the sequence's),
  // and a table with the name the sequence would take.
  const std::wstring names[] = {L"Quarterly Sales Region North", L"Quarterly Sales Region South",
                                std::wstring(28, L'S') + L"AB", std::wstring(28, L'S') + L"CD", L"T"};
  for (const std::wstring& name : names) {
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    EXPECT_EQ((texts{{L"1"}, {L"2"}}), counted(*db, name, 2));
  }
  // Written once more: every table still numbers its own rows.
  for (const std::wstring& name : names) {
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    udb_record r;
    r.push_back(std::make_unique<udb_field>(L"No", 0, ole_variant(), false, 0));
    r.push_back(std::make_unique<udb_field>(L"Text", 0, ole_variant(std::wstring(L"t9")), false, 0));
    auto t = db->get_table(name, 2);
    t->append_record(r);
    t->save();
    EXPECT_EQ((texts{{L"1"}, {L"2"}, {L"3"}}),
              dictionary(L"select \"No\" from \"" + name + L"\" order by \"Text\""));
  }
  texts triggers = dictionary(L"select TRIGGER_NAME, TABLE_NAME from USER_TRIGGERS order by TABLE_NAME");
  ASSERT_EQ(triggers.size(), 5u);
  std::vector<std::wstring> seen;
  for (const auto& row : triggers) {
    EXPECT_LE(row[0].size(), 30u) << std::string(row[0].begin(), row[0].end());
    seen.push_back(row[0]);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
  // The first name of each kind is the one it always was.
  EXPECT_EQ(triggers[0], (texts::value_type{L"Quarterly Sales Regio__TRIGGER", L"Quarterly Sales Region North"}));
  for (const auto& row : dictionary(L"select SEQUENCE_NAME from USER_SEQUENCES")) EXPECT_LE(row[0].size(), 30u);
  EXPECT_EQ(dictionary(L"select SEQUENCE_NAME from USER_SEQUENCES").size(), 5u);

  // The unique keys made for foreign keys of the two tables alike in 28
  // characters.
  db->create_fk_index_if(names[2], {L"Text"});
  db->create_fk_index_if(names[3], {L"Text"});
  texts keys = dictionary(L"select CONSTRAINT_NAME from USER_CONSTRAINTS where CONSTRAINT_TYPE = 'U'");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_NE(keys[0][0], keys[1][0]);
  for (const auto& row : keys) EXPECT_LE(row[0].size(), 30u);
}

TEST_F(ora_writing, keys_name_the_columns_as_the_table_spells_them) {
  open("");
  udb_schema s;
  s.push_back(column(L"ID", VT_I4, 0, 0, true));
  s.push_back(column(L"Code", VT_BSTR, 8));
  s.push_back(column(L"2ND", VT_I4));
  udb_indexes keys;
  keys.push_back(udb_index(L"K_PK", true, true, {L"id"}));
  keys.push_back(udb_index(L"K_CODE", true, false, {L"CODE"}));
  keys.push_back(udb_index(L"K_2ND", false, false, {L"2nd"}));
  auto table = db->create_table(L"K", s, keys);
  EXPECT_EQ((texts{{L"K_2ND", L"A2ND"}, {L"K_CODE", L"Code"}, {L"K_PK", L"ID"}}),
            dictionary(L"select INDEX_NAME, COLUMN_NAME from USER_IND_COLUMNS where TABLE_NAME = 'K' "
                       L"order by INDEX_NAME"));
  EXPECT_EQ(table->indexes.get_index(L"K_PK").fields, (std::vector<std::wstring>{L"ID"}));
}

TEST_F(ora_writing, a_column_left_out_for_its_type_takes_no_value_of_another) {
  open("");
  udb_schema s;
  s.push_back(column(L"ID", VT_I4));
  s.push_back(std::make_unique<t_ftd>(0, L"SHAPE", VT_BSTR, false, 0, ole_variant(), 0, L"SDO_GEOMETRY"));
  s.push_back(column(L"NAME", VT_BSTR, 10));
  s.push_back(column(L"2ND", VT_I4));
  s.push_back(column(L"NOTE", VT_BSTR, 0));
  auto table = db->create_table(L"G", s, udb_indexes());
  ASSERT_EQ(table->schema.size(), 4u);
  for (int i = 1; i <= 2; ++i) {
    record_builder r;
    r.add(L"ID", ole_variant(i))
        .add(L"SHAPE", ole_variant(std::wstring(L"POINT(1 2) and far too long")))
        .add(L"NAME", ole_variant(L"n" + std::to_wstring(i)))
        .add(L"2ND", ole_variant(i * 10))
        .add(L"NOTE", ole_variant(L"note " + std::to_wstring(i)));
    table->append_record(r.record);
  }
  table->save();
  EXPECT_EQ((texts{{L"1", L"n1", L"10", L"note 1"}, {L"2", L"n2", L"20", L"note 2"}}),
            dictionary(L"select \"ID\", \"NAME\", \"A2ND\", \"NOTE\" from \"G\" order by \"ID\""));

  // A record that lacks a column of the table and cannot be taken by
  // position is refused.
  record_builder short_record;
  short_record.add(L"ID", ole_variant(3)).add(L"NAME", ole_variant(std::wstring(L"n3")));
  EXPECT_THROW(table->append_record(short_record.record), tk_exception);
}

}  // namespace

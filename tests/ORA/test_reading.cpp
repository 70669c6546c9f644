// Rows of tables and queries as records of variants.
#include "ORA/ora_exception.h"
#include "ORA/ora_table.h"
#include "oci/oci_fault.h"
#include "ora_test_support.h"
#include "platform/utf8.h"

#include <sstream>

namespace {

class ora_reading : public ora_test {
 protected:
  // Every row of a table of the schema.
  std::vector<std::vector<udb_field>> rows_of(const std::wstring& table) {
    db->get_tables();
    return read_rows(*db->get_table(table));
  }
};

std::string hex_of(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

TEST_F(ora_reading, a_table_is_read_to_its_end_whatever_its_count) {
  open("CREATE TABLE \"T\" (\"ID\" NUMBER(4), \"NAME\" VARCHAR2(10));"
       "INSERT INTO \"T\" VALUES (1, 'a'); INSERT INTO \"T\" VALUES (2, NULL); INSERT INTO \"T\" VALUES (3, 'c');");
  db->get_tables();
  auto rs = db->get_table(L"T");
  EXPECT_EQ(rs->record_count, 3);
  auto rows = read_rows(*rs);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2][0].to_long(), 3);
  // A NULL is an empty field with the column's name and size.
  EXPECT_EQ(rows[1][1].get_type(), VT_EMPTY);
  EXPECT_EQ(rows[1][1].name, L"NAME");
  EXPECT_EQ(rows[1][1].size, 10);
  rs.reset();

  // Rows committed by another session after the count are read too: the
  // count tells the progress, the server's end of data ends the read.
  auto table = db->get_table(L"T");
  auto query = db->get_query(L"q", L"SELECT \"ID\" FROM \"T\" WHERE \"ID\" > 1", 0);
  EXPECT_EQ(table->record_count, 3);
  EXPECT_EQ(query->record_count, 2);
  ora_schema_folder::run(folder.path + "/s.db", "INSERT INTO \"T\" VALUES (4, 'd'); INSERT INTO \"T\" VALUES (5, 'e');");
  EXPECT_EQ(read_rows(*table).size(), 5u);
  EXPECT_EQ(read_rows(*query).size(), 4u);
}

TEST_F(ora_reading, get_item_fetches_when_is_eof_was_not_asked) {
  open("CREATE TABLE \"T\" (\"ID\" NUMBER(4)); INSERT INTO \"T\" VALUES (1); INSERT INTO \"T\" VALUES (2);");
  auto rs = db->get_query(L"q", L"SELECT \"ID\" FROM \"T\" ORDER BY \"ID\"", 0);
  EXPECT_EQ(rs->record_count, 2);
  udb_record* first = rs->get_item();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ((*first)[0].to_long(), 1);
  udb_record* second = rs->get_item();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ((*second)[0].to_long(), 2);
  EXPECT_EQ(rs->get_item(), nullptr);
  EXPECT_EQ((*second)[0].to_long(), 2);
  EXPECT_TRUE(rs->is_eof());
  EXPECT_EQ(rs->get_item(), nullptr);
}

TEST_F(ora_reading, a_query_ending_in_a_line_comment_is_counted_and_read) {
  open("CREATE TABLE \"T\" (\"ID\" NUMBER(4)); INSERT INTO \"T\" VALUES (1); INSERT INTO \"T\" VALUES (2);");
  const std::wstring text = L"SELECT \"ID\" FROM \"T\" -- every row\nWHERE \"ID\" > 1\n-- the last line";
  EXPECT_TRUE(db->test_query(text));
  auto rs = db->get_query(L"q", text, 0);
  EXPECT_EQ(rs->record_count, 1);
  auto rows = read_rows(*rs);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].to_long(), 2);
}

TEST_F(ora_reading, numbers_arrive_with_their_values) {
  // 38 significant digits: more than a DECIMAL holds, so it stays the
  // server's text. ocilite keeps it exactly as the BLOB of its text.
  const std::wstring digits38 = L"-12345678901234567890123456789012345678";
  open("CREATE TABLE \"N\" (\"P10\" NUMBER(10), \"FL\" FLOAT, \"BD\" BINARY_DOUBLE, \"BF\" BINARY_FLOAT,"
       " \"P38\" NUMBER(38), \"P10S2\" NUMBER(10,2), \"P3S3\" NUMBER(3,3), \"P2\" NUMBER(2), \"FREE\" NUMBER);"
       "INSERT INTO \"N\" VALUES (9999999999, 3.14, 2.5, 0.1,"
       " CAST('-12345678901234567890123456789012345678' AS BLOB), 12.34, 0.5, -99, 1500);"
       "INSERT INTO \"N\" VALUES (-2147483649, -1e-3, -0.5, NULL, 9223372036854775807, -0.01, -0.999, 0, NULL);");
  auto rows = rows_of(L"N");
  ASSERT_EQ(rows.size(), 2u);
  const std::vector<udb_field>& r = rows[0];
  EXPECT_EQ(r[0].get_type(), VT_I8);
  EXPECT_EQ(r[0].to_wstring(), L"9999999999");
  EXPECT_EQ(r[1].get_type(), VT_DECIMAL);
  EXPECT_EQ(r[1].to_wstring(), L"3.14");
  EXPECT_EQ(r[2].get_type(), VT_R8);
  EXPECT_DOUBLE_EQ(r[2].to_double(), 2.5);
  // A BINARY_FLOAT is the float the server keeps.
  EXPECT_EQ(r[3].get_type(), VT_R4);
  EXPECT_EQ(r[3].var.fltVal, 0.1f);
  EXPECT_EQ(r[4].get_type(), VT_BSTR);
  EXPECT_EQ(r[4].to_wstring(), digits38);
  EXPECT_EQ(r[5].get_type(), VT_DECIMAL);
  EXPECT_EQ(r[5].to_wstring(), L"12.34");
  EXPECT_EQ(r[6].to_wstring(), L"0.5");
  EXPECT_EQ(r[7].get_type(), VT_I1);
  EXPECT_EQ(r[7].to_long(), -99);
  EXPECT_EQ(r[8].get_type(), VT_DECIMAL);
  EXPECT_EQ(r[8].to_wstring(), L"1500");
  const std::vector<udb_field>& s = rows[1];
  EXPECT_EQ(s[0].to_wstring(), L"-2147483649");
  EXPECT_EQ(s[1].to_wstring(), L"-0.001");
  EXPECT_EQ(s[3].get_type(), VT_EMPTY);
  EXPECT_EQ(s[4].get_type(), VT_DECIMAL);
  EXPECT_EQ(s[4].to_wstring(), L"9223372036854775807");
  EXPECT_EQ(s[5].to_wstring(), L"-0.01");
  EXPECT_EQ(s[6].to_wstring(), L"-0.999");
  EXPECT_EQ(s[7].to_long(), 0);
}

TEST_F(ora_reading, decimals_beyond_28_places_keep_the_servers_text) {
  open("CREATE TABLE \"N\" (\"S38\" NUMBER(38,38), \"S29\" NUMBER(38,29));"
       "INSERT INTO \"N\" VALUES (CAST('1E-30' AS BLOB), CAST('0.00000000000000000000000000012' AS BLOB));"
       "INSERT INTO \"N\" VALUES (0.5, 1.25);");
  auto rows = rows_of(L"N");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0].get_type(), VT_BSTR);
  // Written with the zero the server leaves out.
  EXPECT_EQ(rows[0][0].to_wstring(), L"0.000000000000000000000000000001");
  EXPECT_EQ(rows[0][1].get_type(), VT_BSTR);
  EXPECT_EQ(rows[0][1].to_wstring(), L"0.00000000000000000000000000012");
  // What a DECIMAL holds stays one.
  EXPECT_EQ(rows[1][0].get_type(), VT_DECIMAL);
  EXPECT_EQ(rows[1][0].to_wstring(), L"0.5");
  EXPECT_EQ(rows[1][1].get_type(), VT_DECIMAL);
  EXPECT_EQ(rows[1][1].to_wstring(), L"1.25");
}

TEST_F(ora_reading, numbers_of_negative_scale_are_decimals_or_the_servers_text) {
  // NUMBER(38,-1) holds integers of 39 digits, NUMBER(30,-10) of 40.
  open("CREATE TABLE \"R\" (\"A\" NUMBER(38,-1), \"B\" NUMBER(30,-10));"
       "INSERT INTO \"R\" VALUES (CAST('123456789012345678901234567890123456780' AS BLOB), 12300000000);");
  db->get_tables();
  auto rs = db->get_table(L"R");
  ASSERT_EQ(rs->schema.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(rs->schema[i].vartype, VT_DECIMAL) << i;
    EXPECT_EQ(rs->schema[i].reserved, 0u) << "no precision of its own";
  }
  auto rows = read_rows(*rs);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].get_type(), VT_BSTR);
  EXPECT_EQ(rows[0][0].to_wstring(), L"123456789012345678901234567890123456780");
  EXPECT_EQ(rows[0][1].get_type(), VT_DECIMAL);
  EXPECT_EQ(rows[0][1].to_wstring(), L"12300000000");
}

TEST_F(ora_reading, dates_and_timestamps) {
  open("CREATE TABLE \"D\" (\"DT\" DATE, \"TS\" TIMESTAMP, \"TS9\" TIMESTAMP(9), \"TZ\" TIMESTAMP WITH TIME ZONE,"
       " \"LTZ\" TIMESTAMP WITH LOCAL TIME ZONE);"
       "INSERT INTO \"D\" VALUES ('2010-05-31 10:20:30', '2011-01-02 03:04:05.123456789',"
       " '2012-12-31 23:59:59.999999999', '2013-06-07 08:09:10.250000 +02:00', '2014-02-03 04:05:06');");
  db->get_tables();
  auto rs = db->get_table(L"D");
  ASSERT_EQ(rs->schema.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(rs->schema[i].vartype, VT_DATE) << i;
    EXPECT_EQ(rs->schema[i].reserved, 1u) << i;
  }
  auto rows = read_rows(*rs);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].to_wstring(), L"2010-05-31 10:20:30");
  EXPECT_EQ(rows[0][1].to_wstring(), L"2011-01-02 03:04:05.123");
  EXPECT_EQ(rows[0][2].to_wstring(), L"2012-12-31 23:59:59.999");
  EXPECT_EQ(rows[0][3].to_wstring(), L"2013-06-07 08:09:10.250");
  EXPECT_EQ(rows[0][4].get_type(), VT_DATE);
}

TEST_F(ora_reading, lobs_of_more_than_one_piece_come_back_whole) {
  std::wstring text;
  for (int i = 0; i < 100000; ++i) text += L"a\u00e9\u20ac\U0001D11E"[i % 4];
  std::string utf8;
  ASSERT_TRUE(qm_platform::wide_to_utf8(text.data(), text.size(), utf8));
  std::string blob;
  for (int i = 0; i < 40000; ++i) blob += static_cast<char>(i * 7);
  open("CREATE TABLE \"L\" (\"ID\" NUMBER, \"C\" CLOB, \"NC\" NCLOB, \"B\" BLOB);"
       "INSERT INTO \"L\" VALUES (1, '" +
       utf8 + "', 'short', X'" + hex_of(blob) +
       "');"
       "INSERT INTO \"L\" VALUES (2, '', NULL, X'');");
  db->get_tables();
  auto rs = db->get_table(L"L");
  EXPECT_EQ(rs->schema[1].vartype, VT_BSTR);
  EXPECT_EQ(rs->schema[3].vartype, VT_BLOB);
  auto rows = read_rows(*rs);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][1].to_wstring().size(), text.size());
  EXPECT_TRUE(rows[0][1].to_wstring() == text);
  EXPECT_EQ(rows[0][2].to_wstring(), L"short");
  std::vector<unsigned char> got = bytes_of(rows[0][3]);
  EXPECT_EQ(got, std::vector<unsigned char>(blob.begin(), blob.end()));
  EXPECT_EQ(rows[1][1].get_type(), VT_BSTR);
  EXPECT_EQ(rows[1][1].to_wstring(), L"");
  EXPECT_EQ(rows[1][2].get_type(), VT_EMPTY);
  EXPECT_TRUE(bytes_of(rows[1][3]).empty());
}

TEST_F(ora_reading, a_clob_is_read_no_further_than_the_reader_needs) {
  // 100,000 characters; then 40,000 carriage returns, which a cell may
  // fold away, before a tail.
  open("CREATE TABLE \"L\" (\"ID\" NUMBER(4), \"C\" CLOB);"
       "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000)"
       " INSERT INTO \"L\" SELECT 1, group_concat('x', '') FROM n;"
       "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40000)"
       " INSERT INTO \"L\" SELECT 2, group_concat(char(13), '') || 'tail' FROM n;");
  db->get_tables();
  engine->text_limit = 254;
  oci_fault_injector counter;
  auto rs = db->get_table(L"L");
  auto rows = read_rows(*rs);
  ASSERT_EQ(rows.size(), 2u);
  // One piece: more than the limit, so that the reader knows there is more.
  std::wstring first = rows[0][1].to_wstring();
  EXPECT_GT(first.size(), 254u);
  EXPECT_LT(first.size(), 100000u);
  EXPECT_EQ(first, std::wstring(first.size(), L'x'));
  EXPECT_EQ(rows[1][1].to_wstring(), std::wstring(40000, L'\r') + L"tail");
  EXPECT_EQ(counter.calls(oci_fn::OCILobRead), 1u + 3u);
}

// A result whose column objects a test can reach.
struct open_result : ora_query_results {
  using ora_query_results::ora_query_results;
  using ora_query_results::columns;
};

TEST_F(ora_reading, a_value_the_client_cut_is_read_on_whatever_way_it_tells_the_cut) {
  // A VARCHAR2(100) that holds 40,000 characters: more than the column's
  // buffer of 101 units, and more than a cell keeps.
  open("CREATE TABLE \"L\" (\"ID\" NUMBER(4), \"V\" VARCHAR2(100)); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
       "SELECT i + 1 FROM n WHERE i < 40000) INSERT INTO \"L\" SELECT 1, group_concat(char(97 + i % 26), '') FROM n;"
       "INSERT INTO \"L\" VALUES (2, 'short');");
  std::wstring whole;
  for (int i = 1; i <= 40000; ++i) whole += static_cast<wchar_t>(L'a' + i % 26);
  // How the client tells the cut of the first row: as ocilite does (the
  // indicator -2, return code 1406, ORA-24345), or by one sign alone.
  enum way { all_signs, indicator, return_code, long_length, warning };
  for (way told : {all_signs, indicator, return_code, long_length, warning})
    for (std::size_t limit : {std::size_t(0), std::size_t(254)}) {
      SCOPED_TRACE(std::to_string(told) + " limit " + std::to_string(limit));
      engine->text_limit = limit;
      open_result result(0, L"SELECT \"ID\", \"V\" FROM \"L\" ORDER BY \"ID\"");
      auto& column = dynamic_cast<ora_string&>(*result.columns[1]);
      oci_fault_injector faults;
      oci_fault fault;
      fault.function = oci_fn::OCIStmtFetch;
      fault.error_code = 1406;
      fault.message = "ORA-01406: fetched column value was truncated";
      fault.then = [&](sword status) {
        if (told == all_signs) return status;
        if (told != indicator) column.null_ind = 0;
        if (told != return_code) column.return_code = 0;
        // A return length that wrapped, one past the buffer, or the room.
        column.length = told == indicator ? 0 : told == long_length ? 60000 : 202;
        return told == warning ? OCI_SUCCESS_WITH_INFO : OCI_SUCCESS;
      };
      faults.fail(fault);
      auto rows = read_rows(result);
      ASSERT_EQ(rows.size(), 2u);
      std::wstring got = rows[0][1].to_wstring();
      if (limit == 0)
        EXPECT_TRUE(got == whole) << got.size();
      else
        EXPECT_TRUE(got.size() > limit && whole.compare(0, got.size(), got) == 0) << got.size();
      EXPECT_EQ(rows[1][1].to_wstring(), L"short");
      EXPECT_TRUE(faults.fired(oci_fn::OCIStmtFetch));
    }
}

TEST_F(ora_reading, long_raw_texts_and_unsupported_types) {
  open("CREATE TABLE \"LG\" (\"L\" LONG, \"R\" RAW(16), \"S\" VARCHAR2(20), \"C\" CHAR(4), \"F\" BFILE);"
       "INSERT INTO \"LG\" VALUES ('long text \u00fc', X'0A0B0C', 'Zie\u0142i\u0144ska', 'ab', NULL);"
       "CREATE TABLE \"LR\" (\"B\" LONG RAW); INSERT INTO \"LR\" VALUES (X'01FF');");
  auto rows = rows_of(L"LG");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].to_wstring(), L"long text \u00fc");
  EXPECT_EQ(bytes_of(rows[0][1]), (std::vector<unsigned char>{0x0A, 0x0B, 0x0C}));
  EXPECT_EQ(rows[0][2].to_wstring(), L"Zie\u0142i\u0144ska");
  EXPECT_EQ(rows[0][3].to_wstring(), L"ab  ");
  EXPECT_EQ(rows[0][4].to_wstring(), L"<unsupported type>");
  auto lr = db->get_table(L"LR");
  rows = read_rows(*lr);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(lr->schema[0].vartype, VT_BLOB);
  EXPECT_EQ(bytes_of(rows[0][0]), (std::vector<unsigned char>{0x01, 0xFF}));
}

TEST_F(ora_reading, a_long_raw_of_a_million_bytes_or_more_is_not_null) {
  // Two digits a byte in a buffer of a million bytes' digits: a longer
  // value is cut there, at a whole byte.
  std::string million, longer;
  for (int i = 0; i < 1000000; ++i) million += static_cast<char>(i * 7 + 1);
  longer = million + "\x42";
  open("CREATE TABLE \"LR\" (\"ID\" NUMBER(4), \"B\" LONG RAW);"
       "INSERT INTO \"LR\" VALUES (1, X'" + hex_of(million) + "');"
       "INSERT INTO \"LR\" VALUES (2, X'" + hex_of(longer) + "');"
       "INSERT INTO \"LR\" VALUES (3, X'0A0B0C');");
  auto rows = rows_of(L"LR");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(bytes_of(rows[0][1]), std::vector<unsigned char>(million.begin(), million.end()));
  EXPECT_EQ(rows[1][1].get_type(), VT_ARRAY | VT_UI1);
  EXPECT_EQ(bytes_of(rows[1][1]), std::vector<unsigned char>(million.begin(), million.end()));
  EXPECT_EQ(bytes_of(rows[2][1]), (std::vector<unsigned char>{0x0A, 0x0B, 0x0C}));
}

TEST_F(ora_reading, a_nul_character_does_not_end_a_text) {
  open("CREATE TABLE \"Z\" (\"V\" VARCHAR2(20), \"NV\" NVARCHAR2(20), \"C\" CHAR(6), \"L\" LONG, \"CL\" CLOB);"
       "INSERT INTO \"Z\" VALUES ('ab' || char(0) || 'cd', char(0) || '\u00e9', 'x' || char(0) || 'y',"
       " 'ij' || char(0) || 'kl', 'ef' || char(0) || 'gh');"
       "INSERT INTO \"Z\" VALUES ('short', 'n', 'c', 'l', 'c');");
  auto rows = rows_of(L"Z");
  ASSERT_EQ(rows.size(), 2u);
  using namespace std::string_literals;
  EXPECT_EQ(rows[0][0].to_wstring(), L"ab\0cd"s);
  EXPECT_EQ(rows[0][1].to_wstring(), L"\0\u00e9"s);
  EXPECT_EQ(rows[0][2].to_wstring(), L"x\0y   "s);
  EXPECT_EQ(rows[0][3].to_wstring(), L"ij\0kl"s);
  EXPECT_EQ(rows[0][4].to_wstring(), L"ef\0gh"s);
  // A shorter value after a longer one in the same buffers.
  EXPECT_EQ(rows[1][0].to_wstring(), L"short");
  EXPECT_EQ(rows[1][2].to_wstring(), L"c     ");
  EXPECT_EQ(rows[1][3].to_wstring(), L"l");
}

TEST_F(ora_reading, a_user_query_with_intervals_and_expressions) {
  open("CREATE TABLE \"I\" (\"ID\" NUMBER(4), \"DS\" INTERVAL_DAY_TO_SECOND, \"YM\" INTERVAL_YEAR_TO_MONTH);"
       "INSERT INTO \"I\" VALUES (1, '+123456789 23:59:59.999999999', '+02-03');");
  auto rs = db->get_query(L"q", L"SELECT \"ID\", \"DS\", \"YM\", \"ID\" * 2 AS \"TWICE\" FROM \"I\"", 0);
  ASSERT_EQ(rs->schema.size(), 4u);
  EXPECT_EQ(rs->schema[3].name, L"TWICE");
  auto rows = read_rows(*rs);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1].to_wstring(), L"+123456789 23:59:59.999999999");
  EXPECT_EQ(rows[0][2].to_wstring(), L"+02-03");
  EXPECT_EQ(rows[0][3].to_long(), 2);
  EXPECT_THROW(db->get_query(L"bad", L"SELECT NOPE FROM \"I\"", 0), ora_exception);
}

// The objects of a schema file and the rows of T, read past the engine.
std::string schema_of(const std::string& file) {
  sqlite3* db = nullptr;
  std::string out;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_exec(db, "SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name; SELECT \"ID\" FROM \"T\"",
                 [](void* text, int, char** values, char**) {
                   *static_cast<std::string*>(text) += std::string(values[0] ? values[0] : "NULL") + " ";
                   return 0;
                 },
                 &out, nullptr);
  }
  sqlite3_close(db);
  return out;
}

TEST_F(ora_reading, a_query_that_is_no_select_is_refused_before_it_runs) {
  open("CREATE TABLE \"T\" (\"ID\" NUMBER(4)); INSERT INTO \"T\" VALUES (1); INSERT INTO \"T\" VALUES (2);");
  const std::string file = folder.path + "/s.db";
  const std::string before = schema_of(file);
  ASSERT_EQ(before, "T 1 2 ");
  for (const wchar_t* text : {L"DROP TABLE T", L"CREATE TABLE PWNED (A NUMBER)", L"DELETE FROM T",
                              L"UPDATE T SET ID = 9", L"INSERT INTO T VALUES (3)", L"ALTER TABLE T ADD (B NUMBER)",
                              L"BEGIN NULL; END;", L"  -- a comment first\nTRUNCATE TABLE T"}) {
    for (int pass = 0; pass < 2; ++pass) {
      try {
        if (pass == 0)
          db->test_query(text);
        else
          db->get_query(L"Q1", text, 1);
        ADD_FAILURE() << "not refused";
      } catch (const tk_exception& e) {
        EXPECT_STREQ(e.what(), "The query is not a SELECT statement; it was not run.");
        // An error of the item: the other items of the run go on.
        EXPECT_EQ(e.level, 0);
      }
      EXPECT_EQ(schema_of(file), before) << pass;
    }
  }
  // A WITH query is a SELECT.
  const std::wstring with = L"WITH X AS (SELECT \"ID\" FROM \"T\") SELECT * FROM X";
  EXPECT_TRUE(db->test_query(with));
  EXPECT_EQ(read_rows(*db->get_query(L"Q2", with, 1)).size(), 2u);
}

}  // namespace

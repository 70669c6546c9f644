#include "TK/tk_exception.h"
#include "UDB/udb_custom_conversion.h"
#include "UDB/udb_record.h"
#include "UDB/udb_recordset.h"
#include "UDB/udb_schema.h"
#include "udb_test_support.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<t_ftd> column(const std::wstring& name, VARTYPE type, std::int32_t size = 10) {
  return std::make_unique<t_ftd>(size, name, type, false, 0, ole_variant(), 0, L"");
}

std::unique_ptr<udb_field> field(const std::wstring& name, int value) {
  return std::make_unique<udb_field>(name, 4, ole_variant(value), false, 0);
}

TEST(Schema, LookupByNameFirstMatchWins) {
  udb_schema schema;
  EXPECT_FALSE(schema.find_field(L"x"));
  EXPECT_EQ(schema.get_field_idx(L"x"), -1);

  schema.push_back(column(L"Amount", VT_I4, 1));
  schema.push_back(column(L"AMOUNT", VT_BSTR, 2));
  schema.push_back(column(L"\u00c9t\u00e9", VT_BSTR, 3));
  for (const wchar_t* name : {L"AMOUNT", L"amount", L"Amount"}) {
    EXPECT_TRUE(schema.find_field(name)) << name;
    EXPECT_EQ(schema.get_field_idx(name), 0) << name;
    EXPECT_EQ(schema.get_field1(name).size, 1) << name;
    EXPECT_EQ(schema.get_field2(name).size, 1) << name;
  }
  EXPECT_EQ(schema.get_field_idx(L"\u00c9T\u00c9"), 2);
}

TEST(Schema, MissingNameGivesAnEmptyDescriptorAndLogs) {
  log_capture capture(3);
  udb_schema schema;
  schema.push_back(column(L"A", VT_I4));
  t_ftd& none = schema.get_field1(L"B");
  EXPECT_EQ(none.name, L"");
  EXPECT_EQ(none.vartype, 0);
  EXPECT_EQ(none.size, 0);
  EXPECT_TRUE(capture.has_line("Field 'B' not found")) << capture.text();
  // What a caller wrote into it does not come back.
  none.name = L"dirty";
  EXPECT_EQ(schema.get_field1(L"C").name, L"");
  EXPECT_EQ(schema.get_field2(L"C").name, L"");
}

TEST(Schema, CopyIsDeepAndDescriptorFromField) {
  udb_field f(L"ID", 8, ole_variant(5), true, 0);
  udb_schema schema(true);
  schema.push_back(std::make_unique<t_ftd>(f, ole_variant(), 1u));
  EXPECT_EQ(schema[0].vartype, VT_I4);
  EXPECT_EQ(schema[0].size, 8);
  EXPECT_TRUE(schema[0].b_not_null);
  EXPECT_EQ(schema[0].reserved, 1u);
  EXPECT_EQ(schema[0].type_text, L"");

  udb_schema copy(schema);
  copy[0].name = L"OTHER";
  EXPECT_EQ(schema[0].name, L"ID");
  EXPECT_TRUE(copy.flag);
}

// Counts destructions, as an engine's own field kind would be destroyed.
struct counted_field : udb_field {
  explicit counted_field(int* count) : count(count) {}
  ~counted_field() override { ++*count; }
  int* count;
};

TEST(Record, ClearDestroysEachFieldOnceAndCanBeRefilled) {
  int destroyed = 0;
  {
    udb_record record;
    for (int i = 0; i < 3; ++i) record.push_back(std::make_unique<counted_field>(&destroyed));
    record.clear();
    EXPECT_EQ(destroyed, 3);
    EXPECT_TRUE(record.empty());
    record.push_back(std::make_unique<counted_field>(&destroyed));
    EXPECT_EQ(record.size(), 1u);
  }
  EXPECT_EQ(destroyed, 4);
}

class table : public udb_recordset {
 public:
  table() : udb_recordset(L"T", false) {}
  void append_record(udb_record&) override {}
};

TEST(Recordset, FirstPrimaryOrUniqueIndexIsTheKey) {
  table t;
  EXPECT_EQ(t.key_index, -1);
  EXPECT_TRUE(t.is_eof());
  EXPECT_EQ(t.get_item(), nullptr);
  EXPECT_FALSE(t.is_query());
  t.add_index({L"IX_PLAIN", false, false, {L"A"}});
  t.add_index({L"UQ_B", true, false, {L"B"}});
  EXPECT_EQ(t.key_index, 1);
  t.add_index({L"PK", false, true, {L"ID"}});
  EXPECT_EQ(t.key_index, 1);
  // A taken name is refused, whatever it would have been.
  t.add_index({L"ix_plain", false, true, {L"C"}});
  EXPECT_EQ(t.indexes.size(), 3u);
  EXPECT_FALSE(t.indexes.get_index(L"IX_PLAIN").primary);

  table first;
  first.add_index({L"PK", false, true, {L"ID"}});
  EXPECT_EQ(first.key_index, 0);
}

TEST(Recordset, ConvertRecordToTheColumnTypes) {
  table t;
  t.schema.push_back(column(L"A", VT_BSTR));
  t.schema.push_back(column(L"C", VT_BSTR));
  udb_record record;
  record.push_back(field(L"a", 1));
  record.push_back(field(L"C", 3));
  t.convert_record(record);
  EXPECT_EQ(record[0].get_type(), VT_BSTR);
  EXPECT_EQ(record[0].to_wstring(), L"1");
  EXPECT_EQ(record[1].get_type(), VT_BSTR);

  udb_record empty;
  t.convert_record(empty);
  EXPECT_TRUE(empty.empty());
}

TEST(Recordset, FieldTheDestinationLacksStopsBeforeLaterFields) {
  table t;
  t.schema.push_back(column(L"A", VT_BSTR));
  t.schema.push_back(column(L"C", VT_BSTR));
  udb_record record;
  record.push_back(field(L"A", 1));
  record.push_back(field(L"B", 2));
  record.push_back(field(L"C", 3));
  try {
    t.convert_record(record);
    FAIL() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_STREQ(e.what(), "The structure of data source does not conform to the destination table.");
    EXPECT_EQ(e.level, 1);
  }
  EXPECT_EQ(record[0].get_type(), VT_BSTR);
  EXPECT_EQ(record[1].get_type(), VT_I4);
  EXPECT_EQ(record[2].get_type(), VT_I4);
}

TEST(CustomConversion, WithoutRulesEveryTestSaysNo) {
  t_ftd col(10, L"A", VT_I4, false, 0, ole_variant(), 0, L"");
  EXPECT_FALSE(udb_custom_conversion::is_acceptable1(col));
  EXPECT_FALSE(udb_custom_conversion::is_acceptable2(col));
  EXPECT_EQ(udb_custom_conversion::handle1(col), L"");
  EXPECT_EQ(udb_custom_conversion::handle2(col).var.vt, VT_EMPTY);

  udb_custom_conversion empty;
  EXPECT_FALSE(udb_custom_conversion::is_acceptable1(col));
  EXPECT_EQ(udb_custom_conversion::handle2(col).var.vt, VT_EMPTY);
}

}  // namespace

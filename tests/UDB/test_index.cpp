#include "TK/tk_exception.h"
#include "UDB/udb_index.h"
#include "UDB/udb_relationship.h"

#include <gtest/gtest.h>

namespace {

using names = std::vector<std::wstring>;

TEST(Indexes, MergeByName) {
  struct {
    const char* what;
    udb_index first, second;
    udb_index result;
  } cases[] = {
      {"two primary keys: the first stays", {L"PK", false, true, {L"A"}}, {L"pk", false, true, {L"B"}},
       {L"PK", false, true, {L"A"}}},
      {"plain then unique: the unique one", {L"IX", false, false, {L"A"}}, {L"IX", true, false, {L"B", L"C"}},
       {L"IX", true, false, {L"B", L"C"}}},
      {"unique then primary: the primary one", {L"IX", true, false, {L"A"}}, {L"ix", false, true, {L"B"}},
       {L"ix", false, true, {L"B"}}},
      {"unique then unique: the first", {L"IX", true, false, {L"A"}}, {L"IX", true, false, {L"B"}},
       {L"IX", true, false, {L"A"}}},
      {"plain then plain: the first", {L"IX", false, false, {L"A"}}, {L"IX", false, false, {L"B"}},
       {L"IX", false, false, {L"A"}}},
  };
  for (const auto& c : cases) {
    udb_indexes list;
    list.push_back(c.first);
    list.push_back(c.second);
    ASSERT_EQ(list.size(), 1u) << c.what;
    EXPECT_EQ(list[0].name, c.result.name) << c.what;
    EXPECT_EQ(list[0].unique, c.result.unique) << c.what;
    EXPECT_EQ(list[0].primary, c.result.primary) << c.what;
    EXPECT_EQ(list[0].fields, c.result.fields) << c.what;
  }
}

TEST(Indexes, LookupsAndFieldTests) {
  udb_indexes list;
  list.push_back({L"PK_EMP", false, true, {L"ID"}});
  list.push_back({L"IX_NAME", false, false, {L"LAST", L"First"}});
  EXPECT_TRUE(list.find2(L"ix_name"));
  EXPECT_FALSE(list.is_acceptable_name(L"pk_emp"));
  EXPECT_TRUE(list.is_acceptable_name(L"PK_DEPT"));
  EXPECT_EQ(list.get_index(L"IX_NAME").fields.size(), 2u);
  EXPECT_THROW(list.get_index(L"missing"), tk_mail_assertion);
  EXPECT_TRUE(list.is_idx_field(L"first", false));
  EXPECT_FALSE(list.is_idx_field(L"first", true));
  EXPECT_TRUE(list.is_idx_field(L"id", true));
  EXPECT_FALSE(list.is_idx_field(L"SALARY", false));
}

TEST(Indexes, FieldListTests) {
  udb_index xy{L"IX", false, false, {L"x", L"Y"}};
  EXPECT_TRUE(xy.starts_with_fields({L"X"}));
  EXPECT_TRUE(xy.starts_with_fields({L"x", L"y"}));
  EXPECT_TRUE(xy.starts_with_fields({}));
  EXPECT_FALSE(xy.starts_with_fields({L"X", L"Y", L"Z"}));
  EXPECT_FALSE(xy.starts_with_fields({L"Y"}));
  // Same columns in any order, exact names.
  EXPECT_TRUE(xy.consists_of_fields({L"Y", L"x"}));
  EXPECT_FALSE(xy.consists_of_fields({L"X", L"Y"}));
  EXPECT_FALSE(xy.consists_of_fields({L"x"}));
}

udb_relationship orders_to(const std::wstring& table_b) {
  return udb_relationship(L"ORDER LINES", table_b, {L"CUST_ID"}, {L"ID"}, L"ON DELETE CASCADE");
}

TEST(Relationships, NamesAndTheirCycle) {
  udb_relationship built = orders_to(L"MY CUSTOMERS");
  EXPECT_EQ(built.name, L"FK_MY_CUSTOMERS_ORDER_LINES");
  EXPECT_EQ(built.second_name, L"");
  EXPECT_EQ(built.on_delete, L"ON DELETE CASCADE");

  udb_relationships list;
  udb_relationship r(L"x", L"", L"ORDERS", L"CUSTOMERS", {}, {}, L"");
  EXPECT_EQ(list.gen_relship_name(r), L"FK_CUSTOMERS_ORDERS");
  const wchar_t* taken[] = {L"FK_CUSTOMERS_ORDERS", L"fk_customers_orders_"};
  for (const wchar_t* name : taken) list.push_back(udb_relationship(name, L"", L"", L"", {}, {}, L""));
  EXPECT_EQ(list.gen_relship_name(r), L"FK_CUSTOMERS_ORDERS_1");

  // The suffixes run _ 1 _ 2 _ 3 and round again.
  std::wstring name = L"FK_CUSTOMERS_ORDERS";
  const wchar_t* cycle[] = {L"_", L"1", L"_", L"2", L"_", L"3", L"_", L"1"};
  udb_relationships full;
  for (const wchar_t* step : cycle) {
    full.push_back(udb_relationship(name, L"", L"", L"", {}, {}, L""));
    name += step;
  }
  EXPECT_EQ(full.gen_relship_name(r), name);
  EXPECT_EQ(name, L"FK_CUSTOMERS_ORDERS_1_2_3_1");
  EXPECT_EQ(&full.get_index(L"fk_customers_orders_1"), &full[2]);
  EXPECT_THROW(full.get_index(L"FK_NONE"), tk_mail_assertion);
}

}  // namespace

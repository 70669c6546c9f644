// The name rules of an Oracle destination.
#include "ORA/ora_validator.h"
#include "TK/tk_exception.h"

#include <gtest/gtest.h>

namespace {

TEST(ora_validator, acceptable_names) {
  struct row {
    std::wstring name;
    bool acceptable;
  } rows[] = {
      {std::wstring(30, L'A'), true},
      {std::wstring(31, L'A'), false},
      {L"", false},
      {L"1999_SALES", false},
      {L"_X", false},
      {L"ORDER-LINES", false},
      {L"Order Lines.2020#x", true},
      {L"Łódź_Straße", true},
      {L"A\"B", false},
  };
  ora_validator v;
  for (const row& r : rows) EXPECT_EQ(v.is_acceptable(r.name), r.acceptable) << std::string(r.name.begin(), r.name.end());
}

TEST(ora_validator, safe_names) {
  struct row {
    std::wstring name;
    std::wstring safe;
  } rows[] = {
      {L"1999_SALES", L"A1999_SALES"},
      {L"ORDER-LINES", L"ORDER_LINES"},
      {std::wstring(31, L'B'), std::wstring(29, L'B')},
      {L"", L"A"},
      {L"2NDVALUE", L"A2NDVALUE"},
  };
  ora_validator v;
  for (const row& r : rows) EXPECT_EQ(v.get_safe_name(r.name), r.safe);
  // Unique among the names used.
  v.add_used_name(L"ORDER_LINES");
  EXPECT_EQ(v.get_safe_name(L"ORDER-LINES"), L"ORDER_LINES00000");
}

TEST(ora_validator, used_names_stay_acceptable_but_duplicated) {
  udb_schema schema;
  schema.push_back(std::make_unique<t_ftd>(10, L"Name", VT_BSTR, false, 0, ole_variant(), 0, L""));
  ora_fn_validator columns(schema);
  EXPECT_TRUE(columns.is_acceptable(L"NAME"));
  EXPECT_TRUE(columns.is_duplicated(L"NAME"));
  EXPECT_FALSE(columns.is_duplicated(L"OTHER"));

  ora_tn_validator tables({L"EMP"}, {L"DEPT"});
  EXPECT_TRUE(tables.is_duplicated(L"dept"));
  EXPECT_EQ(tables.get_safe_name(L"emp"), L"emp00000");
}

TEST(ora_validator, index_names_are_unique_across_the_program) {
  EXPECT_THROW(udb_unique_index_name<ora_in_validator>(L"EMP"), tk_mail_assertion);
  {
    ora_in_validator names;
    udb_indexes source;
    source.push_back(udb_index(L"PK_EMP", true, true, {L"ID"}));
    names.load(source);
    EXPECT_TRUE(names.names.is_duplicated(L"pk_emp"));
    EXPECT_TRUE(names.names.is_acceptable(L"PK_EMP"));
    EXPECT_EQ(udb_unique_index_name<ora_in_validator>(L"EMP"), L"EMP_UI");
    EXPECT_EQ(udb_unique_index_name<ora_in_validator>(L"EMP"), L"EMP_UI00000");
    // 27 characters and the suffix are 30; with one more the name is cut
    // to 29.
    EXPECT_EQ(udb_unique_index_name<ora_in_validator>(std::wstring(27, L'T')), std::wstring(27, L'T') + L"_UI");
    EXPECT_EQ(udb_unique_index_name<ora_in_validator>(std::wstring(28, L'T')), std::wstring(28, L'T') + L"_");
  }
  EXPECT_FALSE(ora_in_validator::exists());
}

}  // namespace

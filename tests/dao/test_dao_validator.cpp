#include "dao/dao_validator.h"

#include <gtest/gtest.h>

namespace {

TEST(DaoValidator, BlanksAtTheEndsAndIllegalCharacters) {
  dao_validator v;
  struct { const wchar_t* name; bool acceptable; } cases[] = {
      {L"", false}, {L" lead", false}, {L"trail ", false}, {L"in side", true},
      {L"a.b", false}, {L"a!b", false}, {L"a`b", false}, {L"a-b", true},
  };
  for (const auto& c : cases) EXPECT_EQ(v.is_acceptable(c.name), c.acceptable) << c.name;
  EXPECT_EQ(v.get_safe_name(L"  a.b  "), L"a_b");
}

TEST(DaoValidator, SheetNames) {
  xls_tn_validator v({L"EMP", L"Dept"}, {L"SALES"});
  EXPECT_FALSE(v.is_acceptable(L"a/b"));
  EXPECT_TRUE(v.is_acceptable(L"a-b"));
  // The names of both lists are taken, not forbidden as sheet names.
  EXPECT_TRUE(v.is_acceptable(L"EMP"));
  EXPECT_TRUE(v.is_duplicated(L"emp"));
  EXPECT_TRUE(v.is_duplicated(L"sales"));
  EXPECT_EQ(v.get_safe_name(L"Q1: total?"), L"Q1_ total_");
  EXPECT_EQ(v.get_safe_name(L"E:P"), L"E_P");

  xls_tn_validator limited({}, {}, 31);
  std::wstring long_name(40, L'x');
  EXPECT_FALSE(limited.is_acceptable(long_name));
  EXPECT_EQ(limited.get_safe_name(long_name), std::wstring(30, L'x'));
  limited.add_restricted_name(std::wstring(30, L'x'));
  EXPECT_EQ(limited.get_safe_name(long_name), std::wstring(25, L'x') + L"00000");
}

// What readers drop, refuse or take for one name is settled before the
// names are made unique.
TEST(DaoValidator, SheetNamesAsReadersTakeThem) {
  xls_tn_validator v({L"STRASSE", L"FILE"}, {});
  // Sheets of earlier items, as the run records them.
  v.add_restricted_name(L"STRASSE");
  v.add_restricted_name(L"FILE");
  struct {
    std::wstring name, safe;
  } cases[] = {
      // Control characters, and what XML cannot carry, become "_".
      {std::wstring(L"a\0b", 3), L"a_b"},
      {L"a\x01" L"b", L"a_b"},
      {L"T\tX", L"T_X"},
      {L"l\nf\rc", L"l_f_c"},
      {L"d\x7f" L"e\x85" L"f\x9f", L"d_e_f_"},
      {L"x\xFFFE" L"y\xFFFF", L"x_y_"},
      // Equal once fully folded, as some readers compare.
      {L"Straße", L"Straße00000"},
      {L"STRAẞE", L"STRAẞE00000"},
      {L"\xFB01le", L"\xFB01le00000"},
      // Kept by Excel for itself, in any case.
      {L"History", L"History00000"},
      {L"HISTORY", L"HISTORY00000"},
      {L"Histories", L"Histories"},
      {L"a\u2028b", L"a\u2028b"},
  };
  for (const auto& c : cases) {
    std::wstring safe = v.is_acceptable(c.name) ? c.name : v.get_safe_name(c.name);
    EXPECT_EQ(safe, c.safe) << safe.size();
  }
  EXPECT_TRUE(v.is_duplicated(L"strasse"));
  EXPECT_TRUE(v.is_duplicated(L"straße"));
  // Other validators compare one character at a time.
  dao_validator fields;
  fields.add_used_name(L"STRASSE");
  EXPECT_FALSE(fields.is_duplicated(L"Straße"));
}

TEST(DaoValidator, FieldAndIndexNamesAreTaken) {
  udb_schema schema;
  schema.push_back(std::make_unique<t_ftd>(4, L"ID", VT_I4, false, 0, ole_variant(), 0, L""));
  dao_fn_validator fields(schema);
  EXPECT_TRUE(fields.is_duplicated(L"id"));
  EXPECT_TRUE(fields.is_acceptable(L"ID")) << "a column keeps its own name";
  EXPECT_EQ(fields.get_safe_name(L"I.D"), L"I_D");

  // Field names keep the 64 UTF-16 units the engine takes, and stay unique.
  std::wstring a = std::wstring(70, L'C') + L"A", b = std::wstring(70, L'C') + L"B", emoji;
  for (int i = 0; i < 40; ++i) emoji += L"😀";
  EXPECT_TRUE(fields.is_acceptable(std::wstring(64, L'C')));
  EXPECT_FALSE(fields.is_acceptable(a));
  EXPECT_FALSE(fields.is_acceptable(emoji.substr(0, 33)));
  EXPECT_EQ(fields.get_safe_name(a), std::wstring(63, L'C'));
  fields.add_restricted_name(std::wstring(63, L'C'));
  EXPECT_EQ(fields.get_safe_name(b), std::wstring(58, L'C') + L"00000");
  EXPECT_EQ(fields.get_safe_name(emoji), emoji.substr(0, 31));

  udb_indexes indexes;
  udb_index pk;
  pk.name = L"PK_EMP";
  indexes.push_back(pk);
  dao_in_validator names(indexes);
  EXPECT_TRUE(names.is_duplicated(L"pk_emp"));
  EXPECT_TRUE(names.is_acceptable(L"PK_EMP"));
}

}  // namespace

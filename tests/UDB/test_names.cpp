#include "TK/tk_exception.h"
#include "TK/tk_singleton.h"
#include "UDB/udb_names_map.h"
#include "UDB/udb_validator.h"
#include "udb_test_support.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

TEST(Validator, AcceptanceInOrderOfTheRules) {
  udb_validator v(5);
  v.illegal_chars = {L'/', L'*'};
  v.add_restricted_name(L"Order");
  v.add_used_name(L"Emp");
  struct {
    const wchar_t* name;
    bool acceptable, duplicated;
  } cases[] = {
      {L"abcde", true, false}, {L"abcdef", false, false}, {L"ORDER", false, false},
      {L"a/b", false, false},  {L"EMP", true, true},      {L"", true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(v.is_acceptable(c.name), c.acceptable) << c.name;
    EXPECT_EQ(v.is_duplicated(c.name), c.duplicated) << c.name;
  }
}

TEST(Validator, SafeNames) {
  std::wstring forty(40, L'n');
  for (std::size_t i = 0; i < forty.size(); ++i) forty[i] = static_cast<wchar_t>(L'a' + i % 26);
  std::wstring thirty = forty.substr(0, 30);

  udb_validator v(31);
  EXPECT_EQ(v.get_safe_name(forty), thirty);
  v.add_existing_name(thirty);
  EXPECT_EQ(v.get_safe_name(forty), forty.substr(0, 25) + L"00000");
  v.add_existing_name(forty.substr(0, 25) + L"00000");
  EXPECT_EQ(v.get_safe_name(forty), forty.substr(0, 25) + L"00001");

  // Lengths count UTF-16 units; no cut splits a character.
  std::wstring emoji;
  for (int i = 0; i < 20; ++i) emoji += L"😀";
  udb_validator units(31);
  EXPECT_FALSE(units.is_acceptable(emoji.substr(0, 16)));
  EXPECT_TRUE(units.is_acceptable(emoji.substr(0, 15) + L"x"));
  EXPECT_EQ(units.get_safe_name(emoji), emoji.substr(0, 15));
  units.add_existing_name(emoji.substr(0, 15));
  EXPECT_EQ(units.get_safe_name(emoji), emoji.substr(0, 12) + L"00000");

  udb_validator words(31);
  words.add_restricted_name(L"SELECT");
  EXPECT_EQ(words.get_safe_name(L"select"), L"select00000");
  words.add_restricted_name(std::wstring(28, L'x'));
  EXPECT_EQ(words.get_safe_name(std::wstring(28, L'X')), std::wstring(25, L'X') + L"00000");

  udb_validator chars(0);
  chars.illegal_chars = {L'/', L'*'};
  EXPECT_EQ(chars.get_safe_name(L"a/b*c"), L"a_b_c");
  // The counter makes a name unique even without a length limit.
  chars.add_existing_name(L"a_b_c");
  EXPECT_EQ(chars.get_safe_name(L"a/b*c"), L"a_b_c00000");
}

// A derived validator's own rules decide inside get_safe_name.
class digits_refused : public udb_validator {
 public:
  digits_refused() : udb_validator(0) {}
  bool is_acceptable(const std::wstring& name) override {
    return name.find_first_of(L"0123456789") == std::wstring::npos && udb_validator::is_acceptable(name);
  }
};

TEST(Validator, NoSafeNameLeftIsAnInternalError) {
  digits_refused v;
  v.add_existing_name(L"x");
  try {
    v.get_safe_name(L"x");
    FAIL() << "no exception";
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.level, 2);
  }
}

// Counts the names tried.
class counting : public udb_validator {
 public:
  counting() : udb_validator(31) {}
  bool is_acceptable(const std::wstring& name) override {
    ++tried;
    return udb_validator::is_acceptable(name);
  }
  long tried = 0;
};

TEST(Validator, ManyNamesOfOneBaseTryEachCounterOnce) {
  counting v;
  const std::wstring base(25, L'P');
  v.add_existing_name(base);
  for (int i = 0; i < 1000; ++i) {
    std::wstring name = v.get_safe_name(base);
    wchar_t digits[8];
    std::swprintf(digits, 8, L"%05d", i);
    ASSERT_EQ(name, base + digits);
    v.add_existing_name(name);
  }
  // The first try and the counter found free, then the one taken since.
  EXPECT_LE(v.tried, 3 * 1000 + 1);
  // A name given but not recorded is still free: it comes again.
  EXPECT_EQ(v.get_safe_name(base), base + L"01000");
  EXPECT_EQ(v.get_safe_name(base), base + L"01000");
  // A counted name taken from elsewhere is passed over.
  v.add_existing_name(base + L"01000");
  v.add_existing_name(base + L"01001");
  EXPECT_EQ(v.get_safe_name(base), base + L"01002");
}

class index_names : public tk_singleton<index_names> {
 public:
  udb_validator& validator() { return names; }
  udb_validator names{30};
};

TEST(Validator, UniqueIndexNaming) {
  // Without the program-wide validator the naming is an internal error.
  EXPECT_THROW(udb_unique_index_name<index_names>(L"EMP"), tk_mail_assertion);

  index_names holder;
  EXPECT_EQ(udb_unique_index_name<index_names>(L"EMP"), L"EMP_UI");
  EXPECT_EQ(udb_unique_index_name<index_names>(L"EMP"), L"EMP_UI00000");
  EXPECT_EQ(holder.names.used_names(), (std::vector<std::wstring>{L"EMP_UI", L"EMP_UI00000"}));
  EXPECT_EQ(holder.names.restricted_names(), holder.names.used_names());
  std::wstring long_name(29, L'T');
  // Too long with its suffix: the safe name cuts the suffix away.
  EXPECT_EQ(udb_unique_index_name<index_names>(long_name), long_name);
}

TEST(NamesMap, LookupsAndFirstPairWins) {
  t_names_map fields;
  fields.add(L"Amount", L"AMOUNT_1");
  fields.add(L"Amount", L"other");
  EXPECT_EQ(fields.get_mapped_name(L"Amount", true), L"AMOUNT_1");
  EXPECT_EQ(fields.get_mapped_name(L"AMOUNT", false), L"AMOUNT_1");
  EXPECT_EQ(fields.get_mapped_name(L"AMOUNT", true), L"AMOUNT");
  EXPECT_EQ(fields.get_mapped_name(L"never", false), L"never");

  udb_names_map names;
  names.add_tn_mapping(L"Emp Data", L"EMP_DATA");
  names.add_fn_map(L"Emp Data", fields);
  EXPECT_EQ(names.get_tn_mapped_name(L"emp data", false), L"EMP_DATA");
  EXPECT_EQ(names.get_tn_mapped_name(L"emp data", true), L"emp data");
  EXPECT_EQ(names.get_fn_mapped_name(L"Emp Data", L"amount", false), L"AMOUNT_1");
  // The table's field map is found by its exact name only.
  EXPECT_EQ(names.get_fn_mapped_name(L"EMP DATA", L"amount", false), L"amount");
}

TEST(NamesMap, GlobalReplaceOnWholeWordsOnly) {
  t_names_map emp;
  emp.add(L"EMP", L"E2");
  struct {
    const wchar_t *text, *prefix, *suffix, *result;
  } cases[] = {
      {L"SELECT EMP.ID FROM EMP, EMPLOYEES", L"", L"", L"SELECT E2.ID FROM E2, EMPLOYEES"},
      {L"SELECT EMP.ID FROM EMP, EMPLOYEES", L"\"", L"\"", L"SELECT \"E2\".ID FROM \"E2\", EMPLOYEES"},
      {L"EMP", L"", L"", L"E2"},
      {L"XEMP EMP1 emp _EMP_", L"", L"", L"XEMP EMP1 emp _E2_"},
      {L"\u00c9EMP EMP\u0416", L"", L"", L"\u00c9EMP EMP\u0416"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(udb_names_map::do_global_replace2(c.text, emp, c.prefix, c.suffix), c.result) << c.text;

  // A replacement that holds its own source name is not replaced again.
  t_names_map self;
  self.add(L"A", L"A A");
  self.add(L"", L"never");
  EXPECT_EQ(udb_names_map::do_global_replace2(L"A + A", self, L"", L""), L"A A + A A");

  udb_names_map names;
  names.add_tn_mapping(L"EMP", L"E2");
  t_names_map fields;
  fields.add(L"ID", L"EMP_ID");
  names.add_fn_map(L"EMP", fields);
  // Tables first, then fields: the new field name is not taken for a table.
  EXPECT_EQ(names.do_global_replace1(L"SELECT ID FROM EMP", L"[", L"]"), L"SELECT [EMP_ID] FROM [E2]");
}

}  // namespace

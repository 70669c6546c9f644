#include "agent/console.h"
#include "agent/options.h"
#include "common/error_handler.h"
#include "common/quillet_convertor.h"
#include "common/xls_engine.h"

#include "TK/tk_utils.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wide_text.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class Options : public ::testing::Test {
 protected:
  bool parse(std::vector<std::string> args) {
    std::vector<char*> argv{const_cast<char*>("QUILLCMD")};
    for (auto& a : args) argv.push_back(a.data());
    return parse_cmd_line(static_cast<int>(argv.size()), argv.data());
  }
  qm_test::temp_folder made{"qm_agent_"};
  std::string folder = made.path;
  console_front_end front;
  error_handler errors{oracle_error_count, oracle_error_table};
};

TEST_F(Options, ASettingsFileWrittenByTheWizardRoundTripsEverySetting) {
  std::string file = folder + "/wizard.qlt";
  {
    quillet_convertor wizard(front);
    wizard.source_name = L"ORCL";
    wizard.destination = L"/out/emp.xlsx";
    wizard.format_version = 2;
    wizard.split_data = wizard.wrap_text = wizard.dates_to_strings = true;
    wizard.mode = 3;
    wizard.selected_tables = {L"DEPT", L"EMP"};
    wizard.selected = {{L"DEPT", L""}, {L"EMP", L""}, {L"RICH", L"SELECT * FROM EMP WHERE SAL > 3000"}};
    wizard.available_queries = {{L"RICH", L"SELECT * FROM EMP WHERE SAL > 3000"}};
    wizard.store_oracle_settings(L"db.example", L"SCOTT", L"tiger", L"1522");
    ASSERT_TRUE(wizard.store_profile(qm_test::wide(file)));
  }
  quillet_convertor console(front);
  ASSERT_TRUE(parse({"--profile=" + file}));
  EXPECT_EQ(console.source_name, L"ORCL");
  EXPECT_EQ(console.destination, L"/out/emp.xlsx");
  EXPECT_EQ(console.format_version, 2);
  EXPECT_TRUE(console.split_data && console.wrap_text && console.dates_to_strings);
  EXPECT_EQ(console.mode, 3u);
  EXPECT_EQ(console.selected_tables, (std::vector<std::wstring>{L"DEPT", L"EMP"}));
  EXPECT_EQ(console.selected.size(), 3u);
  EXPECT_EQ(console.selected.at(L"RICH"), L"SELECT * FROM EMP WHERE SAL > 3000");
  EXPECT_EQ(console.available_queries.size(), 1u);
  EXPECT_EQ(console.host, L"db.example");
  EXPECT_EQ(console.user, L"SCOTT");
  EXPECT_EQ(console.password, L"tiger");
  EXPECT_EQ(console.port, L"1522");
}

// Names of tables and queries that a settings file's lines could read
// otherwise: each is saved by the wizard and loaded by QUILLCMD as it was.
TEST_F(Options, EveryNameTheWizardSavesLoadsBackAsItWas) {
  const std::vector<std::wstring> names = {
      L"sp", L" sp ", L"sp ", L"  sp", L"[q", L"[DEPT]", L"[Selected Tables]", L"a=b", L"=", L"a==b ", L"x\\s",
      L"C:\\new\\t", L"back\\", L"tab\tin", L"\u00c4rger \u0416", L"[ Generic settings ]", L"q]", L"#;"};
  for (bool queries : {false, true}) {
    SCOPED_TRACE(queries ? "queries" : "tables");
    const std::string file = folder + (queries ? "/queries.qlt" : "/tables.qlt");
    std::map<std::wstring, std::wstring> selected, available;
    std::vector<std::wstring> tables;
    {
      quillet_convertor wizard(front);
      wizard.source_name = L"ORCL";
      wizard.destination = L"/out/names.xlsx";
      wizard.format_version = 2;
      for (const std::wstring& name : names) {
        // A query's text ends in "]" or in blanks.
        wizard.selected[name] = queries ? L"SELECT '" + name + L"' FROM DUAL ]" : L"";
        if (queries)
          wizard.available_queries[name] = L"SELECT 1 FROM DUAL  ";
        else
          wizard.selected_tables.push_back(name);
      }
      wizard.store_oracle_settings(L"db", L"SCOTT", L" ti=ger ", L"1522");
      ASSERT_TRUE(wizard.store_profile(qm_test::wide(file)));
      selected = wizard.selected;
      available = wizard.available_queries;
      tables = wizard.selected_tables;
    }
    quillet_convertor console(front);
    ASSERT_TRUE(parse({"--profile=" + file}));
    EXPECT_EQ(console.selected, selected);
    EXPECT_EQ(console.available_queries, available);
    std::sort(tables.begin(), tables.end());
    EXPECT_EQ(console.selected_tables, tables);
    EXPECT_EQ(console.password, L" ti=ger ");
  }
}

// The blanks at the ends of a table list's lines are not part of the
// names, as in a settings file; each name is selected once.
TEST_F(Options, ATableListSelectsEachNameOnceWithoutTheBlanksAtItsEnds) {
  const struct {
    std::string text;
    std::vector<std::wstring> tables;
  } cases[] = {
      {"  DEPT  \nEMP\n\n   \nDEPT\nEMP \n", {L"DEPT", L"EMP"}},
      {"   \n\xEF\xBB\xBF EMP\r\n\t\xC3\x84RGER\r\nA B\n", {L"\t\u00c4RGER", L"A B", L"EMP"}},
      {"\xEF\xBB\xBF\n", {}},
  };
  for (const auto& c : cases) {
    std::ofstream(folder + "/list.txt", std::ios::binary | std::ios::trunc) << c.text;
    quillet_convertor console(front);
    console.selected = {{L"Q", L"SELECT 1 FROM DUAL"}, {L"OLD", L""}};
    ASSERT_TRUE(parse({"--src=DEMO", "--dest=x.xlsx", "--xls_ver=2", "--tab_file=" + folder + "/list.txt"}));
    EXPECT_EQ(console.selected_tables, c.tables) << c.text;
    EXPECT_EQ(console.selected, (std::map<std::wstring, std::wstring>{{L"Q", L"SELECT 1 FROM DUAL"}}));
  }
}

TEST_F(Options, OptionsOfTheCommandLine) {
  quillet_convertor console(front);
  ASSERT_TRUE(parse({"--dest=" + folder + "/out.txt", "--wrapped", "--date2str", "--src=DEMO", "--user=u",
                     "--pswd=p", "--port=1600", "--host=db", "--xls_ver=1"}));
  EXPECT_EQ(console.destination, qm_test::wide(folder + "/out.xls"));
  EXPECT_EQ(console.format_version, 1);
  EXPECT_TRUE(console.wrap_text);
  for (xls_engine* e : engines) EXPECT_TRUE(e->wrap);
  EXPECT_TRUE(console.dates_to_strings);
  EXPECT_FALSE(console.split_data);
  EXPECT_EQ(console.host, L"db");
  EXPECT_EQ(console.port, L"1600");
  EXPECT_EQ(console.user, L"u");
  EXPECT_EQ(console.password, L"p");
  EXPECT_FALSE(parse({"--src=DEMO", "--dest=x.xls", "--xls_ver=1", "stray"}));
}

TEST_F(Options, ARelativeDestinationIsMadeFull) {
  quillet_convertor console(front);
  ASSERT_TRUE(parse({"--xls_ver=2", "--dest=book", "--src=DEMO"}));
  EXPECT_EQ(console.destination, tk_get_current_dir_w() + L"/book.xlsx");
  EXPECT_EQ(console.host, L"localhost");
  EXPECT_EQ(console.port, L"1521");
}

}  // namespace

#include "agent/ansi_cmd_line.h"
#include "TK/tk_exception.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const cmd_line_option options[] = {{0, "--date2str"}, {7, "--split"}, {11, "--wrap"}, {12, "--xls_ver="}, {0, ""}};

struct parsed {
  int id;
  std::string value;
};

std::vector<parsed> parse_all(std::vector<std::string> args, int* positional = nullptr) {
  std::vector<char*> argv{const_cast<char*>("QUILLCMD")};
  for (auto& a : args) argv.push_back(a.data());
  ansi_cmd_line line(static_cast<int>(argv.size()), argv.data(), options);
  std::vector<parsed> out;
  for (; line.has_more(); line.next()) out.push_back({line.get_option_id(), line.get_value()});
  if (positional) *positional = line.get_positional_count();
  EXPECT_THROW(line.next(), tk_mail_assertion);
  return out;
}

TEST(CmdLine, PrefixesInTableOrderAndPositionals) {
  int positional = 0;
  auto out = parse_all({"--wrapped", "--xls_ver=2", "--splitting", "--mode=append"}, &positional);
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[0].id, 11);
  EXPECT_EQ(out[0].value, "ped");
  EXPECT_EQ(out[1].id, 12);
  EXPECT_EQ(out[1].value, "2");
  EXPECT_EQ(out[2].id, 7);
  EXPECT_EQ(out[3].id, -1);
  EXPECT_EQ(positional, 1);
  EXPECT_TRUE(parse_all({}).empty());
}

TEST(CmdLine, TwentyOnePositionalsAreAnInternalError) {
  std::vector<std::string> args(21, "x");
  EXPECT_THROW(parse_all(args), tk_mail_assertion);
  EXPECT_EQ(parse_all(std::vector<std::string>(20, "x")).size(), 20u);
}

}  // namespace

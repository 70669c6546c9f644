#include "platform/utf8.h"
#include "support.h"
#include "xlsx/xml_writer.h"
#include "tests/support/wide_text.h"

#include <clocale>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

using namespace XlsxModel;
using namespace XlsxModel::xml;

namespace {

std::string written(const std::function<void(XmlWriter&)>& tokens) {
  memory_output out;
  {
    XmlWriter w(out);
    tokens(w);
  }
  return out.text();
}

TEST(XmlWriter, TokenRules) {
  struct {
    const char* what;
    std::function<void(XmlWriter&)> tokens;
    const char* markup;
  } cases[] = {
      {"empty element", [](XmlWriter& w) { w << el(L"a") << end(); }, "<a/>"},
      {"attribute", [](XmlWriter& w) { w << el(L"a") << at(L"x") << 1 << end(); }, "<a x=\"1\"/>"},
      {"content", [](XmlWriter& w) { w << el(L"a") << body() << L"t" << end(); }, "<a>t</a>"},
      {"named end closes down to it", [](XmlWriter& w) { w << el(L"a") << el(L"b") << end(L"a"); },
       "<a><b/></a>"},
      {"attribute then child",
       [](XmlWriter& w) { w << el(L"a") << at(L"x") << L"1" << el(L"b") << end() << end(); },
       "<a x=\"1\"><b/></a>"},
      {"streamed name",
       [](XmlWriter& w) { w << el(L"") << L"x" << 5 << at(L"k") << 2 << end(); }, "<x5 k=\"2\"/>"},
      {"two attributes", [](XmlWriter& w) { w << el(L"a") << at(L"x") << 1 << at(L"y") << L"z" << end(); },
       "<a x=\"1\" y=\"z\"/>"},
      {"attribute in content is dropped",
       [](XmlWriter& w) { w << el(L"a") << body() << at(L"x") << L"t" << end(); }, "<a>t</a>"},
      {"end with nothing open", [](XmlWriter& w) { w << end() << end(L"x"); }, ""},
      {"unknown name closes everything",
       [](XmlWriter& w) { w << el(L"a") << el(L"b") << body() << L"v" << end(L"zz") << el(L"c") << end(); },
       "<a><b>v</b></a><c/>"},
      {"unknown kind is ignored", [](XmlWriter& w) { w << XmlToken{7, L"a"} << el(L"b") << end(); }, "<b/>"},
      {"numbers",
       [](XmlWriter& w) {
         w << el(L"n") << at(L"a") << 0.25 << at(L"b") << 15.0 << at(L"c") << 14.03 << at(L"d") << -7L << at(L"e")
           << 18446744073709551615ull << at(L"f") << 8.43f << at(L"g") << 1234567.0 << end();
       },
       "<n a=\"0.25\" b=\"15\" c=\"14.03\" d=\"-7\" e=\"18446744073709551615\" f=\"8.43\" g=\"1.23457e+06\"/>"},
      {"wide text as UTF-8", [](XmlWriter& w) { w << el(L"t") << body() << L"\u0416 \u00df \U0001F600" << end(); },
       "<t>\xD0\x96 \xC3\x9F \xF0\x9F\x98\x80</t>"},
  };
  for (const auto& c : cases) EXPECT_EQ(written(c.tokens), c.markup) << c.what;
}

TEST(XmlWriter, StreamedNameIsPushedWhileOpen) {
  memory_output out;
  XmlWriter w(out);
  w << el(L"") << L"x" << 5 << at(L"k");
  ASSERT_EQ(w.open_elements().size(), 1u);
  EXPECT_EQ(w.open_elements().back(), L"x5");
  EXPECT_EQ(w.state(), 2);
}

TEST(XmlWriter, DestructorClosesOpenElementsInnermostFirst) {
  EXPECT_EQ(written([](XmlWriter& w) { w << el(L"a") << el(L"b") << body() << L"t" << el(L"c"); }),
            "<a><b>t<c/></b></a>");
  EXPECT_EQ(written([](XmlWriter& w) { w << el(L"a") << el(L"") << L"n"; }), "<a><n/></a>")
      << "a name being streamed closes itself";
}

TEST(XmlWriter, PrologOnlyOnceAndOnlyBetweenTags) {
  const char* decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n";
  EXPECT_EQ(written([](XmlWriter& w) { w << prolog() << prolog() << el(L"a") << end(); }),
            std::string(decl) + "<a/>");
  EXPECT_EQ(written([](XmlWriter& w) { w << el(L"a") << prolog() << body() << prolog() << end(); }),
            std::string("<a>") + decl + "</a>")
      << "a prolog inside a start tag waits for the state to return to content";
}

TEST(XmlWriter, NumbersIgnoreTheLocale) {
  // A locale with a decimal comma, when the machine has one.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
  std::string text = written([](XmlWriter& w) { w << el(L"n") << at(L"a") << 0.7 << at(L"b") << 1234 << end(); });
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(text, "<n a=\"0.7\" b=\"1234\"/>") << (comma ? "under a comma locale" : "C locale only");
}

TEST(XmlWriter, NarrowTwinWritesBytesUnchanged) {
  memory_output out;
  {
    XmlWriterA w(out);
    w << XmlTokenA{xml_element, "si"} << XmlTokenA{xml_element, "t"} << XmlTokenA{xml_end_of_start, {}}
      << "a&amp;b \xD0\x96" << XmlTokenA{xml_end, "si"} << XmlTokenA{xml_element, "n"}
      << XmlTokenA{xml_attribute, "v"} << 42u;
  }
  EXPECT_EQ(out.text(), "<si><t>a&amp;b \xD0\x96</t></si><n v=\"42\"/>");
}

TEST(PartOutput, LargeWritesCrossTheBuffer) {
  memory_output out;  // a small buffer: every path of the buffering is used
  std::wstring wide(1000, L'\u0416');
  std::string narrow(3000, 'x');
  out.write_wide(wide);
  out.write(narrow);
  out.put('!');
  const std::string& text = out.text();
  ASSERT_EQ(text.size(), 2000u + 3000u + 1u);
  EXPECT_EQ(text.substr(0, 2), "\xD0\x96");
  EXPECT_EQ(text.substr(1998, 3), "\xD0\x96x");
  EXPECT_EQ(text.back(), '!');
  EXPECT_TRUE(out.close());
}

TEST(PartOutput, RewriteReachesBytesInTheFileAndInTheBuffer) {
  scratch_folder scratch;
  std::wstring path = qm_test::wide((scratch.path + "/sub/part.xml"));
  std::wstring error;
  std::unique_ptr<part_output> out = part_file_system::real().open(path, error);
  ASSERT_TRUE(out) << std::string(error.begin(), error.end());
  std::string block(100000, 'x');
  out->write(block);
  out->write(block);
  out->write("tail");
  EXPECT_EQ(out->position(), 200004u);
  EXPECT_TRUE(out->rewrite(10, "AB"));          // on disk already
  EXPECT_TRUE(out->rewrite(199990, "CD"));      // still in the buffer
  EXPECT_FALSE(out->rewrite(200003, "EF")) << "past the end";
  ASSERT_TRUE(out->close());
  EXPECT_FALSE(out->rewrite(0, "G")) << "after the close";
  std::ifstream in(scratch.path + "/sub/part.xml", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(text.size(), 200004u);
  EXPECT_EQ(text.substr(8, 6), "xxABxx");
  EXPECT_EQ(text.substr(199988, 6), "xxCDxx");
  EXPECT_EQ(text.substr(200000), "tail");
}

TEST(PartOutput, OpenFailsWithThePathAndTheCause) {
  scratch_folder scratch;
  std::ofstream(scratch.path + "/file") << "x";
  std::wstring error;
  std::wstring path = qm_test::wide((scratch.path + "/file/part.xml"));
  EXPECT_EQ(part_file_system::real().open(path, error), nullptr);
  EXPECT_EQ(error, L"cannot create \"" + path + L"\": Not a directory");
}

}  // namespace

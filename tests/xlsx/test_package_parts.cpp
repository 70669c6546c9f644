#include "memory_files.h"
#include "support.h"
#include "xlsx/package_parts.h"
#include "xlsx/xlsx_model.h"

#include <gtest/gtest.h>

using namespace XlsxModel;

namespace {

const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n";
const std::string rel_type = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

std::string rel(const char* id, const char* type, const char* target) {
  return std::string("<Relationship Id=\"") + id + "\" Type=\"" + rel_type + type + "\" Target=\"" + target + "\"/>";
}

std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

bool contains(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

void one_row(CWorksheet& sheet, std::initializer_list<const wchar_t*> texts) {
  sheet.begin_row();
  for (const wchar_t* t : texts) sheet.AddCell(CellDataStr{t, 0});
  sheet.end_row();
}

TEST(WorkbookPart, TwoSheetsWithoutFormula) {
  memory_files files;
  CWorkbook book(files);
  one_row(*book.AddSheet2(L"First", {}), {L"a"});
  one_row(*book.AddSheet2(L"Second & more", {}), {L"b"});
  ASSERT_TRUE(write_workbook_part(book));
  EXPECT_EQ(files.part(L"xl/_rels/workbook.xml.rels"),
            decl + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
                rel("rId1", "styles", "styles.xml") + rel("rId2", "theme", "theme/theme1.xml") +
                rel("rId3", "worksheet", "worksheets/sheet1.xml") + rel("rId4", "worksheet", "worksheets/sheet2.xml") +
                rel("rId5", "sharedStrings", "sharedStrings.xml") + "</Relationships>");
  EXPECT_EQ(files.part(L"xl/workbook.xml"),
            decl +
                "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                "<fileVersion appName=\"xl\" lastEdited=\"5\" lowestEdited=\"5\" rupBuild=\"9302\"/>"
                "<workbookPr codeName=\"ThisWorkbook\" defaultThemeVersion=\"124226\"/>"
                "<bookViews><workbookView xWindow=\"270\" yWindow=\"630\" windowWidth=\"24615\" "
                "windowHeight=\"11445\"/></bookViews>"
                "<sheets><sheet name=\"First\" sheetId=\"1\" r:id=\"rId3\"/>"
                "<sheet name=\"Second &amp; more\" sheetId=\"2\" r:id=\"rId4\"/></sheets>"
                "<calcPr calcId=\"124519\"/></workbook>");
  ASSERT_TRUE(write_content_types(book));
  EXPECT_FALSE(files.has_part(L"xl/calcChain.xml"));
  EXPECT_FALSE(contains(files.part(L"[Content_Types].xml"), "calcChain"));
}

TEST(WorkbookPart, FormulaAddsTheCalculationChain) {
  memory_files files;
  CWorkbook book(files);
  CWorksheet* first = book.AddSheet2(L"F", {});
  first->begin_row();
  first->AddCell(CellDataStr{L"1", 0});
  first->AddCell(CellDataFormula{L"A1*2", 0});
  first->AddCell(CellDataFormula{L"B1+1", 0});
  first->end_row();
  ASSERT_TRUE(write_content_types(book));
  ASSERT_TRUE(write_workbook_part(book));
  EXPECT_TRUE(contains(files.part(L"xl/_rels/workbook.xml.rels"),
                       rel("rId3", "worksheet", "worksheets/sheet1.xml") + rel("rId4", "calcChain", "calcChain.xml") +
                           rel("rId5", "sharedStrings", "sharedStrings.xml")));
  EXPECT_TRUE(contains(files.part(L"[Content_Types].xml"),
                       "<Override PartName=\"/xl/calcChain.xml\" ContentType=\"application/"
                       "vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml\"/>"));
  EXPECT_EQ(files.part(L"xl/calcChain.xml"),
            decl + "<calcChain xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                   "<c i=\"1\" r=\"B1\"/><c r=\"C1\"/></calcChain>");
  ASSERT_TRUE(write_shared_strings(book));
  EXPECT_EQ(book.part_list,
            (std::vector<std::wstring>{L"[Content_Types].xml", L"_rels/.rels", L"docProps/core.xml",
                                       L"docProps/app.xml", L"xl/workbook.xml", L"xl/styles.xml",
                                       L"xl/_rels/workbook.xml.rels", L"xl/theme/theme1.xml", L"xl/calcChain.xml",
                                       L"xl/sharedStrings.xml"}));
}

TEST(WorkbookPart, EmptyCellsGiveNoSharedStrings) {
  memory_files files;
  CWorkbook book(files);
  one_row(*book.AddSheet2(L"E", {}), {L"", L""});
  std::size_t parts = book.part_list.size();
  ASSERT_TRUE(write_shared_strings(book));
  ASSERT_TRUE(write_content_types(book));
  ASSERT_TRUE(write_workbook_part(book));
  EXPECT_FALSE(files.has_part(L"xl/sharedStrings.xml"));
  EXPECT_FALSE(contains(files.part(L"[Content_Types].xml"), "sharedStrings"));
  EXPECT_FALSE(contains(files.part(L"xl/_rels/workbook.xml.rels"), "sharedStrings"));
  EXPECT_EQ(book.part_list.size(), parts);
}

TEST(WorkbookPart, SharedStringsInIndexOrderWithBlanksKept) {
  memory_files files;
  CWorkbook book(files);
  one_row(*book.AddSheet2(L"S", {}), {L"b", L"a<b", L"b", L" lead", L"trail\n", L"\u0416"});
  ASSERT_TRUE(write_shared_strings(book));
  EXPECT_EQ(files.part(L"xl/sharedStrings.xml"),
            decl +
                "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"5\" "
                "uniqueCount=\"5\"><si><t>b</t></si><si><t>a&lt;b</t></si><si><t xml:space=\"preserve\"> lead</t></si>"
                "<si><t xml:space=\"preserve\">trail&#10;</t></si><si><t>\xD0\x96</t></si></sst>");
}

TEST(WorkbookPart, TextsOfARowLeftOpenAreSharedStrings) {
  memory_files files;
  CWorkbook book(files);
  CWorksheet* sheet = book.AddSheet2(L"S", {});
  sheet->begin_row();
  sheet->AddCell(CellDataStr{L"open", 0});
  // The parts in the order the workbook writes them; the row is still open.
  ASSERT_TRUE(write_content_types(book));
  ASSERT_TRUE(write_shared_strings(book));
  ASSERT_TRUE(write_workbook_part(book));
  ASSERT_TRUE(sheet->Save());
  EXPECT_TRUE(contains(files.part(L"[Content_Types].xml"), "/xl/sharedStrings.xml"));
  EXPECT_TRUE(contains(files.part(L"xl/_rels/workbook.xml.rels"), "sharedStrings.xml"));
  EXPECT_TRUE(contains(files.part(L"xl/sharedStrings.xml"), "count=\"1\" uniqueCount=\"1\"><si><t>open</t></si>"));
  EXPECT_TRUE(contains(files.part(L"xl/worksheets/sheet1.xml"), "<c r=\"A1\" t=\"s\"><v>0</v></c></row>"));
}

TEST(AppProps, ThreeSheetsNoCharts) {
  memory_files files;
  CWorkbook book(files);
  book.AddSheet2(L"A", {});
  book.AddSheet2(L"B:1", {});
  book.AddSheet2(L"C", {});
  ASSERT_TRUE(write_app_props(book));
  EXPECT_EQ(files.part(L"docProps/app.xml"),
            decl +
                "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\" "
                "xmlns:vt=\"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes\">"
                "<Application>Microsoft Excel</Application><DocSecurity>0</DocSecurity><ScaleCrop>false</ScaleCrop>"
                "<HeadingPairs><vt:vector size=\"2\" baseType=\"variant\"><vt:variant><vt:lpstr>Worksheets</vt:lpstr>"
                "</vt:variant><vt:variant><vt:i4>3</vt:i4></vt:variant></vt:vector></HeadingPairs>"
                "<TitlesOfParts><vt:vector size=\"3\" baseType=\"lpstr\"><vt:lpstr>A</vt:lpstr>"
                "<vt:lpstr>B&#58;1</vt:lpstr><vt:lpstr>C</vt:lpstr></vt:vector></TitlesOfParts><Company/>"
                "<LinksUpToDate>false</LinksUpToDate><SharedDoc>false</SharedDoc>"
                "<HyperlinksChanged>false</HyperlinksChanged><AppVersion>14.03</AppVersion></Properties>");
}

TEST(CoreProps, CreatorAndTime) {
  SYSTEMTIME t{};
  t.wYear = 2011;
  t.wMonth = 3;
  t.wDay = 3;
  t.wHour = 14;
  t.wMinute = 5;
  t.wSecond = 9;
  EXPECT_EQ(core_time_text(t), L"2011-03-03T14:05:09Z");

  struct {
    const char* username;
    const char* user;
    const char* creator;
  } cases[] = {{nullptr, nullptr, "Unknown"}, {nullptr, "ann", "ann"}, {"Bob & Co", "ann", "Bob &amp; Co"},
               // An 8-bit locale's name is text, one character a byte.
               {"Jos\xe9", "ann", "Jos\xc3\xa9"}};
  for (const auto& c : cases) {
    scoped_env a("USERNAME", c.username), b("USER", c.user);
    memory_files files;
    CWorkbook book(files);
    ASSERT_TRUE(write_core_props(book));
    std::string core = files.part(L"docProps/core.xml");
    EXPECT_TRUE(contains(core, std::string("<dc:creator>") + c.creator + "</dc:creator><cp:lastModifiedBy>" +
                                   c.creator + "</cp:lastModifiedBy>"))
        << core;
    EXPECT_EQ(count_of(core, "xsi:type=\"dcterms:W3CDTF\">"), 2u);
    EXPECT_EQ(files.part(L"_rels/.rels"),
              decl + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
                  rel("rId3", "extended-properties", "docProps/app.xml") +
                  "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/"
                  "metadata/core-properties\" Target=\"docProps/core.xml\"/>" +
                  rel("rId1", "officeDocument", "xl/workbook.xml") + "</Relationships>");
  }
}

TEST(Styles, NewWorkbook) {
  memory_files files;
  CWorkbook book(files);
  ASSERT_TRUE(write_styles(book));
  EXPECT_EQ(
      files.part(L"xl/styles.xml"),
      decl +
          "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
          "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" mc:Ignorable=\"x14ac\" "
          "xmlns:x14ac=\"http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac\">"
          "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"0.00\"/></numFmts>"
          "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><charset val=\"204\"/>"
          "<color theme=\"1\"/></font></fonts>"
          "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
          "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
          "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
          "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
          "<cellXfs><xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" applyNumberFormat=\"1\"/>"
          "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"1\" borderId=\"0\" applyFill=\"1\" applyNumberFormat=\"1\"/>"
          "</cellXfs>"
          "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
          "<dxfs count=\"0\"/><tableStyles count=\"0\" defaultTableStyle=\"TableStyleMedium2\" "
          "defaultPivotStyle=\"PivotStyleLight16\"/>"
          "<extLst><ext uri=\"{EB79DEF2-80B8-43e5-95BD-54CBDDF9020C}\" "
          "xmlns:x14=\"http://schemas.microsoft.com/office/spreadsheetml/2009/9/main\">"
          "<x14:slicerStyles defaultSlicerStyle=\"SlicerStyleLight1\"/></ext></extLst></styleSheet>");
}

TEST(Styles, ComponentsAreKeptOnce) {
  StyleList list;
  Style plain;
  EXPECT_EQ(list.Add(plain), 0);
  Style again;
  EXPECT_EQ(list.Add(again), 0) << "the same style twice";
  EXPECT_EQ(list.cell_formats().size(), 1u);

  Style filled;
  filled.fill.pattern = 1;
  filled.fill.fg_colour = L"FFFF0000";
  EXPECT_EQ(list.Add(filled), 1);
  EXPECT_EQ(list.fills().size(), 2u);
  EXPECT_EQ(list.fonts().size(), 1u);
  EXPECT_EQ(list.borders().size(), 1u);
  EXPECT_EQ(list.numfmts().size(), 1u);

  Style other_id;
  other_id.number_format.id = 170;
  EXPECT_EQ(list.Add(other_id), 0) << "formats that differ only in their id share the first one's";
  EXPECT_EQ(list.numfmts().size(), 1u);

  Style thousands;
  thousands.number_format.thousands = true;
  list.Add(thousands);
  EXPECT_EQ(thousands.number_format.id, 165) << "a new format of the workbook's own gets the next id";

  Style builtin;
  builtin.number_format.id = 14;
  builtin.number_format.kind = numfmt_date;
  int index = list.Add(builtin);
  EXPECT_EQ(builtin.number_format.id, 14);
  EXPECT_EQ(list.cell_formats()[static_cast<std::size_t>(index)].numfmt_id, 14);

  Style diagonal_only;
  diagonal_only.border.sides[4].style = 1;
  list.Add(diagonal_only);
  EXPECT_EQ(list.borders().size(), 1u) << "the diagonal side takes no part in the comparison";
}

TEST(Styles, PartOfARichStyle) {
  memory_files files;
  CWorkbook book(files);
  Style s;
  s.font.attributes = 5;
  s.font.theme_colour = false;
  s.font.colour = L"FF0000FF";
  s.border.sides[0].style = 1;
  s.border.sides[3].style = 2;
  s.border.sides[3].colour = L"FF00FF00";
  s.border.diagonal_up = true;
  s.number_format.id = 14;
  s.number_format.kind = numfmt_date;
  s.alignment.horizontal = 2;
  s.alignment.wrap = true;
  EXPECT_EQ(book.styles.Add(s), 2);
  ASSERT_TRUE(write_styles(book));
  std::string xml = files.part(L"xl/styles.xml");
  EXPECT_TRUE(contains(xml, "<font><b/><u/><sz val=\"11\"/><name val=\"Calibri\"/><charset val=\"204\"/>"
                            "<color rgb=\"FF0000FF\"/></font>"));
  EXPECT_TRUE(contains(xml, "<border diagonalUp=\"1\"><left style=\"thin\"><color indexed=\"64\"/></left><right/>"
                            "<top style=\"medium\"><color rgb=\"FF00FF00\"/></top><bottom/><diagonal/></border>"));
  EXPECT_TRUE(contains(xml, "<xf numFmtId=\"14\" fontId=\"1\" fillId=\"0\" borderId=\"1\" applyFont=\"1\" "
                            "applyBorder=\"1\" applyNumberFormat=\"1\"><alignment horizontal=\"center\" "
                            "wrapText=\"1\"/></xf>"));
  EXPECT_EQ(count_of(xml, "<numFmt "), 1u) << "a built-in format is not written";
}

TEST(Styles, NumberFormatCodes) {
  struct {
    int kind, decimals;
    bool thousands;
    int positive, negative, zero;
    const wchar_t* code;
  } cases[] = {
      {numfmt_general, 2, false, 0, 0, 0, L"0.00"},
      {numfmt_general, 2, true, 0, 0, 0, L"#,##0.00"},
      {numfmt_number, 0, true, 0, 8, 0, L"#,##0;[Red]\\-#,##0"},
      {numfmt_percent, 1, false, 0, 0, 0, L"0.0%"},
      {numfmt_scientific, 2, false, 0, 0, 0, L"0.00E+00"},
      {numfmt_number, 0, false, 0, 0, 4, L"0;;[Blue]0"},
      {numfmt_number, 1, false, 2, 0, 0, L"[Green]0.0;\\-0.0;0"},
      {numfmt_date, 2, true, 8, 8, 8, L"yyyy.mm.dd"},
      {numfmt_time, 2, false, 0, 0, 0, L"hh:mm:ss"},
      {numfmt_date_time, 2, false, 0, 0, 0, L"yyyy.mm.dd hh:mm:ss"},
  };
  for (const auto& c : cases) {
    NumFormatRecord r;
    r.kind = c.kind;
    r.decimals = c.decimals;
    r.thousands = c.thousands;
    r.positive_colour = c.positive;
    r.negative_colour = c.negative;
    r.zero_colour = c.zero;
    EXPECT_EQ(build_number_format(r), c.code);
  }
  NumFormatRecord own;
  own.code = L"@";
  EXPECT_EQ(build_number_format(own), L"@");
  NumFormatRecord accounting;
  accounting.kind = numfmt_accounting;
  std::wstring code = build_number_format(accounting);
  EXPECT_EQ(code.substr(0, 8), L"_-* 0.00");
  EXPECT_EQ(code.substr(code.size() - 9), L";_-;_-@_-") << "the fourth section is text";
}

TEST(Theme, FixedContent) {
  memory_files first_files, second_files;
  CWorkbook first(first_files), second(second_files);
  ASSERT_TRUE(write_theme(first));
  ASSERT_TRUE(write_theme(second));
  std::string theme = first_files.part(L"xl/theme/theme1.xml");
  EXPECT_EQ(theme, second_files.part(L"xl/theme/theme1.xml"));
  EXPECT_EQ(theme.substr(0, decl.size() + 93),
            decl + "<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" name=\"Office Theme\">");
  std::size_t scheme = theme.find("<a:clrScheme"), scheme_end = theme.find("</a:clrScheme>");
  std::string colours = theme.substr(scheme, scheme_end - scheme);
  EXPECT_EQ(count_of(colours, "Clr val="), 12u);
  EXPECT_EQ(count_of(theme, "typeface="), 2u * 29);
  EXPECT_EQ(count_of(theme, "<a:effectStyle>"), 3u);
  EXPECT_TRUE(contains(theme, "</a:themeElements><a:objectDefaults/><a:extraClrSchemeLst/></a:theme>"));
}

Comment note(int row, int column, const wchar_t* text) {
  Comment c;
  c.row = row;
  c.column = column;
  CommentRun run;
  run.text = text;
  c.runs.push_back(run);
  return c;
}

TEST(Comments, NotesOfTwoSheets) {
  scoped_env user("USERNAME", "Ann");
  memory_files files;
  CWorkbook book(files);
  CWorksheet* first = book.AddSheet2(L"One", {});
  CWorksheet* plain = book.AddSheet2(L"Two", {});
  CWorksheet* third = book.AddSheet2(L"Three", {});
  one_row(*first, {L"x"});
  Comment boxed = note(2, 1, L"line one\nline two");
  boxed.x = 10;
  boxed.y = 20;
  boxed.width = 100;
  boxed.height = 50;
  boxed.hidden = false;
  third->AddComment(note(1, 0, L"on three"));
  first->AddComment(boxed);
  first->AddComment(note(1, 27, L"a<b"));
  ASSERT_TRUE(write_comments_parts(book));
  ASSERT_TRUE(write_content_types(book));
  ASSERT_TRUE(first->Save());
  ASSERT_TRUE(plain->Save());

  std::string comments = files.part(L"xl/comments1.xml");
  EXPECT_EQ(comments,
            decl +
                "<comments xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><authors>"
                "<author>Ann</author></authors><commentList>"
                "<comment ref=\"B2\" authorId=\"0\"><text><r><rPr><sz val=\"9\"/><rFont val=\"Tahoma\"/>"
                "<charset val=\"1\"/><color theme=\"1\"/></rPr><t>line one&#10;line two</t></r></text></comment>"
                "<comment ref=\"AB1\" authorId=\"0\"><text><r><rPr><sz val=\"9\"/><rFont val=\"Tahoma\"/>"
                "<charset val=\"1\"/><color theme=\"1\"/></rPr><t>a&lt;b</t></r></text></comment>"
                "</commentList></comments>");
  std::string vml1 = files.part(L"xl/drawings/vmlDrawing1.vml");
  std::string vml3 = files.part(L"xl/drawings/vmlDrawing3.vml");
  EXPECT_EQ(vml1.substr(0, 5), "<xml ") << "no prolog";
  EXPECT_TRUE(contains(vml1, "<v:shape id=\"_x0000_s1001\" type=\"#_x0000_t202\" style=\"position:absolute; "
                             "margin-left:10pt;margin-top:20pt;width:100pt;height:50pt; z-index:2;"
                             "mso-wrap-style:tight\" fillcolor=\"#ffffe1\" o:insetmode=\"auto\">"));
  EXPECT_TRUE(contains(vml1, "<v:shape id=\"_x0000_s1002\" type=\"#_x0000_t202\" style=\";visibility:hidden\""));
  EXPECT_TRUE(contains(vml1, "<x:ClientData ObjectType=\"Note\"><x:MoveWithCells/><x:SizeWithCells/>"
                             "<x:AutoFill>False</x:AutoFill><x:Row>1</x:Row><x:Column>1</x:Column></x:ClientData>"));
  EXPECT_TRUE(contains(vml3, "id=\"_x0000_s1003\"")) << "shape ids run on across the sheets";
  EXPECT_FALSE(files.has_part(L"xl/comments2.xml"));

  std::string types = files.part(L"[Content_Types].xml");
  EXPECT_TRUE(contains(types, "<Default Extension=\"vml\" ContentType=\"application/"
                              "vnd.openxmlformats-officedocument.vmlDrawing\"/>"));
  EXPECT_TRUE(contains(types, "PartName=\"/xl/comments1.xml\""));
  EXPECT_TRUE(contains(types, "PartName=\"/xl/comments3.xml\""));
  EXPECT_FALSE(contains(types, "PartName=\"/xl/comments2.xml\""));

  EXPECT_TRUE(contains(files.part(L"xl/worksheets/sheet1.xml"),
                       "<pageSetup paperSize=\"9\" orientation=\"portrait\"/><legacyDrawing r:id=\"rId1\"/></worksheet>"));
  EXPECT_FALSE(contains(files.part(L"xl/worksheets/sheet2.xml"), "legacyDrawing"));
  EXPECT_EQ(files.part(L"xl/worksheets/_rels/sheet1.xml.rels"),
            decl + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
                rel("rId1", "vmlDrawing", "../drawings/vmlDrawing1.vml") +
                rel("rId2", "comments", "../comments1.xml") + "</Relationships>");
}

TEST(Comments, RunFormatting) {
  memory_files files;
  CWorkbook book(files);
  Comment c = note(1, 0, L"t");
  c.runs[0].style_flags = 0xFF;
  CommentRun red;
  red.color = L"FFFF0000";
  red.text = L"r";
  red.font = L"Arial";
  red.size = 12;
  c.runs.push_back(red);
  c.width = 0;
  c.hidden = false;
  memory_output out;
  {
    XmlWriter w(out);
    write_comments(w, c);
    write_comment_vml(book, w, c);
  }
  std::string xml = out.text();
  EXPECT_TRUE(contains(xml, "<rPr><b/><i/><u/><strike/><outline/><shadow/><condense/><extend/><sz val=\"9\"/>"));
  EXPECT_TRUE(contains(xml, "<rPr><sz val=\"12\"/><rFont val=\"Arial\"/><charset val=\"1\"/><color rgb=\"FFFF0000\"/>"
                            "</rPr><t>r</t>"));
  EXPECT_TRUE(contains(xml, "style=\"\" fillcolor=")) << "no box, not hidden, no line break: an empty style";
  EXPECT_EQ(book.shape_counter, 1u);
}

TEST(Comments, NoneWritesNothing) {
  memory_files files;
  CWorkbook book(files);
  one_row(*book.AddSheet2(L"S", {}), {L"a"});
  std::size_t parts = book.part_list.size();
  ASSERT_TRUE(write_comments_parts(book));
  EXPECT_EQ(book.part_list.size(), parts);
  EXPECT_EQ(files.files.size(), 1u) << "only the sheet part";
}

ChartSeries column_series(const CWorksheet& sheet, int column, bool categories) {
  ChartSeries s;
  if (categories) {
    s.category_sheet = &sheet;
    s.category_first_row = 1;
    s.category_last_row = 9;
  }
  s.value_sheet = &sheet;
  s.value_first_row = 1;
  s.value_first_column = column;
  s.value_last_row = 9;
  s.value_last_column = column;
  return s;
}

TEST(Charts, LineChartSheetParts) {
  memory_files files;
  CWorkbook book(files);
  CWorksheet* data = book.AddSheet2(L"O'Data", {});
  CChartsheet* chart = book.AddChartsheet(L"Chart & 1");
  ChartSeries s = column_series(*data, 1, true);
  s.name = L"Sales";
  s.marker = true;
  s.dashed = true;
  chart->AddSeries(s);
  chart->legend_position = 6;
  chart->chart_title = L"Title";
  chart->y_axis.axis_title = L"Amount";
  chart->y_axis.gridlines = 3;
  chart->y_axis.minimum = L"0";
  chart->y_axis.maximum = L"100";
  chart->x_axis.label_rotation = 45;
  chart->x_axis.label_skip = 2;
  ASSERT_TRUE(chart->Save());

  std::string xml = files.part(L"xl/charts/chart1.xml");
  EXPECT_TRUE(contains(xml, "<c:lang val=\"en-US\"/><c:roundedCorners val=\"1\"/><c:chart><c:title>"));
  EXPECT_TRUE(contains(xml, "<c:lineChart><c:grouping val=\"standard\"/><c:ser><c:idx val=\"0\"/>"
                            "<c:order val=\"0\"/><c:tx><c:v>Sales</c:v></c:tx><c:spPr><a:ln>"
                            "<a:prstDash val=\"dash\"/></a:ln></c:spPr><c:marker><c:symbol val=\"diamond\"/>"
                            "</c:marker><c:cat><c:numRef><c:f>&#39;O&#39;&#39;Data&#39;&#33;$A2&#58;$A10</c:f>"
                            "</c:numRef></c:cat><c:val><c:numRef><c:f>&#39;O&#39;&#39;Data&#39;&#33;$B2&#58;$B10"
                            "</c:f></c:numRef></c:val><c:smooth val=\"0\"/></c:ser><c:marker val=\"1\"/>"
                            "<c:smooth val=\"0\"/><c:axId val=\"1\"/><c:axId val=\"2\"/></c:lineChart>"));
  EXPECT_TRUE(contains(xml, "<c:catAx><c:axId val=\"1\"/><c:scaling><c:orientation val=\"minMax\"/></c:scaling>"
                            "<c:delete val=\"0\"/><c:axPos val=\"b\"/><c:numFmt formatCode=\"General\" "
                            "sourceLinked=\"1\"/><c:tickLblPos val=\"nextTo\"/><c:txPr><a:bodyPr rot=\"2700000\"/>"));
  EXPECT_TRUE(contains(xml, "<c:crossAx val=\"2\"/><c:crosses val=\"autoZero\"/><c:auto val=\"1\"/>"
                            "<c:lblAlgn val=\"ctr\"/><c:lblOffset val=\"100\"/><c:tickLblSkip val=\"2\"/></c:catAx>"));
  EXPECT_TRUE(contains(xml, "<c:valAx><c:axId val=\"2\"/><c:scaling><c:orientation val=\"minMax\"/>"
                            "<c:max val=\"100\"/><c:min val=\"0\"/></c:scaling><c:delete val=\"0\"/>"
                            "<c:axPos val=\"l\"/><c:majorGridlines/><c:minorGridlines/><c:title>"));
  EXPECT_TRUE(contains(xml, "<a:bodyPr rot=\"-5400000\" vert=\"horz\"/>")) << "a value axis title is rotated";
  EXPECT_TRUE(contains(xml, "<c:crossBetween val=\"between\"/></c:valAx></c:plotArea><c:legend>"
                            "<c:legendPos val=\"r\"/><c:layout/><c:overlay val=\"0\"/></c:legend>"
                            "<c:plotVisOnly val=\"1\"/></c:chart></c:chartSpace>"));

  EXPECT_TRUE(contains(files.part(L"xl/chartsheets/sheet1.xml"),
                       "<sheetPr/><sheetViews><sheetView zoomScale=\"85\" workbookViewId=\"0\" zoomToFit=\"1\"/>"
                       "</sheetViews><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" "
                       "header=\"0.3\" footer=\"0.3\"/><drawing r:id=\"rId1\"/></chartsheet>"));
  EXPECT_TRUE(contains(files.part(L"xl/chartsheets/_rels/sheet1.xml.rels"),
                       rel("rId1", "drawing", "../drawings/drawing1.xml")));
  EXPECT_TRUE(contains(files.part(L"xl/drawings/_rels/drawing1.xml.rels"), rel("rId1", "chart", "../charts/chart1.xml")));
  EXPECT_TRUE(contains(files.part(L"xl/drawings/drawing1.xml"), "<xdr:cNvPr id=\"2\" name=\"Chart &amp; 1\"/>"));

  ASSERT_TRUE(write_workbook_part(book));
  ASSERT_TRUE(write_app_props(book));
  ASSERT_TRUE(write_content_types(book));
  EXPECT_TRUE(contains(files.part(L"xl/_rels/workbook.xml.rels"),
                       rel("rId3", "worksheet", "worksheets/sheet1.xml") +
                           rel("rId4", "chartsheet", "chartsheets/sheet1.xml")));
  EXPECT_TRUE(contains(files.part(L"xl/workbook.xml"), "<sheet name=\"Chart &amp; 1\" sheetId=\"2\" r:id=\"rId4\"/>"));
  EXPECT_TRUE(contains(files.part(L"docProps/app.xml"), "<vt:vector size=\"4\" baseType=\"variant\">"));
  EXPECT_TRUE(contains(files.part(L"docProps/app.xml"), "<vt:lpstr>Diagramms</vt:lpstr>"));
  std::string types = files.part(L"[Content_Types].xml");
  for (const char* name : {"/xl/charts/chart1.xml", "/xl/drawings/drawing1.xml", "/xl/chartsheets/sheet1.xml"})
    EXPECT_TRUE(contains(types, name)) << name;
}

TEST(Charts, KindsLegendsAndFailures) {
  memory_files files;
  CWorkbook book(files);
  CWorksheet* data = book.AddSheet2(L"Data", {});

  CChartsheet* none = book.AddChartsheet(L"none");
  EXPECT_FALSE(none->Save()) << "a chart without series";
  EXPECT_FALSE(files.has_part(L"xl/charts/chart1.xml"));
  EXPECT_NE(book.GetLastError().find(L"no series"), std::wstring::npos);

  CChartsheet* scatter = book.AddChartsheet(L"scatter");
  scatter->kind = chart_scatter;
  scatter->scatter_style = 1;
  scatter->legend_position = 0;
  scatter->AddSeries(column_series(*data, 1, true));
  scatter->AddSeries(column_series(*data, 2, true));
  ASSERT_TRUE(scatter->Save());
  std::string xml = files.part(L"xl/charts/chart2.xml");
  EXPECT_EQ(count_of(xml, "<c:symbol val=\"diamond\"/>"), 2u) << "style 1 marks every series";
  EXPECT_FALSE(contains(xml, "<c:spPr>"));
  EXPECT_EQ(count_of(xml, "<c:valAx>"), 2u);
  EXPECT_FALSE(contains(xml, "<c:catAx>"));
  EXPECT_FALSE(contains(xml, "<c:legend>"));
  EXPECT_TRUE(contains(xml, "<c:scatterStyle val=\"lineMarker\"/>"));
  EXPECT_TRUE(contains(xml, "<c:idx val=\"1\"/>"));

  CChartsheet* smooth = book.AddChartsheet(L"smooth");
  smooth->kind = chart_scatter;
  smooth->scatter_style = 0;
  ChartSeries marked = column_series(*data, 1, true);
  marked.marker = true;
  smooth->AddSeries(marked);
  smooth->AddSeries(column_series(*data, 2, true));
  ASSERT_TRUE(smooth->Save());
  xml = files.part(L"xl/charts/chart3.xml");
  EXPECT_EQ(count_of(xml, "<c:spPr><a:ln w=\"28575\"><a:noFill/></a:ln></c:spPr>"), 2u);
  EXPECT_EQ(count_of(xml, "<c:symbol val=\"diamond\"/>"), 1u);
  EXPECT_EQ(count_of(xml, "<c:symbol val=\"none\"/>"), 1u);

  CChartsheet* bar = book.AddChartsheet(L"bar");
  bar->kind = chart_bar;
  bar->bar_direction = 1;
  bar->bar_grouping = 2;
  bar->legend_position = 3;
  bar->data_table = 2;
  bar->AddSeries(column_series(*data, 1, false));
  bar->AddSecondarySeries(column_series(*data, 2, false));
  ASSERT_TRUE(bar->Save());
  xml = files.part(L"xl/charts/chart4.xml");
  EXPECT_TRUE(contains(xml, "<c:barChart><c:barDir val=\"bar\"/><c:grouping val=\"percentStacked\"/>"));
  EXPECT_FALSE(contains(xml, "<c:cat>")) << "a series without categories";
  EXPECT_FALSE(contains(xml, "<c:numFmt")) << "nor a number format on its axis";
  EXPECT_EQ(count_of(xml, "<c:barChart>"), 1u);
  EXPECT_EQ(count_of(xml, "<c:lineChart>"), 1u) << "the secondary group";
  EXPECT_TRUE(contains(xml, "<c:idx val=\"1\"/>")) << "secondary series count on from the main ones";
  EXPECT_EQ(count_of(xml, "<c:catAx>"), 2u);
  EXPECT_TRUE(contains(xml, "<c:dTable><c:showHorzBorder val=\"1\"/><c:showVertBorder val=\"1\"/>"
                            "<c:showOutline val=\"1\"/><c:showKeys val=\"1\"/></c:dTable>"));
  EXPECT_TRUE(contains(xml, "<c:legendPos val=\"t\"/><c:layout/><c:overlay val=\"1\"/>"));

  CChartsheet* unknown = book.AddChartsheet(L"unknown");
  unknown->kind = 3;
  unknown->AddSeries(column_series(*data, 1, false));
  EXPECT_FALSE(unknown->Save());
  CChartsheet* unknown_secondary = book.AddChartsheet(L"unknown secondary");
  unknown_secondary->secondary_kind = 7;
  unknown_secondary->AddSeries(column_series(*data, 1, false));
  unknown_secondary->AddSecondarySeries(column_series(*data, 2, false));
  EXPECT_FALSE(unknown_secondary->Save());
}

}  // namespace

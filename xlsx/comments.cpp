#include "xlsx/comments.h"

#include "TK/tk_log.h"
#include "xlsx/namespaces.h"
#include "xlsx/xlsx_model.h"

#include <cstdio>

namespace XlsxModel {

using namespace xml;

void write_comments(XmlWriter& w, const Comment& comment) {
  w << el(L"comment") << at(L"ref") << cell_reference(comment.row, comment.column) << at(L"authorId") << 0
    << el(L"text");
  static const wchar_t* const style_names[] = {L"b",      L"i",      L"u",        L"strike",
                                               L"outline", L"shadow", L"condense", L"extend"};
  for (const CommentRun& run : comment.runs) {
    w << el(L"r") << el(L"rPr");
    for (unsigned bit = 0; bit < 8; ++bit) {
      // Every bit from 7 up means "extend".
      bool set = bit < 7 ? (run.style_flags & (1u << bit)) != 0 : (run.style_flags >> 7) != 0;
      if (set) w << el(style_names[bit]) << end();
    }
    w << el(L"sz") << at(L"val") << run.size << end();
    w << el(L"rFont") << at(L"val") << make_safe_text(run.font) << end();
    w << el(L"charset") << at(L"val") << 1 << end();
    if (!run.theme_color && !run.color.empty())
      w << el(L"color") << at(L"rgb") << make_safe_text(run.color) << end();
    else
      w << el(L"color") << at(L"theme") << 1 << end();
    w << end(L"rPr");
    w << el(L"t") << body() << make_safe_text(run.text) << end();
    w << end(L"r");
  }
  w << end(L"text") << end(L"comment");
}

void write_comment_vml(CWorkbook& workbook, XmlWriter& w, const Comment& comment) {
  ++workbook.shape_counter;
  std::wstring id = L"_x0000_s" + std::to_wstring(workbook.shape_counter + 1000);
  wchar_t buffer[259];
  std::wstring style;
  if (comment.x >= 0 && comment.y >= 0 && comment.width > 0 && comment.height > 0) {
    std::swprintf(buffer, sizeof buffer / sizeof buffer[0],
                  L"position:absolute; margin-left:%dpt;margin-top:%dpt;width:%dpt;height:%dpt; z-index:2",
                  comment.x, comment.y, comment.width, comment.height);
    style = buffer;
  }
  if (comment.hidden) style += L";visibility:hidden";
  for (const CommentRun& run : comment.runs)
    if (run.text.find(L'\n') != std::wstring::npos) {
      style += L";mso-wrap-style:tight";
      break;
    }
  std::wstring fill = make_safe_text(comment.fill_color);
  w << el(L"v:shape") << at(L"id") << id << at(L"type") << L"#_x0000_t202" << at(L"style") << style
    << at(L"fillcolor") << fill << at(L"o:insetmode") << L"auto";
  w << el(L"v:fill") << at(L"color2") << fill << end();
  w << el(L"v:shadow") << at(L"on") << L"t" << at(L"color") << L"black" << at(L"obscured") << L"t" << end();
  w << el(L"v:path") << at(L"o:connecttype") << L"none" << end();
  w << el(L"v:textbox") << at(L"style") << L"mso-direction-alt:auto" << el(L"div") << at(L"style")
    << L"text-align:left" << end() << end();
  w << el(L"x:ClientData") << at(L"ObjectType") << L"Note";
  w << el(L"x:MoveWithCells") << end();
  w << el(L"x:SizeWithCells") << end();
  w << el(L"x:AutoFill") << body() << L"False" << end();
  w << el(L"x:Row") << body() << comment.row - 1 << end();
  w << el(L"x:Column") << body() << comment.column << end();
  w << end(L"x:ClientData") << end(L"v:shape");
}

bool write_sheet_comment_parts(CWorkbook& workbook, const std::vector<const Comment*>& comments) {
  if (comments.empty()) return true;
  int sheet = comments.front()->sheet_index;
  tk_log::write(1, "write_sheet_comment_parts(%d)", sheet);

  std::wstring name = L"xl/comments" + std::to_wstring(sheet) + L".xml";
  workbook.part_list.push_back(name);
  std::unique_ptr<part_output> out = workbook.open_part(name);
  if (!out) return false;
  {
    XmlWriter w(*out);
    w << prolog() << el(L"comments") << at(L"xmlns") << ns::main;
    w << el(L"authors") << el(L"author") << body() << make_safe_text(user_name()) << end() << end();
    w << el(L"commentList");
    for (const Comment* c : comments) write_comments(w, *c);
    w << end(L"commentList") << end(L"comments");
  }
  if (!workbook.close_part(*out)) return false;

  name = L"xl/drawings/vmlDrawing" + std::to_wstring(sheet) + L".vml";
  workbook.part_list.push_back(name);
  out = workbook.open_part(name);
  if (!out) return false;
  {
    XmlWriter w(*out);
    w << el(L"xml") << at(L"xmlns:v") << ns::vml << at(L"xmlns:o") << ns::vml_office << at(L"xmlns:x")
      << ns::vml_excel;
    w << el(L"o:shapelayout") << at(L"v:ext") << L"edit" << el(L"o:idmap") << at(L"v:ext") << L"edit"
      << at(L"data") << 1 << end() << end();
    w << el(L"v:shapetype") << at(L"id") << L"_x0000_t202" << at(L"coordsize") << L"21600,21600" << at(L"o:spt")
      << 202 << at(L"path") << L"m,l,21600r21600,l21600,xe";
    w << el(L"v:stroke") << at(L"joinstyle") << L"miter" << end();
    w << el(L"v:path") << at(L"gradientshapeok") << L"t" << at(L"o:connecttype") << L"rect" << end();
    w << end(L"v:shapetype");
    for (const Comment* c : comments) write_comment_vml(workbook, w, *c);
  }
  return workbook.close_part(*out);
}

}  // namespace XlsxModel

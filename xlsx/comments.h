// Cell comments (notes): the comments part holds their text, the legacy
// VML drawing one note shape per comment.
#pragma once

#include "xlsx/xml_writer.h"

#include <string>
#include <vector>

namespace XlsxModel {

class CWorkbook;

struct CommentRun {
  int size = 9;
  std::wstring font = L"Tahoma";
  bool theme_color = false;
  std::wstring color;  // rgb, used when theme_color is clear and it is not empty
  // bit 0 bold, 1 italic, 2 underline, 3 strike, 4 outline, 5 shadow,
  // 6 condense, 7 and up extend
  unsigned style_flags = 0;
  std::wstring text;  // a line feed breaks the line
};

struct Comment {
  int sheet_index = 0;  // from 1
  std::vector<CommentRun> runs;
  int row = 1;     // from 1
  int column = 0;  // from 0
  std::wstring fill_color = L"#ffffe1";
  bool hidden = true;
  int x = 0, y = 0, width = 0, height = 0;  // the box, in points
};

// Both parts of one sheet; the number in their names is the sheet index of
// the first comment. False when a part cannot be written.
bool write_sheet_comment_parts(CWorkbook& workbook, const std::vector<const Comment*>& comments);
void write_comments(XmlWriter& writer, const Comment& comment);
void write_comment_vml(CWorkbook& workbook, XmlWriter& writer, const Comment& comment);

}  // namespace XlsxModel

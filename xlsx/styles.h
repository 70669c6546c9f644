// Cell styles: a caller describes a whole style; the list keeps each
// distinct font, fill, border and number format once and returns the index
// of the cell format that combines them.
#pragma once

#include <string>
#include <vector>

namespace XlsxModel {

class CWorkbook;

struct FontRecord {
  int size = 11;
  std::wstring name = L"Calibri";
  bool theme_colour = true;
  std::wstring colour;  // hex RGB
  // 1 bold, 2 italic, 4 underline, 8 strike, 16 outline, 32 shadow,
  // 64 condense, 128 extend
  unsigned attributes = 0;
};

struct FillRecord {
  int pattern = 0;  // 0 "none" ... 17 "gray125", 18 "gray0625"
  std::wstring fg_colour, bg_colour;
};

struct BorderSide {
  int style = 0;  // 0 none, 1 "thin" ... 13 "slantDashDot"
  std::wstring colour;
};

struct BorderRecord {
  // left, right, bottom, top, diagonal
  BorderSide sides[5];
  bool diagonal_up = false;
  bool diagonal_down = false;
};

enum number_format_kind {
  numfmt_general = 0,
  numfmt_number = 1,
  numfmt_percent = 2,
  numfmt_scientific = 3,
  numfmt_accounting = 4,
  numfmt_currency = 5,
  numfmt_date = 6,
  numfmt_time = 7,
  numfmt_date_time = 8,
};

struct NumFormatRecord {
  int id = 164;        // 164 and up: a format of the workbook's own
  std::wstring code;   // empty: built from the fields below
  int kind = numfmt_general;
  // 0 none, 1 "[BLACK]", 2 "[Green]", 3 "[White]", 4 "[Blue]",
  // 5 "[Magenta]", 6 "[Yellow]", 7 "[Cyan]", 8 "[Red]"
  int positive_colour = 0, negative_colour = 0, zero_colour = 0;
  bool thousands = false;
  int decimals = 2;
};

struct Alignment {
  int horizontal = 0;  // 0 none, 1 left, 2 center, 3 right
  int vertical = 0;    // 0 none, 1 top, 2 center, 3 bottom
  bool wrap = false;
};

struct Style {
  FontRecord font;
  FillRecord fill;
  BorderRecord border;
  NumFormatRecord number_format;
  Alignment alignment;
};

struct CellFormat {
  std::size_t border = 0, font = 0, fill = 0;
  int numfmt_id = 0;
  Alignment alignment;
};

class StyleList {
 public:
  StyleList();
  // The index of the cell format of `style`; a new number format of the
  // workbook's own gets its id written into `style`.
  int Add(Style& style);

  std::vector<BorderRecord> borders() const { return borders_; }
  std::vector<FontRecord> fonts() const { return fonts_; }
  std::vector<FillRecord> fills() const { return fills_; }
  std::vector<NumFormatRecord> numfmts() const { return numfmts_; }
  std::vector<CellFormat> cell_formats() const { return cell_formats_; }

 private:
  int next_numfmt_id = 164;
  std::vector<BorderRecord> borders_;
  std::vector<FontRecord> fonts_;
  std::vector<FillRecord> fills_;
  std::vector<NumFormatRecord> numfmts_;
  std::vector<CellFormat> cell_formats_;
};

// The format code of a record as XML attribute text (a record with a code
// gives it escaped, as every caller text is).
std::wstring build_number_format(const NumFormatRecord& record);

// The part "xl/styles.xml"; false when it cannot be written.
bool write_styles(CWorkbook& workbook);

}  // namespace XlsxModel

#include "TK/tk_log.h"
#include "xlsx/namespaces.h"
#include "xlsx/xlsx_model.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace XlsxModel {

using namespace xml;

namespace {

// ` ref="A1"/>` and these spaces are as long as ` ref="A1:XFD1048576"/>`.
constexpr std::wstring_view dimension_padding = L"           ";
constexpr std::size_t dimension_room = 22;

// Markup made in a buffer of the caller, which has room for it.
struct markup_buffer {
  char text[128];
  char* end = text;
  void put(std::string_view s) {
    std::memcpy(end, s.data(), s.size());
    end += s.size();
  }
  template <class Number>
  void number(Number value) {
    end = std::to_chars(end, text + sizeof text, value).ptr;
  }
  void write_to(part_output& part) const { part.write(text, static_cast<std::size_t>(end - text)); }
};

}  // namespace

CWorksheet::CWorksheet(int index, const std::vector<ColumnWidth>& widths, const std::wstring& temp_folder,
                       part_file_system& files, int frozen_columns, int frozen_rows)
    : index(index), temp_folder(temp_folder), files(files) {
  write_sheet_head(widths, frozen_columns, frozen_rows);
}

CWorksheet::~CWorksheet() {
  // An unsaved sheet gets its open elements closed; its file is closed.
  if (writer && row_open) stream->write(row_tag_open ? "/>" : "</row>");
  writer.reset();
  stream.reset();
}

void CWorksheet::write_sheet_head(const std::vector<ColumnWidth>& widths, int frozen_columns,
                                  int frozen_rows) {
  title = L"Sheet 1";
  has_formula = has_comments = false;
  formula_cells.clear();
  merged_cells.clear();
  row = column = column_offset = 0;
  orientation = 0;

  if (temp_folder.empty()) {
    error = L"the workbook has no temporary folder";
    return;
  }
  stream = files.open(temp_folder + L"/xl/worksheets/sheet" + std::to_wstring(index) + L".xml", error);
  if (!stream) {
    tk_log::write(3, L"%ls", error.c_str());
    return;
  }
  writer = std::make_unique<XmlWriter>(*stream);
  XmlWriter& w = *writer;
  w << prolog() << el(L"worksheet") << at(L"xmlns") << ns::main << at(L"xmlns:r") << ns::doc_rels
    << at(L"xmlns:mc") << ns::markup_compat << at(L"mc:Ignorable") << L"x14ac" << at(L"xmlns:x14ac")
    << ns::x14ac;
  // The extent is known only at the end: room is kept for the largest one.
  w << el(L"dimension");
  dimension_at = stream->position();
  w << at(L"ref") << L"A1" << end() << dimension_padding;
  w << el(L"sheetViews") << el(L"sheetView") << at(L"tabSelected") << 0 << at(L"workbookViewId") << 0;
  if (frozen_columns != 0 || frozen_rows != 0) add_frozen_pane(frozen_columns, frozen_rows);
  w << end() << end();
  w << el(L"sheetFormatPr") << at(L"defaultRowHeight") << 15 << at(L"x14ac:dyDescent") << 0.25 << end();
  if (!widths.empty()) {
    w << el(L"cols");
    for (const ColumnWidth& c : widths)
      w << el(L"col") << at(L"min") << c.first + 1 << at(L"max") << c.last + 1 << at(L"width") << c.width
        << end();
    w << end();
  }
  w << el(L"sheetData");
}

void CWorksheet::add_frozen_pane(int x, int y) {
  XmlWriter& w = *writer;
  std::wstring top_left = cell_reference(y + 1, x);
  w << el(L"pane");
  if (x != 0) w << at(L"xSplit") << x;
  if (y != 0) w << at(L"ySplit") << y;
  w << at(L"topLeftCell") << top_left << at(L"activePane")
    << (x != 0 && y != 0 ? L"bottomRight" : x != 0 ? L"topRight" : L"bottomLeft") << at(L"state")
    << L"frozen" << end();
  auto selection = [&](const wchar_t* pane, const std::wstring& cell) {
    w << el(L"selection") << at(L"pane") << pane << at(L"activeCell") << cell << at(L"sqref") << cell
      << end();
  };
  if (x == 0) {
    selection(L"bottomLeft", top_left);
  } else if (y == 0) {
    selection(L"topRight", top_left);
  } else {
    selection(L"topRight", cell_reference(y, x));
    selection(L"bottomLeft", cell_reference(y + 1, x - 1));
    selection(L"bottomRight", top_left);
  }
}

void CWorksheet::begin_row(float height) {
  if (!writer) return;
  if (row_open) end_row();
  ++row;
  // The row's start tag, the markup its tokens would give, straight to the
  // part: it stays open for the cells.
  if (writer->state() != 0) *writer << body();
  markup_buffer markup;
  markup.put("<row r=\"");
  markup.number(row);
  markup.put("\" x14ac:dyDescent=\"0.25\"");
  if (height != 0) {
    // Six significant digits, as the writer gives a number.
    markup.put(" ht=\"");
    markup.end = std::to_chars(markup.end, markup.text + sizeof markup.text, static_cast<double>(height),
                               std::chars_format::general, 6).ptr;
    markup.put("\" customHeight=\"1\"");
  }
  markup.write_to(*stream);
  row_tag_open = true;
  column = 0;
  row_open = true;
}

void CWorksheet::end_row() {
  if (!writer || !row_open) return;
  write_waiting_cells();
  stream->write(row_tag_open ? "/>" : "</row>");
  row_tag_open = false;
  row_open = false;
}

void CWorksheet::close_row_tag() {
  if (!row_tag_open) return;
  stream->write(">");
  row_tag_open = false;
}

void CWorksheet::start_cell(int style) {
  wchar_t reference[48];
  if (column_offset + column > max_column) max_column = column_offset + column;
  std::size_t length = cell_reference(row, column_offset + column, reference);
  *writer << el(L"c") << at(L"r") << std::wstring_view(reference, length);
  if (style != 0) *writer << at(L"s") << style;
}

template <>
void CWorksheet::AddCell<CellDataStr>(const CellDataStr& cell) {
  add_text(cell.value, cell.style);
}

void CWorksheet::add_text(std::wstring_view text, int style) {
  tk_log::write(1, "CWorksheet::AddCell<CellDataStr>");
  // An empty text writes no cell but keeps the column.
  if (writer && row_open && shared_strings && !text.empty()) {
    std::size_t need = pending_bytes + text.size() * max_safe_bytes_per_unit;
    if (pending_keys.size() < need) pending_keys.resize(std::max(need, pending_keys.size() * 2));
    char* key = pending_keys.data() + pending_bytes;
    std::string_view safe(key, write_safe_utf8(text, key));
    tk_log::write(1, "Got safe string: %.*s", static_cast<int>(safe.size()), safe.data());
    std::uint32_t hash = shared_string_table::hash_of(safe);
    shared_strings->prefetch(hash, 0);
    long at_column = column_offset + column;
    if (at_column > max_column) max_column = at_column;
    pending.push_back(pending_text{row, at_column, style, pending_bytes, safe.size(), hash});
    pending_bytes += safe.size();
    if (pending.size() == 32) write_waiting_cells();
  }
  ++column;
}

void CWorksheet::write_waiting_cells() {
  if (pending.empty()) return;
  for (int step = 1; step <= 2; ++step)
    for (const pending_text& cell : pending) shared_strings->prefetch(cell.hash, step);
  // Each cell, the markup its tokens would give, straight to the part.
  close_row_tag();
  for (const pending_text& cell : pending) {
    std::uint64_t string_index =
        shared_strings->index_of(std::string_view(pending_keys.data() + cell.start, cell.size), cell.hash);
    markup_buffer markup;
    markup.put("<c r=\"");
    markup.end += column_letters(cell.column, markup.end);
    if (cell.row != row_text_of) {
      row_text_of = cell.row;
      row_text_size =
          static_cast<std::size_t>(std::to_chars(row_text, row_text + sizeof row_text, cell.row).ptr - row_text);
    }
    markup.put(std::string_view(row_text, row_text_size));
    if (cell.style != 0) {
      markup.put("\" s=\"");
      markup.number(cell.style);
    }
    markup.put("\" t=\"s\"><v>");
    markup.number(string_index);
    markup.put("</v></c>");
    markup.write_to(*stream);
  }
  pending.clear();
  pending_bytes = 0;
}

template <>
void CWorksheet::AddCell<CellDataFormula>(const CellDataFormula& cell) {
  tk_log::write(1, "CWorksheet::AddCell<CellDataFormula>");
  if (writer && row_open && !cell.formula.empty()) {
    write_waiting_cells();
    close_row_tag();
    start_cell(cell.style);
    *writer << el(L"f") << body() << make_safe_text(cell.formula) << end() << end();
    has_formula = true;
    formula_cells.push_back(cell_reference(row, column_offset + column));
  }
  ++column;
}

void CWorksheet::AddComment(const Comment& comment) {
  // A saved sheet can no longer refer to its notes.
  if (!comments || !writer) return;
  comments->push_back(comment);
  comments->back().sheet_index = index;
  has_comments = true;
}

std::wstring CWorksheet::GetSafeTitle() const {
  tk_log::write(1, "CWorksheet::GetSafeTitle");
  return make_safe_text(title);
}

bool CWorksheet::write_sheet_rels() {
  std::wstring n = std::to_wstring(index);
  std::unique_ptr<part_output> out =
      files.open(temp_folder + L"/xl/worksheets/_rels/sheet" + n + L".xml.rels", error);
  if (!out) return false;
  {
    XmlWriter w(*out);
    w << prolog() << el(L"Relationships") << at(L"xmlns") << ns::package_rels;
    w << el(L"Relationship") << at(L"Id") << L"rId1" << at(L"Type") << rel::vml_drawing << at(L"Target")
      << L"../drawings/vmlDrawing" << n << L".vml" << end();
    w << el(L"Relationship") << at(L"Id") << L"rId2" << at(L"Type") << rel::comments << at(L"Target")
      << L"../comments" << n << L".xml" << end();
  }
  if (!out->close()) {
    error = out->error();
    return false;
  }
  return true;
}

void CWorksheet::write_dimension() {
  if (max_column < 0) return;  // no cell: A1 stands
  std::wstring last = cell_reference(row, max_column);
  std::string text = " ref=\"A1";
  if (last != L"A1") text += ":" + std::string(last.begin(), last.end());
  text += "\"/>";
  if (text.size() > dimension_room) return;
  text.resize(dimension_room, ' ');
  stream->rewrite(dimension_at, text);
}

bool CWorksheet::Save() {
  tk_log::write(2, "CWorksheet::Save");
  if (saved) return error.empty();
  saved = true;
  if (!writer) {
    if (error.empty()) error = L"the part of sheet " + std::to_wstring(index) + L" was never opened";
    return false;
  }
  XmlWriter& w = *writer;
  end_row();
  w << end(L"sheetData");
  if (!merged_cells.empty()) {
    w << el(L"mergeCells") << at(L"count") << merged_cells.size();
    for (const std::wstring& range : merged_cells) w << el(L"mergeCell") << at(L"ref") << range << end();
  }
  tk_log::write(1, "Step #1");
  if (!merged_cells.empty()) w << end(L"mergeCells");
  const wchar_t* orientation_text = orientation == 1 ? L"landscape" : L"portrait";
  tk_log::write(1, "Step #2");
  w << el(L"pageMargins") << at(L"left") << 0.7 << at(L"right") << 0.7 << at(L"top") << 0.75
    << at(L"bottom") << 0.75 << at(L"header") << 0.3 << at(L"footer") << 0.3 << end();
  w << el(L"pageSetup") << at(L"paperSize") << 9 << at(L"orientation") << orientation_text << end();
  tk_log::write(1, "Step #3");
  bool ok = true;
  if (has_comments) {
    w << el(L"legacyDrawing") << at(L"r:id") << L"rId1" << end();
    ok = write_sheet_rels();
  }
  tk_log::write(1, "Step #4");
  writer.reset();
  write_dimension();
  if (!stream->close() && ok) {
    error = stream->error();
    ok = false;
  }
  stream.reset();
  tk_log::write(1, "Step #5");
  if (!ok) tk_log::write(3, L"%ls", error.c_str());
  return ok;
}

}  // namespace XlsxModel

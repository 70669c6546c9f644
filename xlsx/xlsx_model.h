// The workbook model: a workbook owns a temporary folder that receives the
// parts of the package, its worksheets, chart sheets, shared strings,
// comments and styles. A worksheet is streamed to its part while it is
// filled; of its cells only the shared strings stay in memory.
#pragma once

#include "platform/private_folder.h"
#include "xlsx/charts.h"
#include "xlsx/comments.h"
#include "xlsx/part_output.h"
#include "xlsx/safe_text.h"
#include "xlsx/shared_strings.h"
#include "xlsx/styles.h"
#include "xlsx/xml_writer.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace XlsxModel {

// A text cell, stored as a shared string; its text is data, never a formula.
struct CellDataStr {
  std::wstring value;
  int style = 0;
};

// A formula cell, for callers that ask for one: the formula without its
// leading "=".
struct CellDataFormula {
  std::wstring formula;
  int style = 0;
};

// Columns counted from 0.
struct ColumnWidth {
  int first;
  int last;
  float width;
};

class CWorksheet {
 public:
  // Writes the head of the part at once. A sheet whose part cannot be
  // opened has no writer: its rows and cells are ignored and Save fails.
  CWorksheet(int index, const std::vector<ColumnWidth>& widths, const std::wstring& temp_folder,
             part_file_system& files = part_file_system::real(), int frozen_columns = 0,
             int frozen_rows = 0);
  virtual ~CWorksheet();
  CWorksheet(const CWorksheet&) = delete;
  CWorksheet& operator=(const CWorksheet&) = delete;

  // Closes a row left open and starts the next one.
  void begin_row(float height = 0);
  // Closes the current row.
  void end_row();
  template <class Cell>
  void AddCell(const Cell& cell);
  // AddCell of a text cell, from the caller's text as it stands.
  void add_text(std::wstring_view text, int style = 0);
  // Text cells wait for the end of their row to be written, and only then
  // get their shared-string indexes: this writes those that wait.
  void write_waiting_cells();
  // A note on the cell (row from 1, column from 0) of this sheet.
  void AddComment(const Comment& comment);

  // Writes the tail and closes the part; the stream is checked. A second
  // call writes nothing and repeats the outcome.
  bool Save();
  std::wstring GetSafeTitle() const;
  // Why the part failed, when it did.
  const std::wstring& GetLastError() const { return error; }

  std::vector<std::wstring> formula_cells;
  std::vector<std::wstring> merged_cells;
  int index = 0;
  std::wstring temp_folder;
  std::wstring title = L"Sheet 1";
  bool has_formula = false;
  bool has_comments = false;
  long row = 0;
  bool row_open = false;
  long column = 0;
  long column_offset = 0;
  int orientation = 0;  // 0 portrait, 1 landscape
  shared_string_table* shared_strings = nullptr;
  std::vector<Comment>* comments = nullptr;

 private:
  void write_sheet_head(const std::vector<ColumnWidth>& widths, int frozen_columns, int frozen_rows);
  // Ends the current row's start tag before its first cell.
  void close_row_tag();
  void add_frozen_pane(int x, int y);
  bool write_sheet_rels();
  void write_dimension();
  void start_cell(int style);

  part_file_system& files;
  std::unique_ptr<part_output> stream;
  std::unique_ptr<XmlWriter> writer;
  std::wstring error;
  bool saved = false;
  // The text cells of the current row not yet written, with their keys end
  // to end: their lookups in the shared strings wait for memory together.
  struct pending_text {
    long row;
    long column;
    int style;
    std::size_t start;
    std::size_t size;
    std::uint32_t hash;
  };
  std::vector<pending_text> pending;
  std::vector<char> pending_keys;
  std::size_t pending_bytes = 0;
  bool row_tag_open = false;  // the current row's start tag waits for ">" or "/>"
  long max_column = -1;             // of the cells written
  long row_text_of = -1;            // the row whose number row_text holds
  char row_text[24] = {};
  std::size_t row_text_size = 0;
  std::uint64_t dimension_at = 0;  // where the extent goes once it is known
};

template <>
void CWorksheet::AddCell<CellDataStr>(const CellDataStr& cell);
template <>
void CWorksheet::AddCell<CellDataFormula>(const CellDataFormula& cell);

class CWorkbook {
 public:
  // Makes the name of the temporary folder and claims it: a folder of that
  // name that exists already is never reused. Cell texts past
  // `text_memory` bytes wait in a scratch file of that folder.
  explicit CWorkbook(part_file_system& files = part_file_system::real(),
                     std::size_t text_memory = shared_string_table::default_memory_budget);
  // Deletes the sheets and removes whatever is left of the temporary tree.
  virtual ~CWorkbook();
  CWorkbook(const CWorkbook&) = delete;
  CWorkbook& operator=(const CWorkbook&) = delete;

  // The title is the name cut to 31 characters (UTF-16 units).
  CWorksheet* AddSheet2(const std::wstring& name, const std::vector<ColumnWidth>& widths);
  CChartsheet* AddChartsheet(const std::wstring& name);
  // Writes every part, packs the folder into `destination` and removes the
  // folder. False when a part cannot be written, the packer cannot be
  // started or fails, or no destination file results; GetLastError tells
  // why. A workbook is saved once: a second call fails.
  bool Save(const std::wstring& destination);
  // Asked while the package is packed: true ends the packing and Save fails.
  std::function<bool()> stop_requested;
  std::wstring GetSafeTitle(const CChartsheet& chart) const;
  const std::wstring& GetLastError() const { return error; }
  // The temporary folder is there and ours; GetLastError tells why not.
  bool has_folder() const { return folder_claimed; }

  bool has_formula() const;

  std::wstring temp_folder;
  std::vector<std::wstring> part_list;
  std::vector<std::unique_ptr<CWorksheet>> sheets;
  std::vector<std::unique_ptr<CChartsheet>> charts;
  shared_string_table shared_strings;
  std::vector<Comment> comments;
  StyleList styles;
  unsigned shape_counter = 0;

  // Every text cell of the sheets in the shared strings: the part writers
  // that read the table call it first.
  void settle_texts();

  // The part writers' common steps: open "<temp folder>/<name>" (false and
  // the cause kept when it cannot be), and close it with its stream checked.
  std::unique_ptr<part_output> open_part(const std::wstring& name);
  bool close_part(part_output& part);
  void set_error(const std::wstring& text) { error = text; }
  part_file_system& file_system() { return files; }
  // Removes the temporary folder with everything in it.
  void remove_package_tree();

 private:

  part_file_system& files;
  std::wstring error;
  bool folder_claimed = false;
  bool saved = false;
  // The temporary folder's mark as alive: a later run removes it only once
  // this process is gone.
  qm_platform::folder_mark tree_mark;
};

// The temporary folder's parent: "TEMP", else "TMPDIR", else /tmp.
std::wstring temp_base_folder();
// A name the workbook gives its temporary folder.
bool is_temp_tree_name(const std::string& name);
// The creator of the core properties and the comment author: "USERNAME",
// else "USER", else "Unknown".
std::wstring user_name();

}  // namespace XlsxModel

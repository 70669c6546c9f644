// The conversion run: the selected tables and queries of the Oracle source
// become the sheets of one workbook of the chosen format.
#pragma once

#include "UDB/udb_converter.h"
#include "UDB/udb_database.h"
#include "common/front_end.h"
#include "dao/dao_engine.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class udb_validator;
class workbook_draft;

// The path with the extension of the format: ".xlsx" for format 2, ".xls"
// for 0 and 1; another extension is replaced, a missing one added. A path
// that names no file (empty, or ending in a folder) or a format outside 0
// to 2 is left as it is.
std::wstring with_format_extension(const std::wstring& path, int format_version);

// The full path of a destination; a relative one is taken against the
// current folder. One that names a folder ("out/", "." or "..") keeps a
// trailing "/", so that the destination check refuses it instead of the
// extension making a file of the folder's name. Empty stays empty.
std::wstring destination_path(const std::wstring& value);

class xls_converter : public udb_converter {
 public:
  // Creates the three format engines.
  explicit xls_converter(conversion_front_end& front_end);
  ~xls_converter() override;

  // The whole workbook is written under a name of the run's own beside the
  // destination and put in its place in one step at the end; a run that
  // fails, is stopped or aborted, or writes no item, leaves the destination
  // as it was and removes what it made. A stop request ends the run between
  // records, between items and around the packing, with tk_final_exception.
  void do_convert(udb_database& source);
  // The format-2 road of do_convert; `source_tables` are the source's.
  void do_convert_xlsx(udb_database& source, const std::vector<std::wstring>& source_tables);
  // Copies the records into the columns of `schema`; a table that had more
  // records than the sheet holds, or more columns than `schema`, ends with a
  // level-0 tk_exception that says so, once the sheet is written.
  void convert_table(udb_database* destination, udb_recordset& source, const std::wstring& sheet_name,
                     const udb_schema& schema);
  // The destination database of the current format over the run's own file.
  std::unique_ptr<udb_database> get_xls_base();
  // The BIFF patch of the run's own file.
  void do_patch();

  // The destination column of a source column (dates become texts when
  // asked or for Excel 5.0, binary columns become texts).
  std::unique_ptr<t_ftd> map_column(const t_ftd& source) const;
  // The destination value of a source field.
  std::unique_ptr<udb_field> map_field(const udb_field& field) const;
  // The same into a field of the output record, which keeps its storage
  // from one record to the next.
  void map_field(const udb_field& field, udb_field& out) const;
  // The same from a field that is not read again: a text that stays as it
  // is moves into `out` and leaves `field` empty.
  void take_field(udb_field& field, udb_field& out) const;
  // The UTF-16 units a text cell of the format keeps.
  std::size_t cell_text_limit() const { return format_version == 0 ? 254 : 32766; }

  // "The existing workbook was left as it was." when the destination is
  // there, else empty: told after an error that ends the run.
  std::string old_workbook_note() const;

  // A copy taken under a lock: the wizard's timer reads it while the run
  // writes it.
  std::wstring get_current_table() const;
  void set_current_table(const std::wstring& name);

  // 0 Excel 5.0, 1 Excel 2000, 2 Excel 2010.
  std::int32_t format_version = 1;
  bool split_data = false;
  bool wrap_text = false;
  bool dates_to_strings = false;
  std::uint32_t max_columns = 255;
  bool one_workbook_per_table = false;
  dao_engine dao;

  // The destination path and the Oracle service name are the converter's
  // dest and src.
  std::wstring& destination = dest;
  std::wstring& source_name = src;

  // Progress, read by another thread while the run writes it.
  std::atomic<int> tables_total{0};
  std::atomic<int> tables_done{0};
  std::atomic<int> records_total{0};
  std::atomic<int> records_done{0};
  // Items that failed or were skipped: the console's exit code tells them.
  std::atomic<int> items_failed{0};
  // Items of this run that reached their end or wrote a record.
  int items_written = 0;
  // From the start of a run until it has ended and removed its files.
  std::atomic<bool> running{false};
  // The run's workbook took the destination's place: a stop that comes
  // after that is too late to change the run's outcome.
  bool workbook_in_place = false;

 protected:
  conversion_front_end& front;

 private:
  // The sheet name of an item, unique within an Excel sheet title's 31
  // characters; recorded after the item whatever became of it.
  std::wstring sheet_name_of(udb_validator& validator, const std::wstring& name) const;
  void record_sheet_name(udb_validator& validator, const std::wstring& name, const std::wstring& sheet) const;
  bool item_is_missing(udb_database& source, const std::wstring& name, const std::wstring& text);
  // A blank name names no sheet in any format: the item is refused.
  bool item_is_blank(const std::wstring& name);
  // `open_destination` gives the workbook once the item's records are
  // there to be written.
  void convert_item(udb_database& source, const std::function<udb_database*()>& open_destination,
                    const std::wstring& name, const std::wstring& text, const std::wstring& sheet);
  void end_item();
  // The selected plain tables join the selection. The console's tables
  // that the source lacks go to missing_tables instead, out of the
  // selection and the sheet names.
  void take_selected_tables(udb_database& source, const std::vector<std::wstring>& source_tables);
  // `convert` for each item of the selection, in the order of the names;
  // each of missing_tables is said in its turn among them.
  void for_each_item(const std::function<void(const std::wstring&, const std::wstring&)>& convert);
  // The selection's items, on the road of the format.
  void convert_selection(udb_database& source);
  // The path the run writes: its own, beside the destination.
  const std::wstring& written_path();
  void put_workbook_in_place();
  // No item was written: the old workbook stays, and a run with failures says so.
  void end_without_workbook();
  // Tells the front end why the run ends without a workbook of its own and
  // what became of the destination.
  void tell_no_workbook(const char* why);
  // Removes what the run made; the destination stays as it was.
  void abandon_draft() noexcept;
  // Tells of a folder of the run that could not be removed.
  void tell_leftover(const std::string& text) noexcept;
  // The same, with the item's database closed or dropped first.
  void abandon_item(udb_database* destination) noexcept;

  std::unique_ptr<workbook_draft> draft;
  // Names of the run's tables that the source lacks, in name order.
  std::vector<std::wstring> missing_tables;
  // The current item wrote a record or was read to its end.
  bool item_written = false;
  // An error that ended the run was told with what became of the destination.
  bool ending_told = false;
  mutable std::mutex current_lock;
  std::wstring current_table;
};

// The longest sheet of an Excel 2010 workbook, its header row included.
constexpr int xlsx_max_rows = 1048576;

#include "common/error_handler.h"
#include "common/stop_signals.h"
#include "common/xls_converter.h"
#include "common_test_support.h"

#include "TK/tk_utils.h"
#include "dao/dao_database.h"
#include "jet/biff_reader.h"
#include "jet/jet_engine.h"
#include "jet/jet_file.h"
#include "platform/file_replacement.h"
#include "tests/support/files.h"
#include "tests/support/scoped_env.h"
#include "xlsx/xlsx_db.h"
#include "tests/support/wide_text.h"

#include <fstream>
#include <functional>
#include <signal.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class Conversion : public ::testing::Test {
 protected:
  recording_front_end front;
  error_handler errors{oracle_error_count, oracle_error_table};
  xls_converter converter{front};
  void SetUp() override {
    handled.clear();
    on_error = nullptr;
  }
  void TearDown() override { on_error = nullptr; }
};

TEST_F(Conversion, ColumnTypesOfTheDestination) {
  struct {
    VARTYPE source;
    int format;
    bool dates_to_strings;
    VARTYPE destination;
  } cases[] = {
      {VT_DATE, 1, false, VT_DATE}, {VT_DATE, 2, false, VT_DATE}, {VT_DATE, 2, true, VT_BSTR},
      {VT_DATE, 0, false, VT_BSTR}, {0x41, 2, false, VT_BSTR},     {VT_DECIMAL, 0, true, VT_DECIMAL},
      {VT_R8, 1, true, VT_R8},
  };
  for (const auto& c : cases) {
    converter.format_version = c.format;
    converter.dates_to_strings = c.dates_to_strings;
    t_ftd source(22, L"COL", c.source, true, 3, ole_variant(5), 1, L"NUMBER");
    auto mapped = converter.map_column(source);
    EXPECT_EQ(mapped->vartype, c.destination) << c.source << " in format " << c.format;
    EXPECT_EQ(mapped->name, L"COL");
    EXPECT_EQ(mapped->size, 22);
    EXPECT_FALSE(mapped->b_not_null);
    EXPECT_EQ(mapped->reserved, 0u);
    EXPECT_TRUE(mapped->type_text.empty());
  }
}

TEST_F(Conversion, ValuesOfTheDestination) {
  udb_field text(L"T", 10, ole_variant(std::wstring(L"a\r\nb\rc")), true, 2);
  auto folded = converter.map_field(text);
  EXPECT_EQ(folded->to_wstring(), L"a\nb\nc");
  EXPECT_EQ(folded->name, L"T");
  EXPECT_TRUE(folded->b_not_null);
  EXPECT_EQ(folded->flag, 2);
  // A cell cannot hold a NUL character (readers end the text there): only
  // that character goes.
  udb_field with_nul(L"T", 10, ole_variant(std::wstring(L"ab\0cd\0", 6)), false, 0);
  EXPECT_EQ(converter.map_field(with_nul)->to_wstring(), L"abcd");

  udb_field long_text(L"L", 0, ole_variant(std::wstring(40000, L'x')), false, 0);
  for (auto [format, length] : {std::pair{0, 254u}, {1, 32766u}, {2, 32766u}}) {
    converter.format_version = format;
    EXPECT_EQ(converter.map_field(long_text)->to_wstring().size(), length) << format;
  }
  // Excel counts UTF-16 units: a character beyond the Basic Multilingual
  // Plane takes two, and the cut never falls between them.
  std::wstring emoji = L"x";
  for (int i = 0; i < 20000; ++i) emoji += L"😀";
  udb_field wide_text(L"W", 0, ole_variant(emoji), false, 0);
  for (auto [format, length] : {std::pair{0, 127u}, {1, 16383u}, {2, 16383u}}) {
    converter.format_version = format;
    EXPECT_EQ(converter.map_field(wide_text)->to_wstring(), emoji.substr(0, length)) << format;
  }
  const unsigned char bytes[] = {1, 2, 3};
  udb_field binary(L"B", 3, ole_variant(3, bytes), false, 0);
  EXPECT_EQ(converter.map_field(binary)->to_wstring(), L"<Binary Field>");
  udb_field number(L"N", 0, ole_variant(42), false, 0);
  auto copy = converter.map_field(number);
  EXPECT_EQ(copy->get_type(), VT_I4);
  EXPECT_EQ(copy->to_string(), "42");
}

// A source of `rows` records of one number column; with `failure`, the
// record after the first `good` ones raises it.
class counting_source : public udb_recordset {
 public:
  explicit counting_source(int rows, const tk_exception* failure = nullptr, int good = 1)
      : udb_recordset(L"BIG", false), left(rows), failure(failure), good(good) {
    schema.push_back(std::make_unique<t_ftd>(4, L"N", VT_I4, false, 0, ole_variant(), 0, L"NUMBER"));
    record_count = rows;
  }
  void append_record(udb_record&) override {}
  bool is_eof() override { return left == 0; }
  udb_record* get_item() override {
    if (failure && record_count - left >= good) throw *failure;
    current.clear();
    current.push_back(std::make_unique<udb_field>(L"N", 4, ole_variant(left), false, 0));
    return &current;
  }
  void next() override {
    --left;
    if (after_next) after_next();
  }
  std::function<void()> after_next;

 private:
  int left;
  const tk_exception* failure;
  int good;
  udb_record current;
};

TEST_F(Conversion, AnXlsxSheetIsCutAtItsLastRowAndSaysSo) {
  temp_folder folder;
  converter.format_version = 2;
  converter.destination = qm_test::wide(folder.path + "/big.xlsx");
  xlsx_database destination(converter.destination, false);
  counting_source source(xlsx_max_rows + 1);
  udb_schema schema(false);
  schema.push_back(converter.map_column(source.schema[0]));
  converter.set_current_table(L"BIG");
  try {
    converter.convert_table(&destination, source, L"BIG", schema);
    FAIL();
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.level, 0);
    EXPECT_NE(e.message.find("1048575"), std::string::npos) << e.message;
  }
  EXPECT_EQ(converter.records_done, xlsx_max_rows - 1);
}

// A source whose tables the run never reaches.
class empty_source : public udb_database {
 public:
  empty_source() : udb_database(L"src", 0, false) {}
  std::unique_ptr<udb_recordset> create_table(const std::wstring&, const udb_schema&, const udb_indexes&) override {
    return nullptr;
  }
  std::unique_ptr<udb_recordset> get_query(const std::wstring&, const std::wstring&, int) override { return nullptr; }
  std::unique_ptr<udb_recordset> get_table(const std::wstring&, int) override { return nullptr; }
  bool test_query(const std::wstring&) override { return false; }
};

TEST_F(Conversion, TheXlsFormatsNeedDao) {
  temp_folder folder;
  converter.destination = qm_test::wide(folder.path + "/book.xls");
  converter.selected_tables = {L"EMP"};
  empty_source source;
  // As on a machine without DAO.
  jet_register_dbengine(false);
  for (int format : {0, 1}) {
    converter.format_version = format;
    try {
      converter.do_convert(source);
      ADD_FAILURE();
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.level, 1);
      EXPECT_EQ(e.message,
                "Failed to load Data Access Objects (DAO) support library.\nMicrosoft Access installation is "
                "required to proceed with\nthe application.\n");
    }
  }
  jet_register_dbengine();
}

TEST_F(Conversion, AFormatOutsideTheEnginesEndsTheRunBeforeAnythingIsDeleted) {
  temp_folder folder;
  std::string kept = folder.path + "/kept.xls";
  std::ofstream(kept) << "an earlier workbook";
  converter.destination = qm_test::wide(kept);
  converter.selected_tables = {L"EMP"};
  empty_source source;
  for (int format : {-1, 3}) {
    converter.format_version = format;
    try {
      converter.do_convert(source);
      ADD_FAILURE() << format;
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.level, 1);
      EXPECT_EQ(e.message, "MS Excel format version must be 0, 1 or 2");
    }
  }
  EXPECT_TRUE(tk_is_file_exist(kept, 0));
}

TEST_F(Conversion, AnXlsSheetIsCutAtItsLastRowOrColumnAndSaysSo) {
  struct {
    int format;
    int rows;
    bool extra_column;  // one more column than the layout holds, as when the run cuts it
    std::string message;  // empty: not cut
    int records_done;
    int counted = 0;  // the count taken before the read, when it differs from the rows
  } cases[] = {
      {0, 16384, false,
       "The table has more rows than an Excel 5.0 worksheet holds; only its first 16383 records were written.", 16383},
      // A count that says fewer: the sheet's limit cuts, and only it.
      {0, 16384, false,
       "The table has more rows than an Excel 5.0 worksheet holds; only its first 16383 records were written.", 16383,
       100},
      {1, 70, false, "", 70, 3},
      {1, 3, true,
       "The table has more columns than an Excel 2000 worksheet holds; only its first 1 fields were written.", 3},
      {1, 65536, true,
       "The table has more rows and columns than an Excel 2000 worksheet holds; only the first 1 fields of its "
       "first 65535 records were written.",
       65535},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    temp_folder folder;
    converter.format_version = c.format;
    converter.records_done = 0;
    converter.destination = qm_test::wide(folder.path + "/big.xls");
    ASSERT_TRUE(converter.dao.set_version_if(0));
    auto destination = converter.dao.create_dao_src(converter.destination, c.format ? L"Excel 8.0;" : L"Excel 5.0;");
    counting_source source(c.rows);
    if (c.counted) source.record_count = c.counted;
    if (c.extra_column)
      source.schema.push_back(std::make_unique<t_ftd>(4, L"M", VT_I4, false, 0, ole_variant(), 0, L"NUMBER"));
    udb_schema schema(true);
    schema.push_back(converter.map_column(source.schema[0]));
    converter.set_current_table(L"BIG");
    try {
      converter.convert_table(destination.get(), source, L"BIG", schema);
      EXPECT_EQ(c.message, "");
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.level, 0);
      EXPECT_EQ(e.message, c.message);
    }
    EXPECT_EQ(converter.records_done, c.records_done);
    EXPECT_EQ(converter.records_total, c.counted ? c.counted : c.rows) << "the count is the progress's";
    destination->close();
    struct stat st{};
    EXPECT_EQ(stat((folder.path + "/big.xls").c_str(), &st), 0);
  }
}

// Tables of a few records; one fails half-way, and the check of one
// raises an error that ends the run.
class tables_source : public udb_database {
 public:
  explicit tables_source(bool case_sensitive = false) : udb_database(L"src", 0, case_sensitive) {
    table_names = {L"A", L"B", L"C", L"D", L"E"};
  }
  std::unique_ptr<udb_recordset> create_table(const std::wstring&, const udb_schema&, const udb_indexes&) override {
    return nullptr;
  }
  std::unique_ptr<udb_recordset> get_query(const std::wstring&, const std::wstring&, int) override { return nullptr; }
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int) override {
    if (every_first_record_fails) return std::make_unique<counting_source>(3, &failure, 0);
    return std::make_unique<counting_source>(3, name == failing ? &failure : nullptr);
  }
  bool test_query(const std::wstring&) override { return false; }
  bool is_table_exist(const std::wstring& name) override {
    if (name == lost) throw tk_exception(std::string("ORA-03113: end-of-file on communication channel"), 1);
    return udb_database::is_table_exist(name);
  }
  std::wstring failing, lost;
  bool every_first_record_fails = false;
  tk_exception failure{std::string("ORA-01722: invalid number"), 0};
};

// The sheets of the file and their record counts, read past the DBEngine.
std::vector<std::pair<std::wstring, std::size_t>> sheets_in(const std::wstring& path, int format) {
  biff_version v = format == 0 ? biff_version::biff5 : biff_version::biff8;
  jet_session session;
  std::vector<std::uint8_t> stream;
  if (FAILED(jet_read_file(session, path, v, stream))) return {};
  biff_book book;
  biff_read_workbook(stream.data(), stream.size(), book);
  std::vector<std::pair<std::wstring, std::size_t>> sheets;
  for (const biff_sheet& sheet : book.sheets) sheets.emplace_back(sheet.name, sheet.rows.size() - 1);
  return sheets;
}

// A run that ends before its end (the user aborts, a level-1 error, an
// internal error) leaves the old workbook byte for byte and nothing of its
// own beside it; one that goes on to its end replaces it with every item.
TEST_F(Conversion, ARunThatEndsEarlyLeavesTheOldWorkbookAsItWas) {
  using sheets = std::vector<std::pair<std::wstring, std::size_t>>;
  enum ending { runs_on, user_aborts, level_1, internal_error };
  const std::string old_bytes = "\xd0\xcf\x11\xe0 an earlier workbook";
  for (int format : {0, 1, 2})
    for (ending end : {runs_on, user_aborts, level_1, internal_error}) {
      SCOPED_TRACE("format " + std::to_string(format) + ", ending " + std::to_string(end));
      temp_folder folder;
      std::string temp = folder.path + "/tmp", out = folder.path + "/out";
      mkdir(temp.c_str(), 0700);
      mkdir(out.c_str(), 0700);
      scoped_env run_temp("TEMP", temp);
      std::string name = format == 2 ? "run.xlsx" : "run.xls";
      std::ofstream(out + "/" + name, std::ios::binary) << old_bytes;
      converter.format_version = format;
      converter.destination = qm_test::wide(out + "/" + name);
      converter.selected_tables = {L"A", L"B", L"C", L"D", L"E"};
      converter.selected.clear();
      front.converted.clear();
      front.outcomes.clear();
      handled.clear();
      tables_source source;
      source.failing = L"C";
      if (end == level_1) source.lost = L"D";
      if (end == internal_error) source.failure = tk_mail_assertion("xls_test", 1);
      // What the folder held when the handler heard of the failure: the
      // programs end the process there on an internal error.
      std::string on_disk;
      on_error = [&](const tk_exception& e) {
        on_disk = qm_test::listing(out);
        if (end == user_aborts || e.level == 2) throw tk_final_exception();
      };
      bool ended = false;
      try {
        converter.do_convert(source);
      } catch (const tk_final_exception&) {
        ended = end == user_aborts || end == internal_error;
      } catch (const tk_exception& e) {
        ended = end == level_1 && e.level == 1;
      }
      EXPECT_EQ(ended, end != runs_on);
      ASSERT_FALSE(handled.empty());
      EXPECT_EQ(handled[0].substr(0, 3), "C: ");
      EXPECT_EQ(qm_test::listing(out), name + "\n") << "something of the run stays";
      EXPECT_EQ(qm_test::listing(temp), "") << "the temporary tree stays";
      if (end == internal_error) {
        EXPECT_EQ(on_disk, name + "\n");
        EXPECT_EQ(handled[0].substr(handled[0].size() - 42), "\nThe existing workbook was left as it was.");
      }
      EXPECT_EQ(front.outcomes, end == user_aborts ? std::vector<std::string>{"The conversion was aborted. The existing "
                                                                              "workbook was left as it was."}
                                                   : std::vector<std::string>{});
      front.outcomes.clear();
      if (end != runs_on) {
        EXPECT_TRUE(qm_test::file_bytes(out + "/" + name) == old_bytes) << "the old workbook changed";
      } else if (format == 2) {
        EXPECT_EQ(qm_test::file_bytes(out + "/" + name).substr(0, 2), "PK");
      } else {
        // Each item is in, and the failed one with its first record.
        EXPECT_EQ(sheets_in(converter.destination, format),
                  (sheets{{L"A", 3}, {L"B", 3}, {L"C", 1}, {L"D", 3}, {L"E", 3}}));
        EXPECT_EQ(front.converted.size(), 4u);
      }
      converter.tables_done = 0;
      converter.items_failed = 0;
    }
}

// The run's own file is put in place with one rename: a destination that
// became a folder since it was checked stays as it was, and the error names it.
TEST_F(Conversion, AWorkbookThatCannotBePutInPlaceLeavesTheDestination) {
  for (int format : {1, 2}) {
    SCOPED_TRACE(format);
    temp_folder folder;
    std::string name = format == 2 ? "/book.xlsx" : "/book.xls";
    std::string dest = folder.path + name;
    mkdir(dest.c_str(), 0700);
    std::ofstream(dest + "/inside") << "the user's";
    converter.format_version = format;
    converter.destination = qm_test::wide(dest);
    converter.selected_tables = {L"A"};
    converter.selected.clear();
    tables_source source;
    try {
      converter.do_convert(source);
      ADD_FAILURE();
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.level, 1);
      EXPECT_EQ(e.message, "Cannot write the destination file \"" + dest + "\": Is a directory");
    }
    EXPECT_EQ(qm_test::listing(folder.path), name.substr(1) + "\n");
    EXPECT_EQ(qm_test::file_bytes(dest + "/inside"), "the user's");
  }
}

// The old workbook goes only when the run has an item to write over it: a
// selection that is empty, that names only tables the source lacks, whose
// every item fails at its first record, or a run stopped before its first
// item leaves it as it was (a run with failures says so); a run with an item
// replaces it. A file named like a split part stays whatever the run did.
TEST(ConversionOfNothing, KeepsTheOldWorkbook) {
  recording_front_end front;
  error_handler errors{oracle_error_count, oracle_error_table};
  enum selection { empty, missing_only, failing_first, stopped_first, one_table };
  for (int format : {0, 1, 2})
    for (selection choice : {empty, missing_only, failing_first, stopped_first, one_table}) {
      SCOPED_TRACE("format " + std::to_string(format) + ", selection " + std::to_string(choice));
      temp_folder folder;
      std::string ext = format == 2 ? ".xlsx" : ".xls";
      std::string old = folder.path + "/book" + ext, part = folder.path + "/book(1)" + ext;
      for (const std::string& path : {old, part}) std::ofstream(path) << "an earlier workbook";
      xls_converter run(front);
      run.format_version = format;
      run.split_data = true;
      run.destination = qm_test::wide(old);
      if (choice == missing_only) run.selected_tables = {L"NO_SUCH_TABLE"};
      if (choice == stopped_first || choice == one_table) run.selected_tables = {L"A"};
      if (choice == failing_first) run.selected_tables = {L"A", L"B"};
      if (choice == stopped_first) run.request_stop();
      tables_source source;
      source.every_first_record_fails = choice == failing_first;
      if (choice == stopped_first)
        EXPECT_THROW(run.do_convert(source), tk_final_exception);
      else
        run.do_convert(source);
      const std::string text = qm_test::file_bytes(old);
      EXPECT_EQ(qm_test::file_bytes(part), "an earlier workbook");
      if (choice == one_table) {
        EXPECT_NE(text, "an earlier workbook");
        using sheets = std::vector<std::pair<std::wstring, std::size_t>>;
        if (format != 2) {
          EXPECT_EQ(sheets_in(run.destination, format), (sheets{{L"A", 3}}));
        }
      } else {
        EXPECT_EQ(text, "an earlier workbook");
      }
      EXPECT_EQ(qm_test::listing(folder.path), "book(1)" + ext + "\nbook" + ext + "\n");
      bool told = choice == missing_only || choice == failing_first;
      EXPECT_EQ(front.outcomes, told ? std::vector<std::string>{"No table or query was converted. The existing "
                                                                "workbook was left as it was."}
                                     : std::vector<std::string>{});
      front.outcomes.clear();
    }
}

// Listed tables that the source lacks are said among the others in the
// order of the names, once each, and take no sheet.
TEST(ConversionOfAList, TablesTheSourceLacksAreSaidInTheirTurn) {
  struct ordered_front : recording_front_end {
    void on_table_start(const std::wstring& name, int) override { events.push_back(name); }
    void on_missing_table(const std::wstring& name) override { events.push_back(L"missing " + name); }
    std::vector<std::wstring> events;
  };
  error_handler errors{oracle_error_count, oracle_error_table};
  for (int format : {1, 2})
    for (bool case_sensitive : {false, true}) {
      SCOPED_TRACE("format " + std::to_string(format) + (case_sensitive ? ", names compared exactly" : ""));
      ordered_front front;
      temp_folder folder;
      xls_converter run(front);
      run.format_version = format;
      run.destination = qm_test::wide(folder.path + (format == 2 ? "/book.xlsx" : "/book.xls"));
      run.selected_tables = {L"E", L"B0", L"A", L"Z", L"E", L"Z", L"a0"};
      tables_source source(case_sensitive);
      run.do_convert(source);
      EXPECT_EQ(front.events, (std::vector<std::wstring>{L"A", L"missing B0", L"E", L"missing Z", L"missing a0"}));
      EXPECT_EQ(run.items_failed, 3);
      EXPECT_EQ(run.tables_done, 5);
      if (format != 2) {
        using sheets = std::vector<std::pair<std::wstring, std::size_t>>;
        EXPECT_EQ(sheets_in(run.destination, format), (sheets{{L"A", 3}, {L"E", 3}}));
      }
    }
}

// The file layer's late steps, counted, one of them failing or running
// something first.
class counted_steps : public qm_platform::replace_steps {
 public:
  int syncs = 0, renames = 0, removes = 0;
  int fail_sync_at = 0, fail_rename_at = 0, fail_remove_at = 0;
  std::function<void(int call)> on_sync, on_rename, on_remove;
  counted_steps() : before(qm_platform::set_replace_steps(this)) {}
  ~counted_steps() override { qm_platform::set_replace_steps(before); }
  int sync(int fd) override {
    if (on_sync) on_sync(syncs + 1);
    return ++syncs == fail_sync_at ? EIO : replace_steps::sync(fd);
  }
  int rename(const std::string& from, const std::string& to) override {
    if (on_rename) on_rename(renames + 1);
    return ++renames == fail_rename_at ? ENOSPC : replace_steps::rename(from, to);
  }
  int remove_folder(const std::string& path) override {
    if (on_remove) on_remove(removes + 1);
    return ++removes == fail_remove_at ? EBUSY : replace_steps::remove_folder(path);
  }

 private:
  qm_platform::replace_steps* before;
};

// What a run leaves of the old workbook: its bytes, owner, group and mode.
std::string state_of(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return "(gone)";
  return qm_test::file_bytes(path) + " " + std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) + " " +
         std::to_string(st.st_mode & 07777);
}

// One run of two tables over an old workbook in a folder of its own.
class late_step_run {
 public:
  explicit late_step_run(int format) : format(format) {
    mkdir(temp.c_str(), 0700);
    std::ofstream(destination, std::ios::binary) << "\xd0\xcf\x11\xe0 the old workbook";
    chmod(destination.c_str(), 0640);
    before = state_of(destination);
  }
  // The run's end: "" when it wrote its workbook, "stopped", or the error.
  std::string run(xls_converter& converter) {
    converter.format_version = format;
    converter.destination = qm_test::wide(destination);
    converter.selected_tables = {L"A", L"B"};
    converter.selected.clear();
    tables_source source;
    try {
      converter.do_convert(source);
      return "";
    } catch (const tk_final_exception&) {
      return "stopped";
    } catch (const tk_exception& e) {
      return e.message.empty() ? "(no message)" : e.message;
    }
  }
  // Nothing of the run beside the destination or in the temporary folder.
  std::string leftovers() const { return qm_test::listing(out) + qm_test::listing(temp); }

  int format;
  temp_folder folder;
  std::string out = folder.path, temp = folder.path + "/tmp";
  scoped_env run_temp{"TEMP", temp};
  std::string name = format == 2 ? "book.xlsx" : "book.xls";
  std::string destination = out + "/" + name;
  std::string before;
};

// Every sync and rename of a run goes through the file layer: whichever
// fails, the run ends with the destination named, the old workbook byte for
// byte with its owner, group and mode, and nothing of the run left. Only
// the sync of a folder after its rename may fail without harm.
TEST_F(Conversion, AFailingSyncOrRenameAnywhereInTheRunLeavesTheOldWorkbook) {
  for (int format : {0, 1, 2}) {
    SCOPED_TRACE("format " + std::to_string(format));
    int syncs = 0, renames = 0;
    {
      late_step_run whole(format);
      counted_steps steps;
      ASSERT_EQ(whole.run(converter), "");
      syncs = steps.syncs;
      renames = steps.renames;
      ASSERT_GE(renames, 2) << "the run's own write and the final rename";
    }
    for (bool sync : {true, false})
      for (int call = 1; call <= (sync ? syncs : renames); ++call) {
        SCOPED_TRACE(std::string(sync ? "sync " : "rename ") + std::to_string(call));
        late_step_run failing(format);
        counted_steps steps;
        (sync ? steps.fail_sync_at : steps.fail_rename_at) = call;
        std::string ending = failing.run(converter);
        EXPECT_EQ(failing.leftovers(), failing.name + "\ntmp\n");
        // The last sync is the folder's, after the final rename; the one
        // before it puts the workbook on the disk.
        const bool harmless = sync && call % 2 == 0;
        if (!sync || call == syncs - 1) {
          EXPECT_FALSE(harmless);
        }
        if (harmless) {
          EXPECT_EQ(ending, "");
          continue;
        }
        EXPECT_NE(ending.find(failing.destination), std::string::npos) << ending;
        EXPECT_EQ(ending.find(".quillmark-"), std::string::npos) << ending;
        EXPECT_NE(ending.find(sync ? "Input/output error" : "No space left on device"), std::string::npos) << ending;
        EXPECT_EQ(state_of(failing.destination), failing.before);
      }
  }
}

// The last stop check and the rename are one step: a stop that comes at the
// run's last write before it keeps the old workbook; a signal that comes
// while the workbook is synced is held until it is in place, and the run
// ends as a whole one.
TEST(StoppedConversion, BeforeTheLastStepKeepsTheOldWorkbookAndDuringItCompletesTheRun) {
  recording_front_end front;
  error_handler errors{oracle_error_count, oracle_error_table};
  stop_signals interrupts;
  int syncs = 0, renames_of_last = 0;
  for (int format : {0, 1, 2}) {
    SCOPED_TRACE("format " + std::to_string(format));
    int renames = 0;
    {
      xls_converter whole_run(front);
      late_step_run whole(format);
      counted_steps steps;
      ASSERT_EQ(whole.run(whole_run), "");
      renames = renames_of_last = steps.renames;
      syncs = steps.syncs;
    }
    // A stop stays asked for: a converter of its own.
    xls_converter run(front);
    late_step_run stopped(format);
    counted_steps steps;
    steps.on_rename = [&](int call) {
      if (call == renames - 1) run.request_stop();
    };
    EXPECT_EQ(stopped.run(run), "stopped");
    EXPECT_FALSE(run.workbook_in_place);
    EXPECT_EQ(state_of(stopped.destination), stopped.before);
    EXPECT_EQ(stopped.leftovers(), stopped.name + "\ntmp\n");
  }
  ASSERT_FALSE(stop_signals::received());
  xls_converter run(front);
  late_step_run signalled(2);
  counted_steps steps;
  // The workbook's own sync, the last but one.
  steps.on_sync = [&](int call) {
    if (call == syncs - 1) kill(getpid(), SIGTERM);
  };
  bool received_at_rename = true;
  steps.on_rename = [&](int call) {
    if (call == renames_of_last) received_at_rename = stop_signals::received();
  };
  EXPECT_EQ(signalled.run(run), "");
  EXPECT_FALSE(received_at_rename) << "the signal was let through before the rename";
  EXPECT_EQ(steps.syncs, syncs);
  EXPECT_TRUE(run.workbook_in_place);
  EXPECT_EQ(qm_test::file_bytes(signalled.destination).substr(0, 2), "PK");
  EXPECT_EQ(signalled.leftovers(), signalled.name + "\ntmp\n");
  // Held, not lost: the program ends by it once the run is over.
  EXPECT_TRUE(stop_signals::received());
}

// A second signal while a stopped run removes what it made changes
// nothing: the clean-up ends, and nothing of the run stays.
TEST(StoppedConversion, ASecondSignalWhileItCleansUpChangesNothing) {
  recording_front_end front;
  error_handler errors{oracle_error_count, oracle_error_table};
  stop_signals interrupts;
  // The first at the packing's end, the second as the run's folder goes.
  xls_converter run(front);
  late_step_run stopped(2);
  counted_steps steps;
  int signals = 0;
  steps.on_rename = [&](int) {
    if (signals == 0 && ++signals) kill(getpid(), SIGINT);
  };
  steps.on_remove = [&](int) {
    if (signals == 1 && ++signals) kill(getpid(), SIGINT);
  };
  EXPECT_EQ(stopped.run(run), "stopped");
  EXPECT_EQ(signals, 2);
  EXPECT_EQ(state_of(stopped.destination), stopped.before);
  EXPECT_EQ(stopped.leftovers(), stopped.name + "\ntmp\n");
  EXPECT_TRUE(stop_signals::received());
}

// A folder of the run that cannot be removed is told; the workbook is in place.
TEST_F(Conversion, AFolderOfTheRunThatCannotBeRemovedIsTold) {
  for (int format : {1, 2}) {
    SCOPED_TRACE("format " + std::to_string(format));
    int removes = 0;
    {
      late_step_run whole(format);
      counted_steps steps;
      ASSERT_EQ(whole.run(converter), "");
      removes = steps.removes;
    }
    late_step_run left(format);
    counted_steps steps;
    steps.fail_remove_at = removes;
    front.outcomes.clear();
    EXPECT_EQ(left.run(converter), "");
    EXPECT_TRUE(converter.workbook_in_place);
    ASSERT_EQ(front.outcomes.size(), 1u);
    const std::string& told = front.outcomes[0];
    EXPECT_EQ(told.find("Cannot remove the folder \"" + left.out + "/.quillmark-"), 0u) << told;
    EXPECT_EQ(told.substr(told.size() - 27), "\": Device or resource busy.") << told;
  }
}

// A source of one table, BIG.
class one_table_source : public udb_database {
 public:
  explicit one_table_source(std::function<std::unique_ptr<udb_recordset>()> make)
      : udb_database(L"src", 0, false), make(std::move(make)) {
    table_names = {L"BIG"};
  }
  std::unique_ptr<udb_recordset> create_table(const std::wstring&, const udb_schema&, const udb_indexes&) override {
    return nullptr;
  }
  std::unique_ptr<udb_recordset> get_query(const std::wstring&, const std::wstring&, int) override { return nullptr; }
  std::unique_ptr<udb_recordset> get_table(const std::wstring&, int) override { return make(); }
  bool test_query(const std::wstring&) override { return false; }

 private:
  std::function<std::unique_ptr<udb_recordset>()> make;
};

TEST(StoppedConversion, EndsBetweenRecordsAndLeavesNoFiles) {
  recording_front_end front;
  error_handler errors{oracle_error_count, oracle_error_table};
  temp_folder folder;
  std::string temp = folder.path + "/temp";
  mkdir(temp.c_str(), 0700);
  scoped_env run_temp("TEMP", temp);
  for (int format : {1, 2}) {
    SCOPED_TRACE(format);
    xls_converter run(front);
    run.format_version = format;
    run.destination = qm_test::wide(folder.path + (format == 2 ? "/book.xlsx" : "/book.xls"));
    run.selected_tables = {L"BIG"};
    // Cancel, or an interrupt, comes in the middle of the table.
    one_table_source source([&run] {
      auto table = std::make_unique<counting_source>(1000);
      table->after_next = [&run] {
        if (run.records_done == 100) run.request_stop();
      };
      return table;
    });
    EXPECT_THROW(run.do_convert(source), tk_final_exception);
    EXPECT_EQ(run.records_done, 100);
    struct stat st{};
    EXPECT_NE(stat(tk_to_utf8(run.destination).c_str(), &st), 0) << "an unfinished workbook stays";
    EXPECT_EQ(qm_test::listing(folder.path), "temp\n") << "the run's own file stays";
    EXPECT_EQ(qm_test::listing(temp), "") << "the temporary tree stays";
  }
}

}  // namespace

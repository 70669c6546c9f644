#include "jet/biff_book.h"
#include "jet/biff_reader.h"
#include "jet/biff_writer.h"
#include "jet/jet_file.h"
#include "jet_test_support.h"
#include "platform/storage.h"
#include "platform/utf8.h"
#include "tests/platform/storage_support.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class IsamFiles : public jet_fixture {
 protected:
  // A compound file holding one stream of these bytes.
  void compound(const std::wstring& path, const wchar_t* stream, const std::vector<std::uint8_t>& bytes) {
    IStorage* storage = nullptr;
    ASSERT_EQ(StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage), S_OK);
    IStream* data = nullptr;
    ASSERT_EQ(storage->CreateStream(stream, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &data), S_OK);
    ULONG written = 0;
    data->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    data->Release();
    ASSERT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
    storage->Release();
  }
  std::string narrow(const std::wstring& path) { return qm_platform::path_to_utf8(path.c_str()); }
  std::string contents(const std::wstring& path) {
    std::ifstream in(narrow(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The sheet names the file holds now, read past the engine.
  std::vector<std::wstring> sheets_on_disk(const std::wstring& path, biff_version v) {
    jet_session session;
    std::vector<std::uint8_t> stream;
    if (FAILED(jet_read_file(session, path, v, stream))) return {L"(unreadable)"};
    biff_book book;
    biff_read_workbook(stream.data(), stream.size(), book);
    std::vector<std::wstring> names;
    for (const biff_sheet& sheet : book.sheets) names.push_back(sheet.name);
    return names;
  }
  std::vector<std::wstring> tables_of(DAODatabase* db) {
    ref<DAOTableDefs> tables;
    db->get_TableDefs(tables.out());
    SHORT count = 0;
    tables->get_Count(&count);
    std::vector<std::wstring> names;
    for (SHORT i = 0; i < count; ++i) {
      ref<_DAOTableDef> table;
      tables->get_Item(arg(i), table.out());
      bstr name;
      table->get_Name(name.out());
      names.push_back(name.str());
    }
    return names;
  }
  // Opens the workbook, adds a sheet of one text field and record, closes it.
  void add_sheet(const std::wstring& path, const wchar_t* connect, const wchar_t* sheet) {
    ref<DAODatabase> db;
    ASSERT_EQ(open(path, connect, db), S_OK);
    ASSERT_EQ(create(db.p, sheet, {{L"T", dbText}}), S_OK);
    ref<DAORecordset> records;
    ASSERT_EQ(recordset(db.p, sheet, dbAppendOnly, records), S_OK);
    ASSERT_EQ(add(records.p, {arg(sheet)}), S_OK);
    records.reset();
    ASSERT_EQ(db->Close(), S_OK);
  }
  HRESULT refresh() { return engine->Idle(arg(dbRefreshCache)); }
  // The names in the test's folder, sorted.
  std::vector<std::string> entries() {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.path.c_str())) {
      while (dirent* e = readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
      closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  temp_dir dir;
};

TEST_F(IsamFiles, AClosedWorkbookReopensWithItsSheets) {
  // Read back from the workbook the engine kept, and from its file.
  for (bool from_file : {false, true}) {
  for (const wchar_t* connect : {L"Excel 5.0;", L"Excel 8.0;"}) {
    std::wstring path = dir.file(std::wstring(from_file ? L"file" : L"kept") + connect[6] + L".xls");
    {
      ref<DAODatabase> db;
      ASSERT_EQ(open(path, connect, db), S_OK);
      ASSERT_EQ(create(db.p, L"First", {{L"N", dbDouble}, {L"T", dbText}}), S_OK);
      ref<DAORecordset> records;
      ASSERT_EQ(recordset(db.p, L"First", dbAppendOnly, records), S_OK);
      ASSERT_EQ(add(records.p, {arg(1.5), arg(L"one")}), S_OK);
      records.reset();
      ASSERT_EQ(db->Close(), S_OK);
    }
    {
      ref<DAODatabase> db;
      ASSERT_EQ(open(path, connect, db), S_OK) << "a second item reopens the workbook";
      ref<DAOTableDefs> tables;
      db->get_TableDefs(tables.out());
      SHORT count = 0;
      tables->get_Count(&count);
      EXPECT_EQ(count, 1);
      ASSERT_EQ(create(db.p, L"Second", {{L"D", dbDate}}), S_OK);
      ref<DAORecordset> records;
      ASSERT_EQ(recordset(db.p, L"Second", dbAppendOnly, records), S_OK);
      ASSERT_EQ(add(records.p, {arg::date(40000.25)}), S_OK);
      records.reset();
      ASSERT_EQ(db->Close(), S_OK);
    }
    if (from_file) {
      ASSERT_EQ(refresh(), S_OK);
    }
    ref<DAODatabase> db;
    ASSERT_EQ(open(path, connect, db, true), S_OK);
    ref<DAORecordset> first;
    ASSERT_EQ(recordset(db.p, L"First", dbReadOnly, first), S_OK);
    ref<DAOFields> fields;
    first->get_Fields(fields.out());
    ref<_DAOField> t;
    ASSERT_EQ(fields->get_Item(arg(L"T"), t.out()), S_OK);
    VARIANT v;
    ASSERT_EQ(t->get_Value(&v), S_OK);
    EXPECT_EQ(std::wstring(v.bstrVal), L"one");
    VariantClear(&v);
    ref<DAORecordset> second;
    ASSERT_EQ(recordset(db.p, L"Second", dbReadOnly, second), S_OK);
    second->get_Fields(fields.out());
    ASSERT_EQ(fields->get_Item(arg(0), t.out()), S_OK);
    SHORT type = 0;
    t->get_Type(&type);
    EXPECT_EQ(type, dbDate) << "a date cell makes a date field";
    ASSERT_EQ(t->get_Value(&v), S_OK);
    EXPECT_EQ(v.date, 40000.25);
    EXPECT_EQ(create(db.p, L"Third", {{L"X", dbText}}), dao_hresult(3027)) << "opened read-only";
  }
  }
}

TEST_F(IsamFiles, FilesThatAreNoWorkbookAreRefused) {
  biff_book book;
  book.sheets.emplace_back();
  book.sheets.back().name = L"S";
  std::vector<std::uint8_t> biff5 = biff_write_workbook(book, biff_version::biff5);
  std::vector<std::uint8_t> broken(biff5.begin(), biff5.begin() + 40);
  std::wstring text = dir.file(L"text.xls"), other = dir.file(L"other.xls"), cut = dir.file(L"cut.xls"),
               nostream = dir.file(L"nostream.xls"), folder = dir.file(L"folder.xls");
  std::ofstream(narrow(text)) << "an earlier workbook";
  compound(other, L"Book", biff5);
  compound(cut, L"Workbook", broken);
  compound(nostream, L"Data", biff5);
  mkdir(narrow(folder).c_str(), 0700);
  struct {
    std::wstring path;
    LONG error;
    const wchar_t* says;
  } cases[] = {
      {text, 3274, L"not a compound file"},
      {other, 3274, L"other BIFF version"},
      {cut, 3274, L"without their EOF"},
      {nostream, 3274, L"no workbook stream"},
      {folder, 3051, L"folder"},
  };
  for (const auto& c : cases) {
    ref<DAODatabase> db;
    EXPECT_EQ(open(c.path, L"Excel 8.0;", db), dao_hresult(c.error)) << narrow(c.path);
    std::wstring description;
    EXPECT_EQ(last_error(&description), c.error);
    EXPECT_NE(description.find(c.path), std::wstring::npos) << narrow(description);
    EXPECT_NE(description.find(c.says), std::wstring::npos) << narrow(description);
  }
  EXPECT_EQ(contents(text), "an earlier workbook");
}

// A workbook whose date cell holds a negative serial, as another program
// may write it: no date, but a number the sheet keeps.
std::vector<std::uint8_t> negative_date_stream() {
  biff_book book;
  biff_sheet sheet;
  sheet.name = L"Old";
  biff_book::put(sheet, 0, 0, book.text_cell(L"D"));
  biff_book::put(sheet, 1, 0, biff_book::date_cell(40000));
  book.sheets.push_back(std::move(sheet));
  std::vector<std::uint8_t> s = biff_write_workbook(book, biff_version::biff8);
  const double serial = -5;
  for (std::size_t at = 0; at + 4 <= s.size();) {
    unsigned id = s[at] | s[at + 1] << 8, length = s[at + 2] | s[at + 3] << 8;
    if (id == biff_id::number) std::memcpy(&s[at + 4 + 6], &serial, 8);
    at += 4 + length;
  }
  return s;
}

TEST_F(IsamFiles, AForeignDateOutsideTheSheetsRangeIsKeptAsItsNumber) {
  std::wstring path = dir.file(L"negative.xls");
  compound(path, L"Workbook", negative_date_stream());
  {
    ref<DAODatabase> db;
    ASSERT_EQ(open(path, L"Excel 8.0;", db), S_OK);
    ref<DAORecordset> old;
    ASSERT_EQ(recordset(db.p, L"Old", dbReadOnly, old), S_OK);
    ref<DAOFields> fields;
    old->get_Fields(fields.out());
    ref<_DAOField> d;
    ASSERT_EQ(fields->get_Item(arg(0), d.out()), S_OK);
    VARIANT v;
    ASSERT_EQ(d->get_Value(&v), S_OK);
    EXPECT_EQ(v.vt, VT_R8);
    EXPECT_EQ(v.dblVal, -5);
    old.reset();
    ASSERT_EQ(create(db.p, L"New", {{L"A", dbText}}), S_OK);
    EXPECT_EQ(db->Close(), S_OK);
  }
  ref<DAODatabase> db;
  ASSERT_EQ(open(path, L"Excel 8.0;", db, true), S_OK);
  ref<DAOTableDefs> tables;
  db->get_TableDefs(tables.out());
  SHORT count = 0;
  tables->get_Count(&count);
  EXPECT_EQ(count, 2);
}

TEST_F(IsamFiles, AFailedWriteKeepsTheOldFileAndLeavesNothingBeside) {
  std::wstring path = dir.file(L"keep.xls");
  add_sheet(path, L"Excel 8.0;", L"Old");
  std::string before = contents(path);
  // The new workbook is written beside the old one first: make that fail,
  // as the file is made and while its workbook is written.
  for (long long budget : {1000, 3000}) {
    storage_test::failing_files full;
    full.write_budget = budget;
    add_sheet(path, L"Excel 8.0;", L"New");
    EXPECT_EQ(refresh(), dao_hresult(3040)) << budget;
    EXPECT_EQ(entries(), std::vector<std::string>{"keep.xls"}) << budget;
  }
  std::wstring description;
  EXPECT_EQ(last_error(&description), 3040);
  EXPECT_NE(description.find(path), std::wstring::npos) << narrow(description);
  EXPECT_EQ(contents(path), before);
  // What could not be written is let go: the next open reads the file.
  ref<DAODatabase> db;
  ASSERT_EQ(open(path, L"Excel 8.0;", db), S_OK);
  EXPECT_EQ(tables_of(db.p), std::vector<std::wstring>{L"Old"});

  // A new file is written when its database closes.
  ref<DAODatabase> nowhere;
  ASSERT_EQ(open(L"/proc/qm_jet_cannot_be.xls", L"Excel 5.0;", nowhere), S_OK);
  ASSERT_EQ(create(nowhere.p, L"T", {{L"A", dbText}}), S_OK);
  EXPECT_EQ(nowhere->Close(), dao_hresult(3040));
}

TEST_F(IsamFiles, WhatStandsAtANameBesideTheWorkbookIsNeverFollowedNorConsumed) {
  std::string mine = dir.path + "/mine.txt";
  std::ofstream(mine) << "the user's own file";
  ASSERT_EQ(symlink("mine.txt", (dir.path + "/linked.xls.jet~").c_str()), 0);
  std::ofstream(dir.path + "/kept.xls.jet~") << "a file of the user's";
  for (const wchar_t* name : {L"linked.xls", L"kept.xls"}) {
    std::wstring path = dir.file(name);
    add_sheet(path, L"Excel 8.0;", L"First");
    add_sheet(path, L"Excel 8.0;", L"Second");
    ASSERT_EQ(refresh(), S_OK);
    EXPECT_EQ(sheets_on_disk(path, biff_version::biff8), (std::vector<std::wstring>{L"First", L"Second"}));
  }
  EXPECT_EQ(contents(dir.file(L"mine.txt")), "the user's own file");
  EXPECT_EQ(contents(dir.file(L"kept.xls.jet~")), "a file of the user's");
  char target[64] = {};
  ASSERT_GT(readlink((dir.path + "/linked.xls.jet~").c_str(), target, sizeof target - 1), 0);
  EXPECT_STREQ(target, "mine.txt");
  EXPECT_EQ(entries(), (std::vector<std::string>{"kept.xls", "kept.xls.jet~", "linked.xls", "linked.xls.jet~",
                                                 "mine.txt"}));
}

// The new file is made under a short name of its own, whatever the length
// of the workbook's, and takes the old file's permission bits.
TEST_F(IsamFiles, AWorkbookOfTheLongestNameKeepsItsPermissionBits) {
  std::wstring name(251, L'n');
  name += L".xls";
  std::wstring path = dir.file(name);
  add_sheet(path, L"Excel 8.0;", L"First");
  ASSERT_EQ(chmod(narrow(path).c_str(), 0600), 0);
  add_sheet(path, L"Excel 8.0;", L"Second");
  ASSERT_EQ(refresh(), S_OK);
  EXPECT_EQ(sheets_on_disk(path, biff_version::biff8), (std::vector<std::wstring>{L"First", L"Second"}));
  struct stat st {};
  ASSERT_EQ(stat(narrow(path).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(entries(), std::vector<std::string>{narrow(name)});
}

TEST_F(IsamFiles, TheEngineWritesWhatItKeptWhenToldOrWhenItGoes) {
  for (biff_version v : {biff_version::biff5, biff_version::biff8}) {
    const wchar_t* connect = v == biff_version::biff5 ? L"Excel 5.0;" : L"Excel 8.0;";
    std::wstring path = dir.file(v == biff_version::biff5 ? L"five.xls" : L"eight.xls");
    std::wstring other = dir.file(v == biff_version::biff5 ? L"other5.xls" : L"other8.xls");
    add_sheet(path, connect, L"First");
    EXPECT_EQ(sheets_on_disk(path, v), std::vector<std::wstring>{L"First"}) << "a new file is written at once";
    add_sheet(path, connect, L"Second");
    EXPECT_EQ(sheets_on_disk(path, v), std::vector<std::wstring>{L"First"}) << "later closes wait";
    ASSERT_EQ(refresh(), S_OK);
    EXPECT_EQ(sheets_on_disk(path, v), (std::vector<std::wstring>{L"First", L"Second"}));

    add_sheet(path, connect, L"Third");
    add_sheet(other, connect, L"Elsewhere");
    EXPECT_EQ(sheets_on_disk(path, v), (std::vector<std::wstring>{L"First", L"Second", L"Third"}))
        << "a workbook is written before the engine keeps another";

    add_sheet(other, connect, L"Last");
    engine.reset();
    EXPECT_EQ(sheets_on_disk(other, v), (std::vector<std::wstring>{L"Elsewhere", L"Last"})) << "the engine goes";
    SetUp();
  }
}

TEST_F(IsamFiles, AFileChangedFromOutsideIsReadAgain) {
  std::wstring path = dir.file(L"changed.xls"), elsewhere = dir.file(L"elsewhere.xls");
  biff_book book;
  book.sheets.emplace_back();
  book.sheets.back().name = L"Outside";
  compound(elsewhere, L"Workbook", biff_write_workbook(book, biff_version::biff8));
  const std::string outside = contents(elsewhere);

  // The engine keeps what it wrote; the file is replaced by another, or
  // rewritten in place (most likely to the same size): read afresh.
  for (bool replaced : {true, false}) {
    add_sheet(path, L"Excel 8.0;", L"Mine");
    if (replaced) {
      { std::ofstream(narrow(elsewhere), std::ios::binary) << outside; }
      ASSERT_EQ(std::rename(narrow(elsewhere).c_str(), narrow(path).c_str()), 0);
    } else {
      std::ofstream(narrow(path), std::ios::binary | std::ios::trunc) << outside;
    }
    ref<DAODatabase> db;
    ASSERT_EQ(open(path, L"Excel 8.0;", db), S_OK);
    EXPECT_EQ(tables_of(db.p), std::vector<std::wstring>{L"Outside"}) << replaced;
    ASSERT_EQ(db->Close(), S_OK);
    ASSERT_EQ(std::remove(narrow(path).c_str()), 0);
  }

  // Deleted: a new workbook.
  add_sheet(path, L"Excel 8.0;", L"Gone");
  ASSERT_EQ(std::remove(narrow(path).c_str()), 0);
  ref<DAODatabase> fresh;
  ASSERT_EQ(open(path, L"Excel 8.0;", fresh), S_OK);
  EXPECT_TRUE(tables_of(fresh.p).empty());
  ASSERT_EQ(fresh->Close(), S_OK);

  // Changed while the engine holds changes of it not yet written: those
  // were promised, and are written over it.
  add_sheet(path, L"Excel 8.0;", L"One");
  add_sheet(path, L"Excel 8.0;", L"Two");
  { std::ofstream(narrow(path), std::ios::binary | std::ios::trunc) << outside; }
  ref<DAODatabase> db;
  ASSERT_EQ(open(path, L"Excel 8.0;", db), S_OK);
  EXPECT_EQ(tables_of(db.p), (std::vector<std::wstring>{L"One", L"Two"}));
  ASSERT_EQ(db->Close(), S_OK);
  ASSERT_EQ(refresh(), S_OK);
  EXPECT_EQ(sheets_on_disk(path, biff_version::biff8), (std::vector<std::wstring>{L"One", L"Two"}));
}

}  // namespace

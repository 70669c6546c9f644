// Client failures while writing: each reaches the caller as the engine's
// exception, and a failed batch leaves none of its rows.
#include "ORA/ora_cache.h"
#include "ORA/ora_exception.h"
#include "ORA/ora_lob_insert.h"
#include "ORA/ora_table.h"
#include "oci/oci_fault.h"
#include "ora_write_support.h"

#include <functional>

namespace {

using ora_write_faults = ora_test;

oci_fault failing(oci_fn fn, unsigned nth, sb4 code = 3113,
                  const char* message = "ORA-03113: end-of-file on communication channel") {
  oci_fault f;
  f.function = fn;
  f.nth = nth;
  f.error_code = code;
  f.message = message;
  return f;
}

udb_schema with_lobs() {
  udb_schema s;
  s.push_back(column(L"ID", VT_I4, 0, 0, true));
  s.push_back(column(L"NAME", VT_BSTR, 20, 0, true));
  s.push_back(column(L"NOTE", VT_BSTR, 0));
  s.push_back(column(L"PIC", VT_BLOB, 0));
  return s;
}

udb_record row(int id, const std::wstring& name = L"n") {
  record_builder r;
  r.add(L"ID", ole_variant(id))
      .add(L"NAME", name.empty() ? ole_variant() : ole_variant(name))
      .add(L"NOTE", ole_variant(L"note " + std::to_wstring(id)))
      .add(L"PIC", bytes_value({1, 2, static_cast<unsigned char>(id)}));
  return std::move(r.record);
}

texts ids(const std::wstring& table) { return dictionary(L"select \"ID\" from \"" + table + L"\" order by \"ID\""); }

void expect_ora_error(const std::function<void()>& step, int number) {
  try {
    step();
    ADD_FAILURE() << "no exception";
  } catch (const ora_exception& e) {
    EXPECT_EQ(e.code, 0x100000 | number) << e.what();
  }
}

TEST_F(ora_write_faults, a_failed_batch_is_dropped_and_the_next_one_written) {
  open("");
  auto table = db->create_table(L"T", with_lobs(), udb_indexes());
  ora_table& t = dynamic_cast<ora_table&>(*table);
  for (int id = 1; id < 400; ++id) {
    udb_record r = row(id);
    table->append_record(r);
  }
  oci_fault_injector faults;
  // The second execute of the batch: its SAVEPOINT is the first.
  faults.fail(failing(oci_fn::OCIStmtExecute, 2));
  udb_record last = row(400);
  expect_ora_error([&] { table->append_record(last); }, 3113);
  EXPECT_EQ(t.cache->row_count, 0u);
  EXPECT_EQ(table->record_count, 399);
  for (int id = 401; id <= 450; ++id) {
    udb_record r = row(id);
    table->append_record(r);
  }
  table->save();
  texts kept = ids(L"T");
  ASSERT_EQ(kept.size(), 250u);
  EXPECT_EQ(kept[199][0], L"200");
  EXPECT_EQ(kept[200][0], L"401");
  // The rows kept have their LOBs.
  EXPECT_EQ(dictionary(L"select \"NOTE\" from \"T\" where \"ID\" = 401"), (texts{{L"note 401"}}));
}

TEST_F(ora_write_faults, a_failed_lob_write_takes_its_batch_back) {
  open("");
  auto table = db->create_table(L"T", with_lobs(), udb_indexes());
  for (int id = 1; id <= 20; ++id) {
    udb_record r = row(id);
    table->append_record(r);
  }
  oci_fault_injector faults;
  faults.fail(failing(oci_fn::OCILobWrite, 15, 1691, "ORA-01691: unable to extend lob segment"));
  expect_ora_error([&] { table->save(); }, 1691);
  // Every locator made for the LOB step was freed.
  EXPECT_EQ(faults.calls(oci_fn::OCIDescriptorAlloc), 8u * 2);
  EXPECT_EQ(faults.calls(oci_fn::OCIDescriptorFree), faults.calls(oci_fn::OCIDescriptorAlloc));
  EXPECT_TRUE(ids(L"T").empty());
  // Nothing is pending: the table is written again from here.
  udb_record r = row(21);
  table->append_record(r);
  table->save();
  EXPECT_EQ(ids(L"T"), (texts{{L"21"}}));
}

TEST_F(ora_write_faults, a_locator_that_cannot_be_made_frees_the_others) {
  open("");
  oci_fault_injector faults;
  faults.fail(failing(oci_fn::OCIDescriptorAlloc, 2));
  std::vector<ora_lob_item> items = {{2, 0, VT_BSTR, L"NOTE"}, {3, 1, VT_BLOB, L"PIC"}, {4, 2, VT_BLOB, L"X"}};
  expect_ora_error([&] { ora_lob_insert writer(L"T", items); }, 3113);
  EXPECT_EQ(faults.calls(oci_fn::OCIDescriptorAlloc), 2u);
  EXPECT_EQ(faults.calls(oci_fn::OCIDescriptorFree), 1u);
}

TEST_F(ora_write_faults, pending_rows_written_at_the_end_fail_quietly) {
  open("");
  {
    auto table = db->create_table(L"T", with_lobs(), udb_indexes());
    for (int id = 1; id <= 3; ++id) {
      udb_record r = row(id);
      table->append_record(r);
    }
    oci_fault_injector faults;
    faults.fail(failing(oci_fn::OCIStmtExecute, 2));
    // The destructor writes them; its failure is logged, not thrown.
    table.reset();
    EXPECT_TRUE(faults.fired(oci_fn::OCIStmtExecute));
  }
  EXPECT_TRUE(ids(L"T").empty());
  auto table = db->get_table(L"T");
  for (int id = 4; id <= 5; ++id) {
    udb_record r = row(id);
    table->append_record(r);
  }
  table.reset();
  EXPECT_EQ(ids(L"T"), (texts{{L"4"}, {L"5"}}));
}

TEST_F(ora_write_faults, a_constraint_that_cannot_be_lifted_keeps_the_row_out) {
  open("");
  auto table = db->create_table(L"T", with_lobs(), udb_indexes());
  oci_fault_injector faults;
  faults.fail(failing(oci_fn::OCIStmtExecute, 1, 54, "ORA-00054: resource busy"));
  udb_record r = row(1, L"");
  expect_ora_error([&] { table->append_record(r); }, 54);
  EXPECT_TRUE(table->schema[1].b_not_null);
  EXPECT_EQ(dynamic_cast<ora_table&>(*table).cache->row_count, 0u);
  // Lifted on the next try, and the row is written.
  table->append_record(r);
  EXPECT_FALSE(table->schema[1].b_not_null);
  table->save();
  EXPECT_EQ(dictionary(L"select \"ID\", \"NAME\" from \"T\""), (texts{{L"1", L"<null>"}}));
}

TEST_F(ora_write_faults, an_index_the_table_has_is_skipped_others_fail_the_table) {
  open("");
  db->index_names();
  udb_schema s;
  s.push_back(column(L"A", VT_I4));
  s.push_back(column(L"B", VT_I4));
  udb_indexes keys;
  keys.push_back(udb_index(L"IA", false, false, {L"A"}));
  keys.push_back(udb_index(L"IB", false, false, {L"B"}));
  {
    oci_fault_injector faults;
    // CREATE TABLE, then the first index.
    faults.fail(failing(oci_fn::OCIStmtExecute, 2, 1408, "ORA-01408: such column list already indexed"));
    auto table = db->create_table(L"T1", s, keys);
    EXPECT_EQ(table->indexes.size(), 1u);
    EXPECT_EQ(table->indexes[0].name, L"IB");
  }
  {
    oci_fault_injector faults;
    faults.fail(failing(oci_fn::OCIStmtExecute, 2, 1652, "ORA-01652: unable to extend temp segment"));
    expect_ora_error([&] { db->create_table(L"T2", s, keys); }, 1652);
    EXPECT_FALSE(db->is_table_exist(L"T2"));
  }
}

TEST_F(ora_write_faults, a_view_or_key_that_fails_is_logged_and_the_next_follows) {
  open("CREATE TABLE \"P\" (\"ID\" NUMBER(10,0)); CREATE TABLE \"C\" (\"PID\" NUMBER(10,0));");
  db->get_tables();
  udb_views views;
  views[L"V1"] = L"select \"ID\" from \"P\"";
  views[L"V2"] = L"select \"PID\" from \"C\"";
  {
    oci_fault_injector faults;
    faults.fail(failing(oci_fn::OCIStmtExecute, 1));
    db->create_views(views);
  }
  EXPECT_EQ(dictionary(L"select VIEW_NAME from USER_VIEWS"), (texts{{L"V2"}}));

  // The unique key of the referenced column cannot be made: logged; the
  // foreign key then fails on the server.
  udb_relationships fks;
  fks.push_back(udb_relationship(L"FK", L"", L"C", L"P", {L"PID"}, {L"ID"}, L""));
  oci_fault_injector faults;
  faults.fail(failing(oci_fn::OCIStmtPrepare, 1));
  expect_ora_error([&] { db->create_relationships(fks); }, 2270);
  EXPECT_TRUE(faults.fired(oci_fn::OCIStmtPrepare));
}

}  // namespace

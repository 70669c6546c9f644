// Access database files through the DAO engine, against an Access database
// of the tests' own: the foreign keys of its relationship table, its saved
// queries as views, query recordsets and their row counts.
#include "dao/dao_database.h"
#include "dao/dao_engine.h"
#include "dao/dao_exception.h"
#include "fake_access_database.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

namespace {

const wchar_t relationships_sql[] =
    L"SELECT szRelationship, szColumn, szObject, szReferencedObject, szReferencedColumn, grbit FROM "
    L"MSysRelationships ORDER BY szRelationship";

fake_column text_column(const wchar_t* name, LONG size = 255) { return {name, dbText, size, ole_variant()}; }
fake_column long_column(const wchar_t* name) { return {name, dbLong, 4, ole_variant()}; }

// One row of the relationship table.
std::vector<ole_variant> relation(const wchar_t* name, const wchar_t* column, const wchar_t* table,
                                  const wchar_t* referenced, const wchar_t* referenced_column, int grbit) {
  return {ole_variant(name), ole_variant(column), ole_variant(table), ole_variant(referenced),
          ole_variant(referenced_column), ole_variant(grbit)};
}

std::shared_ptr<fake_access> northwind_like() {
  auto db = std::make_shared<fake_access>();
  db->tables = {{L"Customers", 0, {}},
                {L"Orders", 0, {}},
                {L"Order Lines", 0, {}},
                {L"MSysObjects", dbSystemObject, {}},
                {L"MSysNavPaneGroups", static_cast<LONG>(0x80000000u), {}},
                {L"Linked Prices", dbAttachedTable, {}},
                {L"Hidden", 2, {}}};
  fake_rows& rels = db->results[relationships_sql];
  rels.columns = {text_column(L"szRelationship"), text_column(L"szColumn"), text_column(L"szObject"),
                  text_column(L"szReferencedObject"), text_column(L"szReferencedColumn"), long_column(L"grbit")};
  // As the ORDER BY gives them: the rows of one relationship follow each
  // other, its column pairs in their order.
  rels.rows = {relation(L"CustomerOrders", L"CustomerID", L"Orders", L"Customers", L"ID", 0),
               relation(L"GroupObjects", L"GroupID", L"MSysNavPaneGroupToObjects", L"MSysNavPaneGroups", L"Id", 0),
               relation(L"GroupOfOrders", L"OrderNo", L"Orders", L"msysnavpanegroupcategories", L"Id", 0),
               relation(L"OrderLines", L"OrderYear", L"Order Lines", L"Orders", L"Year", 1),
               relation(L"OrderLines", L"OrderNo", L"Order Lines", L"Orders", L"No", 1),
               relation(L"OrderLines", L"Branch", L"Order Lines", L"Orders", L"Branch", 1),
               relation(L"OrderNotes", L"OrderNo", L"Notes", L"Orders", L"No", 0x1100)};
  db->queries = {
      {L"Customer Names",
       L"SELECT [First Name] & ' ' & [Last Name] AS Full, IIf(Score<>1, Left$(City, 2), Nz(Region)) AS x, "
       L"[Customers]![ID]\r\nFROM Customers WITH OWNERACCESS OPTION;\r\n"},
      {L"Big Orders", L"SELECT Orders.*, Order Lines.Qty FROM Orders ORDER BY [No] & [Branch]"},
      {L"Nested", L"SELECT n.Full FROM (SELECT [First Name] & [Last Name] AS Full FROM Customers) AS n"},
      {L"Purge", L"DELETE FROM Orders"},
  };
  return db;
}

class AccessDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_access_install(db);
    ASSERT_TRUE(engine.set_version_if(0));
  }
  void TearDown() override { fake_access_uninstall(); }

  std::unique_ptr<dao_database> open(int mode) {
    std::unique_ptr<udb_database> opened = engine.open_db(L"/data/north.mdb", mode);
    return std::unique_ptr<dao_database>(dynamic_cast<dao_database*>(opened.release()));
  }

  std::shared_ptr<fake_access> db = northwind_like();
  dao_engine engine{false};
};

TEST_F(AccessDatabase, RelationshipsAreGroupedAndTheNavigationTablesSkipped) {
  auto opened = open(0);
  // Either bit of the system attribute leaves a table out, as does linking.
  EXPECT_EQ(opened->get_tables(), (std::vector<std::wstring>{L"Customers", L"Orders", L"Order Lines"}));
  ASSERT_EQ(opened->relationships.size(), 3u);
  const udb_relationship& customers = opened->relationships[0];
  EXPECT_EQ(customers.name, L"CustomerOrders");
  EXPECT_EQ(customers.table_a, L"Orders");
  EXPECT_EQ(customers.table_b, L"Customers");
  EXPECT_EQ(customers.fields_a, std::vector<std::wstring>{L"CustomerID"});
  EXPECT_EQ(customers.fields_b, std::vector<std::wstring>{L"ID"});
  EXPECT_EQ(customers.on_delete, L"");

  const udb_relationship& lines = opened->relationships[1];
  EXPECT_EQ(lines.name, L"OrderLines");
  EXPECT_EQ(lines.table_a, L"Order Lines");
  EXPECT_EQ(lines.table_b, L"Orders");
  EXPECT_EQ(lines.fields_a, (std::vector<std::wstring>{L"OrderYear", L"OrderNo", L"Branch"}));
  EXPECT_EQ(lines.fields_b, (std::vector<std::wstring>{L"Year", L"No", L"Branch"}));
  // The rule comes from bit 0 of grbit alone.
  EXPECT_EQ(lines.on_delete, L" ON DELETE CASCADE ON UPDATE CASCADE");
  EXPECT_EQ(opened->relationships[2].name, L"OrderNotes");
  EXPECT_EQ(opened->relationships[2].on_delete, L"");

  ASSERT_FALSE(db->recordsets.empty());
  EXPECT_EQ(db->recordsets[0].source, relationships_sql);
  EXPECT_EQ(db->recordsets[0].options, dbReadOnly);
  EXPECT_EQ(db->connect, L"");
  EXPECT_EQ(db->live_recordsets, 0) << "the relationship table is closed again";
  opened.reset();
  EXPECT_TRUE(db->closed);
}

TEST_F(AccessDatabase, TheModeDecidesWhatIsRead) {
  struct {
    int mode;
    bool keys, views, exclusive, read_only;
  } cases[] = {{0, true, true, false, false},   {32, false, true, false, false}, {64, false, true, false, false},
               {128, true, false, false, false}, {17, true, true, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    db->recordsets.clear();
    auto opened = open(c.mode);
    EXPECT_EQ(opened->mode, c.mode);
    EXPECT_EQ(opened->relationships.empty(), !c.keys);
    EXPECT_EQ(opened->views.empty(), !c.views);
    EXPECT_EQ(db->exclusive, c.exclusive);
    EXPECT_EQ(db->read_only, c.read_only);
  }
  engine.open_db(L"/data/north.mdb", 0, L"s3cret");
  EXPECT_EQ(db->connect, L";pwd=s3cret");
}

TEST_F(AccessDatabase, SavedQueriesBecomeAnsiViews) {
  auto opened = open(32);
  EXPECT_EQ(opened->views,
            (udb_views{
                {L"Customer Names",
                 L"SELECT CONCAT([First Name] , ' ' , [Last Name]) AS Full,if(Score!=1, left(City, 2), ifnull(Region)) "
                 L"AS x,[Customers].[ID] FROM Customers"},
                {L"Big Orders", L"SELECT Orders.*,[Order Lines].Qty FROM Orders ORDER BY CONCAT([No] , [Branch])"},
                {L"Nested", L"SELECT n.Full FROM (SELECT CONCAT([First Name] , [Last Name]) AS Full FROM Customers) AS n"},
            }))
      << "the statement that is no SELECT is dropped";
}

TEST_F(AccessDatabase, AQueryRecordsetWithItsCountAndSchema) {
  const std::wstring sql = L"SELECT ID, Name, Joined FROM Customers WHERE ID > 1";
  fake_rows& rows = db->results[sql];
  rows.columns = {long_column(L"ID"),
                  {L"Name", dbText, 50, ole_variant(L"\"n/a\"")},
                  {L"Joined", dbDate, 8, ole_variant(L"#2001-02-03#")}};
  rows.rows = {{ole_variant(2), ole_variant(L"Ada"), ole_variant()}, {ole_variant(3), ole_variant(L"Bo"), ole_variant()}};
  db->results[L"select count(*) from (" + sql + L"\n)"] = {{long_column(L"Expr1000")}, {{ole_variant(2)}}};

  auto opened = open(32);
  EXPECT_EQ(opened->get_record_count(sql), 2);
  for (int mode : {0, 1}) {
    SCOPED_TRACE(mode);
    db->recordsets.clear();
    auto query = opened->get_query(L"Joined", sql, mode);
    ASSERT_EQ(db->recordsets.size(), 2u);
    EXPECT_EQ(db->recordsets[0].options, mode ? dbReadOnly : dbAppendOnly);
    EXPECT_EQ(db->recordsets[1].source, L"select count(*) from (" + sql + L"\n)");
    EXPECT_EQ(query->name, L"Joined");
    EXPECT_EQ(query->query_text, sql);
    EXPECT_EQ(query->record_count, 2);
    ASSERT_EQ(query->schema.size(), 3u);
    EXPECT_EQ(query->schema[0].name, L"ID");
    EXPECT_EQ(query->schema[0].vartype, VT_I4);
    EXPECT_EQ(query->schema[1].vartype, VT_BSTR);
    EXPECT_EQ(query->schema[1].size, 50);
    EXPECT_EQ(query->schema[1].default_value.to_wstring(), L"n/a") << "the quotes are taken off";
    EXPECT_EQ(query->schema[2].vartype, VT_DATE);
    EXPECT_EQ(query->schema[2].default_value.to_wstring().substr(0, 10), L"2001-02-03");
    if (!mode) {
      EXPECT_TRUE(query->is_eof()) << "opened to append, it shows no rows";
      continue;
    }
    std::vector<std::wstring> names;
    for (query->first(); !query->is_eof(); query->next()) names.push_back((*query->get_item())[1].to_wstring());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Ada", L"Bo"}));
  }
  EXPECT_EQ(db->live_recordsets, 0);

  // A statement the database does not run is its DAO error.
  try {
    opened->get_record_count(L"SELECT * FROM Nothing");
    ADD_FAILURE();
  } catch (const dao_exception& e) {
    EXPECT_EQ(e.code, 0x10000 + 3078);
  }
}

TEST_F(AccessDatabase, ANewDatabaseIsMadeWithTheEnglishLocale) {
  std::unique_ptr<udb_database> made = engine.create_db(L"/data/new.mdb");
  EXPECT_TRUE(db->created);
  EXPECT_EQ(db->path, L"/data/new.mdb");
  EXPECT_EQ(db->locale, L";LANGID=0x0409;CP=1252;COUNTRY=0");
  EXPECT_EQ(made->mode, 114);
  auto* access = dynamic_cast<dao_database*>(made.get());
  ASSERT_TRUE(access);
  EXPECT_TRUE(access->relationships.empty()) << "mode 114 reads no foreign keys";
  EXPECT_EQ(access->views.size(), 3u);
}

TEST(DaoGenerator, DeletesTheFileAndItsLockFileWhenAsked) {
  qm_test::temp_folder folder("qm_dao_gen_");
  const std::string file = folder.file("made.mdb");
  auto exists = [](const std::string& path) { return access(path.c_str(), F_OK) == 0; };
  for (bool remove : {false, true}) {
    std::ofstream(file) << "db";
    std::ofstream(file + ".ldb") << "lock";
    {
      dao_generator generator;
      generator.file_name = file;
      generator.delete_on_destruction = remove;
    }
    EXPECT_EQ(exists(file), !remove);
    EXPECT_EQ(exists(file + ".ldb"), !remove);
  }
  {
    dao_generator without_lock;
    std::ofstream(file) << "db";
    without_lock.file_name = file;
    without_lock.delete_on_destruction = true;
  }
  EXPECT_FALSE(exists(file));
}

}  // namespace

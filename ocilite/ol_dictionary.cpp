#include "ocilite/ol_dictionary.h"

#include "ocilite/ol_error.h"
#include "ocilite/ol_sql.h"
#include "ocilite/ol_text.h"
#include "ocilite/ol_types.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

namespace ocilite {

namespace {

const char* const dictionary_ddl =
    "CREATE TEMP TABLE USER_TABLES (TABLE_NAME VARCHAR2(30) NOT NULL, TABLESPACE_NAME "
    "VARCHAR2(30), STATUS VARCHAR2(8), NUM_ROWS NUMBER, TEMPORARY VARCHAR2(1), NESTED "
    "VARCHAR2(3), IOT_TYPE VARCHAR2(12), PARTITIONED VARCHAR2(3), DROPPED VARCHAR2(3));"
    "CREATE TEMP TABLE USER_TAB_COLUMNS (TABLE_NAME VARCHAR2(30) NOT NULL, COLUMN_NAME "
    "VARCHAR2(30) NOT NULL, DATA_TYPE VARCHAR2(106), DATA_LENGTH NUMBER NOT NULL, "
    "DATA_PRECISION NUMBER, DATA_SCALE NUMBER, NULLABLE VARCHAR2(1), COLUMN_ID NUMBER, "
    "DEFAULT_LENGTH NUMBER, DATA_DEFAULT LONG, CHAR_LENGTH NUMBER, CHAR_USED VARCHAR2(1));"
    "CREATE TEMP TABLE USER_VIEWS (VIEW_NAME VARCHAR2(30) NOT NULL, TEXT_LENGTH NUMBER, TEXT "
    "LONG);"
    "CREATE TEMP TABLE USER_CONSTRAINTS (OWNER VARCHAR2(30), CONSTRAINT_NAME VARCHAR2(30) NOT "
    "NULL, CONSTRAINT_TYPE VARCHAR2(1), TABLE_NAME VARCHAR2(30) NOT NULL, SEARCH_CONDITION "
    "LONG, R_OWNER VARCHAR2(30), R_CONSTRAINT_NAME VARCHAR2(30), DELETE_RULE VARCHAR2(9), "
    "STATUS VARCHAR2(8), \"DEFERRABLE\" VARCHAR2(14), \"DEFERRED\" VARCHAR2(9), VALIDATED "
    "VARCHAR2(13), GENERATED VARCHAR2(14), INDEX_NAME VARCHAR2(30));"
    "CREATE TEMP TABLE USER_CONS_COLUMNS (OWNER VARCHAR2(30) NOT NULL, CONSTRAINT_NAME "
    "VARCHAR2(30) NOT NULL, TABLE_NAME VARCHAR2(30) NOT NULL, COLUMN_NAME VARCHAR2(4000), "
    "POSITION NUMBER);"
    "CREATE TEMP TABLE USER_INDEXES (INDEX_NAME VARCHAR2(30) NOT NULL, INDEX_TYPE "
    "VARCHAR2(27), TABLE_OWNER VARCHAR2(30) NOT NULL, TABLE_NAME VARCHAR2(30) NOT NULL, "
    "TABLE_TYPE VARCHAR2(11), UNIQUENESS VARCHAR2(9), TABLESPACE_NAME VARCHAR2(30), STATUS "
    "VARCHAR2(8), GENERATED VARCHAR2(1));"
    "CREATE TEMP TABLE USER_IND_COLUMNS (INDEX_NAME VARCHAR2(30), TABLE_NAME VARCHAR2(30), "
    "COLUMN_NAME VARCHAR2(4000), COLUMN_POSITION NUMBER, COLUMN_LENGTH NUMBER, CHAR_LENGTH "
    "NUMBER, DESCEND VARCHAR2(4));"
    "CREATE TEMP TABLE \"V$VERSION\" (BANNER VARCHAR2(80));"
    "CREATE TEMP TABLE DUAL (DUMMY VARCHAR2(1));";

const char* const dictionary_tables[] = {
    "USER_TABLES",       "USER_TAB_COLUMNS", "USER_VIEWS",       "USER_CONSTRAINTS",
    "USER_CONS_COLUMNS", "USER_INDEXES",     "USER_IND_COLUMNS", "\"V$VERSION\"",
    "DUAL"};

using value = std::optional<std::string>;

value num(long long v) { return std::to_string(v); }

// One prepared INSERT with its parameters bound from texts (NULL when empty
// optional); numbers go in as texts and take the NUMBER affinity.
class inserter {
 public:
  inserter(sqlite3* db, const std::string& table, int columns) : db_(db) {
    std::string sql = "INSERT INTO temp." + table + " VALUES(";
    for (int k = 0; k < columns; ++k) sql += k ? ",?" : "?";
    sql += ")";
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st_, nullptr);
    if (rc != SQLITE_OK) throw ora_failure{map_sqlite_error(db, rc, "")};
  }
  ~inserter() { sqlite3_finalize(st_); }
  void row(const std::vector<value>& values) {
    for (std::size_t k = 0; k < values.size(); ++k) {
      if (values[k])
        sqlite3_bind_text(st_, static_cast<int>(k + 1), values[k]->c_str(), -1, SQLITE_TRANSIENT);
      else
        sqlite3_bind_null(st_, static_cast<int>(k + 1));
    }
    int rc = sqlite3_step(st_);
    sqlite3_reset(st_);
    if (rc != SQLITE_DONE) throw ora_failure{map_sqlite_error(db_, rc, "")};
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* st_ = nullptr;
};

struct column_row {
  std::string name;
  std::string declared;
  bool not_null = false;
  value default_text;
  int pk = 0;
};

struct object_row {
  std::string type;
  std::string name;
  std::string sql;
};

std::vector<column_row> table_columns(sqlite3* db, const std::string& table) {
  std::vector<column_row> out;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT name, type, \"notnull\", dflt_value, pk FROM "
                         "pragma_table_info(?1, 'main')",
                         -1, &st, nullptr) != SQLITE_OK)
    return out;
  sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  while (sqlite3_step(st) == SQLITE_ROW) {
    column_row c;
    auto text = [&](int i) {
      const unsigned char* t = sqlite3_column_text(st, i);
      return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
    };
    c.name = text(0);
    c.declared = text(1);
    c.not_null = sqlite3_column_int(st, 2) != 0;
    if (sqlite3_column_type(st, 3) != SQLITE_NULL) c.default_text = text(3);
    c.pk = sqlite3_column_int(st, 4);
    out.push_back(c);
  }
  sqlite3_finalize(st);
  return out;
}

struct index_row {
  std::string name;
  bool unique = false;
  std::string origin;
  std::vector<std::string> columns;
};

std::vector<index_row> table_indexes(sqlite3* db, const std::string& table) {
  std::vector<index_row> out;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT name, \"unique\", origin FROM pragma_index_list(?1, 'main')",
                         -1, &st, nullptr) != SQLITE_OK)
    return out;
  sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  while (sqlite3_step(st) == SQLITE_ROW) {
    index_row r;
    r.name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    r.unique = sqlite3_column_int(st, 1) != 0;
    r.origin = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
    out.push_back(r);
  }
  sqlite3_finalize(st);
  for (index_row& r : out) {
    if (sqlite3_prepare_v2(db, "SELECT name FROM pragma_index_info(?1, 'main') ORDER BY seqno",
                           -1, &st, nullptr) != SQLITE_OK)
      continue;
    sqlite3_bind_text(st, 1, r.name.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) {
      const unsigned char* t = sqlite3_column_text(st, 0);
      if (t) r.columns.emplace_back(reinterpret_cast<const char*>(t));
    }
    sqlite3_finalize(st);
  }
  // The pragma lists the latest index first; the server lists by name.
  return out;
}

bool same_columns(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k)
    if (!equal_no_case(a[k], b[k])) return false;
  return true;
}

// The column's own spelling in the table.
std::string real_name(const std::vector<column_row>& cols, const std::string& name) {
  for (const column_row& c : cols)
    if (equal_no_case(c.name, name)) return c.name;
  return name;
}

struct table_constraints {
  std::string table;
  std::vector<declared_constraint> list;  // with names filled in
  std::vector<bool> generated;
};

// USER_SEQUENCES and USER_TRIGGERS read the hidden tables of this library
// directly, so they follow every change at once; without a hidden table
// the view is an empty table of the same columns.
void live_view(sqlite3* db, const std::string& name, const std::string& hidden, const std::string& select,
               const std::string& empty_ddl) {
  sqlite3_stmt* st = nullptr;
  std::string kind;
  if (sqlite3_prepare_v2(db, "SELECT type FROM temp.sqlite_schema WHERE name = ?1", -1, &st, nullptr) ==
      SQLITE_OK) {
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW) kind = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  }
  sqlite3_finalize(st);
  bool present = false;
  if (sqlite3_prepare_v2(db, "SELECT 1 FROM main.sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE",
                         -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, hidden.c_str(), -1, SQLITE_TRANSIENT);
    present = sqlite3_step(st) == SQLITE_ROW;
  }
  sqlite3_finalize(st);
  if ((kind == "view") == present && !kind.empty()) return;
  if (!kind.empty()) {
    std::string drop = (kind == "view" ? "DROP VIEW temp." : "DROP TABLE temp.") + name;
    sqlite3_exec(db, drop.c_str(), nullptr, nullptr, nullptr);
  }
  std::string ddl = present ? "CREATE TEMP VIEW " + name + " AS " + select : empty_ddl;
  int rc = sqlite3_exec(db, ddl.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) throw ora_failure{map_sqlite_error(db, rc, "")};
}

std::string folded_name(const token& t) {
  return t.kind == tok::quoted ? t.value : to_upper_ascii(t.text);
}

}  // namespace

std::string written_view_text(sqlite3* db, const std::string& view, const std::string& create_sql) {
  sqlite3_stmt* st = nullptr;
  std::string text;
  bool found = false;
  if (sqlite3_prepare_v2(db, "SELECT TEXT FROM main.OCILITE_VIEWS WHERE VIEW_NAME = ?1", -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, view.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0)) {
      text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      found = true;
    }
  }
  sqlite3_finalize(st);
  return found ? text : view_text(create_sql);
}

bool is_hidden_table(const std::string& name) {
  std::string upper = to_upper_ascii(name);
  return upper.rfind("SQLITE_", 0) == 0 || upper.rfind("OCILITE_", 0) == 0;
}

std::vector<declared_constraint> parse_constraints(const std::string& sql) {
  std::vector<declared_constraint> out;
  std::vector<token> all;
  try {
    all = lex(sql);
  } catch (const ora_failure&) {
    return out;
  }
  std::vector<token> t;
  for (const token& k : all)
    if (k.kind != tok::space && k.kind != tok::comment) t.push_back(k);
  auto is = [&](std::size_t i, const char* w) {
    return i < t.size() && t[i].kind == tok::word && t[i].value == w;
  };
  auto punct = [&](std::size_t i, const char* p) {
    return i < t.size() && t[i].kind == tok::punct && t[i].text == p;
  };
  std::size_t i = 0;
  while (i < t.size() && !punct(i, "(")) ++i;
  if (i >= t.size() || is(i - 1, "AS")) return out;
  ++i;
  // A parenthesised name list starting at i (on the "(").
  auto names = [&](std::size_t& k) {
    std::vector<std::string> list;
    if (!punct(k, "(")) return list;
    ++k;
    bool expect = true;
    int depth = 0;
    while (k < t.size() && !(depth == 0 && punct(k, ")"))) {
      if (punct(k, "(")) ++depth;
      if (punct(k, ")")) --depth;
      if (depth == 0 && punct(k, ",")) expect = true;
      else if (expect && (t[k].kind == tok::word || t[k].kind == tok::quoted)) {
        list.push_back(t[k].kind == tok::quoted ? t[k].value : t[k].text);
        expect = false;
      }
      ++k;
    }
    if (k < t.size()) ++k;
    return list;
  };
  auto skip_group = [&](std::size_t& k) {
    int depth = 0;
    do {
      if (punct(k, "(")) ++depth;
      if (punct(k, ")")) --depth;
      ++k;
    } while (k < t.size() && depth > 0);
  };
  auto group_text = [&](std::size_t k) {
    // The text inside the parentheses at k, from the original tokens.
    std::string text;
    int depth = 0;
    for (; k < t.size(); ++k) {
      if (punct(k, "(") && depth++ == 0) continue;
      if (punct(k, ")") && --depth == 0) break;
      if (!text.empty()) text += ' ';
      text += t[k].text;
    }
    return text;
  };
  auto references = [&](std::size_t& k, declared_constraint& c) {
    ++k;  // REFERENCES
    if (k < t.size()) c.ref_table = t[k].kind == tok::quoted ? t[k].value : t[k].text;
    ++k;
    c.ref_columns = names(k);
    c.delete_rule = "NO ACTION";
    while (is(k, "ON")) {
      bool del = is(k + 1, "DELETE");
      k += 2;
      std::string rule;
      if (is(k, "CASCADE")) rule = "CASCADE", k += 1;
      else if (is(k, "SET")) rule = is(k + 1, "NULL") ? "SET NULL" : "NO ACTION", k += 2;
      else rule = "NO ACTION", k += is(k, "NO") ? 2 : 1;
      if (del) c.delete_rule = rule;
    }
  };
  while (i < t.size() && !punct(i, ")")) {
    std::string pending;
    if (is(i, "CONSTRAINT")) {
      if (i + 1 < t.size()) pending = folded_name(t[i + 1]);
      i += 2;
    }
    if (is(i, "PRIMARY") || is(i, "UNIQUE") || is(i, "CHECK") || is(i, "FOREIGN")) {
      declared_constraint c;
      c.name = pending;
      if (is(i, "PRIMARY")) {
        c.type = 'P';
        i += 2;
        c.columns = names(i);
      } else if (is(i, "UNIQUE")) {
        c.type = 'U';
        ++i;
        c.columns = names(i);
      } else if (is(i, "CHECK")) {
        c.type = 'C';
        ++i;
        c.condition = group_text(i);
        skip_group(i);
      } else {
        c.type = 'R';
        i += 2;
        c.columns = names(i);
        if (is(i, "REFERENCES")) references(i, c);
      }
      out.push_back(c);
    } else if (i < t.size()) {
      std::string column = t[i].kind == tok::quoted ? t[i].value : t[i].text;
      ++i;
      pending.clear();
      while (i < t.size() && !punct(i, ",") && !punct(i, ")")) {
        if (punct(i, "(")) {
          skip_group(i);
          continue;
        }
        if (is(i, "CONSTRAINT")) {
          if (i + 1 < t.size()) pending = folded_name(t[i + 1]);
          i += 2;
          continue;
        }
        declared_constraint c;
        c.name = pending;
        c.columns = {column};
        if (is(i, "PRIMARY")) {
          c.type = 'P';
          i += 2;
        } else if (is(i, "UNIQUE")) {
          c.type = 'U';
          ++i;
        } else if (is(i, "REFERENCES")) {
          c.type = 'R';
          references(i, c);
        } else if (is(i, "CHECK")) {
          c.type = 'C';
          ++i;
          c.condition = group_text(i);
          skip_group(i);
        } else if (is(i, "NOT") && is(i + 1, "NULL")) {
          i += 2;
          if (!pending.empty()) {
            c.type = 'C';
            c.not_null_of = column;
            c.columns.clear();
          } else {
            continue;
          }
        } else if (is(i, "DEFAULT")) {
          ++i;
          if (punct(i, "-") || punct(i, "+")) ++i;
          if (punct(i, "(")) skip_group(i);
          else ++i;
          continue;
        } else {
          ++i;
          continue;
        }
        pending.clear();
        out.push_back(c);
      }
    }
    while (i < t.size() && !punct(i, ",") && !punct(i, ")")) {
      if (punct(i, "(")) skip_group(i);
      else ++i;
    }
    if (punct(i, ",")) ++i;
  }
  return out;
}

std::string view_text(const std::string& sql) {
  std::vector<token> all;
  try {
    all = lex(sql);
  } catch (const ora_failure&) {
    return sql;
  }
  std::size_t pos = 0;
  int depth = 0;
  for (const token& k : all) {
    if (k.kind == tok::punct && k.text == "(") ++depth;
    if (k.kind == tok::punct && k.text == ")") --depth;
    pos += k.text.size();
    if (depth == 0 && k.kind == tok::word && k.value == "AS") {
      std::string rest = sql.substr(pos);
      std::size_t lead = rest.find_first_not_of(" \t\r\n");
      return lead == std::string::npos ? std::string() : rest.substr(lead);
    }
  }
  return sql;
}

void build_dictionary(sqlite3* db, const std::string& user, bool create_tables) {
  if (create_tables) {
    int rc = sqlite3_exec(db, dictionary_ddl, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throw ora_failure{map_sqlite_error(db, rc, "")};
  }
  for (const char* table : dictionary_tables) {
    std::string sql = std::string("DELETE FROM temp.") + table;
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  }

  std::vector<object_row> objects;
  std::string version = "11.2.0.1.0";
  {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT type, name, coalesce(sql,'') FROM main.sqlite_schema WHERE "
                           "type IN ('table','view') ORDER BY rowid",
                           -1, &st, nullptr) == SQLITE_OK) {
      while (sqlite3_step(st) == SQLITE_ROW) {
        object_row o;
        o.type = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        o.name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        o.sql = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
        if (equal_no_case(o.name, "OCILITE_SETTINGS")) {
          sqlite3_stmt* vs = nullptr;
          std::string q = "SELECT VALUE FROM \"" + o.name + "\" WHERE upper(NAME)='VERSION'";
          if (sqlite3_prepare_v2(db, q.c_str(), -1, &vs, nullptr) == SQLITE_OK &&
              sqlite3_step(vs) == SQLITE_ROW && sqlite3_column_text(vs, 0))
            version = reinterpret_cast<const char*>(sqlite3_column_text(vs, 0));
          sqlite3_finalize(vs);
        }
        if (!is_hidden_table(o.name)) objects.push_back(o);
      }
    }
    sqlite3_finalize(st);
  }

  inserter tables(db, "USER_TABLES", 9);
  inserter columns(db, "USER_TAB_COLUMNS", 12);
  inserter views(db, "USER_VIEWS", 3);
  inserter constraints(db, "USER_CONSTRAINTS", 14);
  inserter cons_columns(db, "USER_CONS_COLUMNS", 5);
  inserter indexes(db, "USER_INDEXES", 9);
  inserter ind_columns(db, "USER_IND_COLUMNS", 7);

  int generated_counter = 0;
  auto generated_name = [&]() {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "SYS_C%07d", ++generated_counter);
    return std::string(buffer);
  };

  // First pass: each table's constraints with their final names, so that
  // foreign keys can name the key they reference.
  std::map<std::string, std::vector<column_row>> all_columns;
  std::vector<table_constraints> all_constraints;
  for (const object_row& o : objects) {
    std::vector<column_row> cols = table_columns(db, o.name);
    all_columns[to_upper_ascii(o.name)] = cols;
    if (o.type != "table") continue;
    table_constraints tc;
    tc.table = o.name;
    std::vector<declared_constraint> declared = parse_constraints(o.sql);
    std::vector<std::pair<int, std::string>> pk;
    for (const column_row& c : cols)
      if (c.pk > 0) pk.emplace_back(c.pk, c.name);
    std::sort(pk.begin(), pk.end());
    if (!pk.empty()) {
      declared_constraint p;
      p.type = 'P';
      for (auto& [n, name] : pk) p.columns.push_back(name);
      for (const declared_constraint& d : declared)
        if (d.type == 'P') p.name = d.name;
      tc.list.push_back(p);
    }
    for (const column_row& c : cols) {
      if (!c.not_null) continue;
      declared_constraint n;
      n.type = 'C';
      n.not_null_of = c.name;
      n.condition = "\"" + c.name + "\" IS NOT NULL";
      for (const declared_constraint& d : declared)
        if (equal_no_case(d.not_null_of, c.name)) n.name = d.name;
      tc.list.push_back(n);
    }
    for (const declared_constraint& d : declared) {
      if (d.type == 'P' || !d.not_null_of.empty()) continue;
      declared_constraint c = d;
      for (std::string& col : c.columns) col = real_name(cols, col);
      tc.list.push_back(c);
    }
    for (declared_constraint& c : tc.list) {
      tc.generated.push_back(c.name.empty());
      if (c.name.empty()) c.name = generated_name();
    }
    all_constraints.push_back(tc);
  }
  auto key_of = [&](const std::string& table, std::vector<std::string> cols) -> std::string {
    for (const table_constraints& tc : all_constraints) {
      if (!equal_no_case(tc.table, table)) continue;
      if (cols.empty())
        for (const declared_constraint& c : tc.list)
          if (c.type == 'P') cols = c.columns;
      for (const declared_constraint& c : tc.list)
        if ((c.type == 'P' || c.type == 'U') && same_columns(c.columns, cols)) return c.name;
    }
    return std::string();
  };

  for (const object_row& o : objects) {
    const std::vector<column_row>& cols = all_columns[to_upper_ascii(o.name)];
    if (o.type == "table") {
      bool iot = to_upper_ascii(o.sql).find("WITHOUT ROWID") != std::string::npos;
      tables.row({o.name, std::string("USERS"), std::string("VALID"), std::nullopt,
                  std::string("N"), std::string("NO"),
                  iot ? value(std::string("IOT")) : std::nullopt, std::string("NO"),
                  std::string("NO")});
    } else {
      std::string text = written_view_text(db, o.name, o.sql);
      views.row({o.name, num(static_cast<long long>(text.size())), text});
    }
    const table_constraints* tc = nullptr;
    for (const table_constraints& c : all_constraints)
      if (c.table == o.name) tc = &c;
    int id = 0;
    for (const column_row& c : cols) {
      col_type t = parse_declared_type(c.declared);
      bool not_null = c.not_null || c.pk > 0;
      value precision, scale;
      if (t.dict_precision) precision = num(*t.dict_precision);
      if (t.dict_scale) scale = num(*t.dict_scale);
      columns.row({o.name, c.name, t.dict_type, num(t.dict_length), precision, scale,
                   std::string(not_null ? "N" : "Y"), num(++id),
                   c.default_text ? num(static_cast<long long>(c.default_text->size()))
                                  : std::nullopt,
                   c.default_text,
                   t.char_used ? num(t.char_length) : num(0),
                   t.char_used ? value(std::string(1, t.char_used)) : std::nullopt});
    }
    if (!tc) continue;
    for (std::size_t k = 0; k < tc->list.size(); ++k) {
      const declared_constraint& c = tc->list[k];
      value r_owner, r_name, rule, index_name, condition;
      if (c.type == 'R') {
        r_owner = user;
        r_name = key_of(c.ref_table, c.ref_columns);
        rule = c.delete_rule;
      }
      if (c.type == 'P' || c.type == 'U') index_name = c.name;
      if (c.type == 'C') condition = c.condition;
      constraints.row({user, c.name, std::string(1, c.type), o.name, condition, r_owner, r_name,
                       rule, std::string("ENABLED"), std::string("NOT DEFERRABLE"),
                       std::string("IMMEDIATE"), std::string("VALIDATED"),
                       std::string(tc->generated[k] ? "GENERATED NAME" : "USER NAME"),
                       index_name});
      if (!c.not_null_of.empty()) {
        cons_columns.row({user, c.name, o.name, c.not_null_of, std::nullopt});
      } else if (c.type != 'C') {
        long long pos = 0;
        for (const std::string& col : c.columns)
          cons_columns.row({user, c.name, o.name, col, num(++pos)});
      }
    }

    // Indexes: those of the keys carry the key's name, as on the server.
    std::vector<index_row> idx = table_indexes(db, o.name);
    bool pk_index = false;
    struct out_index {
      std::string name;
      bool unique;
      bool generated;
      std::vector<std::string> columns;
    };
    std::vector<out_index> list;
    for (const index_row& r : idx) {
      out_index x{r.name, r.unique, false, r.columns};
      if (r.origin == "pk" || r.origin == "u") {
        for (std::size_t k = 0; k < tc->list.size(); ++k) {
          const declared_constraint& c = tc->list[k];
          if ((c.type == (r.origin == "pk" ? 'P' : 'U')) && same_columns(c.columns, r.columns)) {
            x.name = c.name;
            x.generated = tc->generated[k];
          }
        }
        if (r.origin == "pk") pk_index = true;
      }
      list.push_back(x);
    }
    if (!pk_index) {
      for (std::size_t k = 0; k < tc->list.size(); ++k)
        if (tc->list[k].type == 'P')
          list.push_back({tc->list[k].name, true, tc->generated[k], tc->list[k].columns});
    }
    std::sort(list.begin(), list.end(),
              [](const out_index& a, const out_index& b) { return a.name < b.name; });
    bool iot = to_upper_ascii(o.sql).find("WITHOUT ROWID") != std::string::npos;
    for (const out_index& x : list) {
      bool is_pk = false;
      for (const declared_constraint& c : tc->list)
        if (c.type == 'P' && c.name == x.name) is_pk = true;
      indexes.row({x.name, std::string(iot && is_pk ? "IOT - TOP" : "NORMAL"), user, o.name,
                   std::string("TABLE"), std::string(x.unique ? "UNIQUE" : "NONUNIQUE"),
                   std::string("USERS"), std::string("VALID"),
                   std::string(x.generated ? "Y" : "N")});
      long long pos = 0;
      for (const std::string& col : x.columns) {
        col_type t;
        for (const column_row& c : cols)
          if (equal_no_case(c.name, col)) t = parse_declared_type(c.declared);
        ind_columns.row({x.name, o.name, real_name(cols, col), num(++pos), num(t.dict_length),
                         num(t.char_used ? t.char_length : 0), std::string("ASC")});
      }
    }
  }

  live_view(db, "USER_SEQUENCES", "OCILITE_SEQUENCES",
            "SELECT SEQUENCE_NAME, MIN_VALUE, MAX_VALUE, INCREMENT_BY, CYCLE_FLAG, ORDER_FLAG, CACHE_SIZE, "
            "LAST_NUMBER FROM main.OCILITE_SEQUENCES",
            "CREATE TEMP TABLE USER_SEQUENCES (SEQUENCE_NAME VARCHAR2(30) NOT NULL, MIN_VALUE NUMBER, "
            "MAX_VALUE NUMBER, INCREMENT_BY NUMBER NOT NULL, CYCLE_FLAG VARCHAR2(1), ORDER_FLAG VARCHAR2(1), "
            "CACHE_SIZE NUMBER NOT NULL, LAST_NUMBER NUMBER NOT NULL)");
  live_view(db, "USER_TRIGGERS", "OCILITE_TRIGGERS",
            "SELECT TRIGGER_NAME, TRIGGER_TYPE, TRIGGERING_EVENT, TABLE_OWNER, BASE_OBJECT_TYPE, TABLE_NAME, "
            "REFERENCING_NAMES, WHEN_CLAUSE, STATUS, DESCRIPTION, ACTION_TYPE, TRIGGER_BODY FROM "
            "main.OCILITE_TRIGGERS",
            "CREATE TEMP TABLE USER_TRIGGERS (TRIGGER_NAME VARCHAR2(30), TRIGGER_TYPE VARCHAR2(16), "
            "TRIGGERING_EVENT VARCHAR2(227), TABLE_OWNER VARCHAR2(30), BASE_OBJECT_TYPE VARCHAR2(16), "
            "TABLE_NAME VARCHAR2(30), REFERENCING_NAMES VARCHAR2(128), WHEN_CLAUSE VARCHAR2(4000), STATUS "
            "VARCHAR2(8), DESCRIPTION VARCHAR2(4000), ACTION_TYPE VARCHAR2(11), TRIGGER_BODY LONG)");

  inserter banner(db, "\"V$VERSION\"", 1);
  banner.row({"ocilite Database Release " + version + " - Production"});
  banner.row({std::string("SQLite ") + sqlite3_libversion()});
  inserter dual(db, "DUAL", 1);
  dual.row({std::string("X")});
}

}  // namespace ocilite

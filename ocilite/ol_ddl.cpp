#include "ocilite/ol_ddl.h"

#include "ocilite/ol_database.h"
#include "ocilite/ol_dictionary.h"
#include "ocilite/ol_error.h"
#include "ocilite/ol_query.h"
#include "ocilite/ol_sql.h"
#include "ocilite/ol_text.h"
#include "ocilite/ol_values.h"

#include <algorithm>
#include <optional>

namespace ocilite {

namespace {

using row_list = std::vector<std::vector<std::optional<std::string>>>;

std::string join_quoted(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + sql_name(n);
  return out;
}

bool same_set(std::vector<std::string> a, std::vector<std::string> b) {
  if (a.size() != b.size()) return false;
  for (auto& s : a) s = to_upper_ascii(s);
  for (auto& s : b) s = to_upper_ascii(s);
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  return a == b;
}

bool same_list(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k)
    if (!equal_no_case(a[k], b[k])) return false;
  return true;
}

// A name as written: a quoted one is matched exactly, an unquoted one
// (folded to upper case) without regard to case.
struct ident {
  std::string name;
  bool exact = false;
};

bool matches(const std::string& stored, const ident& n) {
  return n.exact ? stored == n.name : equal_no_case(stored, n.name);
}

// The significant tokens of a text with their offsets in it.
struct words {
  std::string text;
  std::vector<token> t;
  std::vector<std::size_t> at;  // offset of each token
  std::vector<std::size_t> end;

  explicit words(const std::string& sql) : text(sql) {
    std::size_t pos = 0;
    for (token& k : lex(sql)) {
      std::size_t length = k.text.size();
      if (k.kind == tok::string && pos < sql.size() && sql[pos] != '\'') ++length;  // N'...'
      if (k.kind != tok::space && k.kind != tok::comment) {
        at.push_back(pos);
        end.push_back(pos + length);
        t.push_back(std::move(k));
      }
      pos += length;
    }
  }
  std::size_t size() const { return t.size(); }
  bool is(std::size_t i, const char* w) const { return i < t.size() && t[i].kind == tok::word && t[i].value == w; }
  bool punct(std::size_t i, const char* p) const {
    return i < t.size() && t[i].kind == tok::punct && t[i].text == p;
  }
  bool name(std::size_t i) const { return i < t.size() && (t[i].kind == tok::word || t[i].kind == tok::quoted); }
  std::string name_at(std::size_t i) const {
    if (!name(i)) fail(i < t.size() ? 903 : 921);
    return object_name(t[i]);
  }
  ident ident_at(std::size_t i) const { return {name_at(i), t[i].kind == tok::quoted}; }
  // A name that may carry a schema prefix; i moves past it.
  ident read_ident(std::size_t& i) const {
    ident n = ident_at(i++);
    if (punct(i, ".") && name(i + 1)) {
      n = ident_at(i + 1);
      i += 2;
    }
    return n;
  }
  std::string read_name(std::size_t& i) const {
    std::string n = name_at(i++);
    if (punct(i, ".") && name(i + 1)) {
      n = name_at(i + 1);
      i += 2;
    }
    return n;
  }
  std::size_t closing(std::size_t i) const {
    int depth = 0;
    for (std::size_t k = i; k < t.size(); ++k) {
      if (punct(k, "(")) ++depth;
      if (punct(k, ")") && --depth == 0) return k;
    }
    fail(907);
  }
  // The names of a parenthesised list at i; i moves past its ")".
  std::vector<ident> name_list(std::size_t& i) const {
    if (!punct(i, "(")) fail(906);
    std::size_t close = closing(i);
    std::vector<ident> out;
    bool expect = true;
    for (std::size_t k = i + 1; k < close; ++k) {
      if (punct(k, ",")) {
        expect = true;
      } else if (expect) {
        out.push_back(ident_at(k));
        expect = false;
      }
    }
    i = close + 1;
    return out;
  }
  // The text of tokens first..last as written.
  std::string slice(std::size_t first, std::size_t last) const {
    if (first > last || last >= t.size()) return std::string();
    return text.substr(at[first], end[last] - at[first]);
  }
  std::string rest(std::size_t first) const { return first < t.size() ? text.substr(at[first]) : std::string(); }
  void done(std::size_t i) const {
    if (i < t.size()) fail(933);
  }
};

// A definition runs in a transaction of its own, after the open work is
// committed, as the server commits around every definition.
class definition {
 public:
  explicit definition(database& db) : db_(db) {
    db_.commit();
    db_.exec("BEGIN");
  }
  ~definition() {
    if (done_) return;
    try {
      db_.exec("ROLLBACK");
    } catch (const ora_failure&) {
    }
  }
  void commit() {
    db_.exec("COMMIT");
    done_ = true;
  }

 private:
  database& db_;
  bool done_ = false;
};

// The stored name of a table, or none.
std::optional<std::string> table_name(database& db, const std::string& name) {
  auto found = db.rows("SELECT name FROM main.sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE", {name});
  if (found.empty() || is_hidden_table(found[0][0].value_or(""))) return std::nullopt;
  return found[0][0];
}

// The stored name of the table a written name means, or none. SQLite keeps
// one table of a name whatever its case.
std::optional<std::string> table_name(database& db, const ident& name) {
  std::optional<std::string> stored = table_name(db, name.name);
  if (stored && !matches(*stored, name)) return std::nullopt;
  return stored;
}

std::string existing_table(database& db, const ident& name) {
  auto real = table_name(db, name);
  if (!real) fail(942);
  return *real;
}

std::vector<std::string> column_names(database& db, const std::string& table) {
  std::vector<std::string> out;
  for (const auto& row : db.rows("SELECT name FROM pragma_table_info(?1, 'main')", {table}))
    out.push_back(row[0].value_or(""));
  return out;
}

// The stored spelling of each column; ORA-00904 for one the table lacks.
std::vector<std::string> real_columns(database& db, const std::string& table, const std::vector<ident>& names) {
  std::vector<std::string> columns = column_names(db, table);
  std::vector<std::string> out;
  for (const ident& n : names) {
    auto it = std::find_if(columns.begin(), columns.end(), [&](const std::string& c) { return matches(c, n); });
    if (it == columns.end()) fail(904, sql_name(n.name));
    out.push_back(*it);
  }
  return out;
}

std::vector<ident> exact(const std::vector<std::string>& names) {
  std::vector<ident> out;
  for (const std::string& n : names) out.push_back({n, true});
  return out;
}

// The primary and unique keys of a table as the dictionary lists them.
struct key {
  std::string name;
  char type = 'U';
  std::vector<std::string> columns;
};

std::vector<key> keys_of(database& db, const std::string& table) {
  std::vector<key> out;
  for (const auto& row : db.rows("SELECT c.CONSTRAINT_NAME, c.CONSTRAINT_TYPE, cc.COLUMN_NAME FROM temp.USER_CONSTRAINTS c "
                                 "JOIN temp.USER_CONS_COLUMNS cc ON cc.CONSTRAINT_NAME = c.CONSTRAINT_NAME AND "
                                 "cc.TABLE_NAME = c.TABLE_NAME WHERE c.TABLE_NAME = ?1 AND c.CONSTRAINT_TYPE IN "
                                 "('P','U') ORDER BY c.CONSTRAINT_NAME, cc.POSITION",
                                 {table})) {
    std::string name = row[0].value_or("");
    if (out.empty() || out.back().name != name) out.push_back({name, row[1].value_or("U")[0], {}});
    out.back().columns.push_back(row[2].value_or(""));
  }
  return out;
}

// ------------------------------------------------------------------ tables

// A CREATE TABLE text split into its head, its items (column definitions
// and table constraints, as written) and its tail.
struct table_text {
  std::string name;
  std::vector<std::string> items;
  std::string tail;  // after the closing parenthesis
  bool without_rowid = false;

  std::string sql(const std::string& as_name) const {
    std::string out = "CREATE TABLE " + sql_name(as_name) + " (";
    for (std::size_t k = 0; k < items.size(); ++k) out += (k ? ", " : "") + items[k];
    return out + ")" + tail;
  }
};

std::string trim(const std::string& s) {
  std::size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return std::string();
  std::size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

table_text read_table(database& db, const std::string& table) {
  auto found = db.rows("SELECT sql FROM main.sqlite_schema WHERE type = 'table' AND name = ?1", {table});
  if (found.empty() || !found[0][0]) fail(942);
  words w(*found[0][0]);
  table_text out;
  out.name = table;
  std::size_t open = 0;
  while (open < w.size() && !w.punct(open, "(")) ++open;
  if (open >= w.size()) fail(600, "table " + table + " has no column list");
  std::size_t close = w.closing(open);
  std::size_t first = open + 1;
  int depth = 0;
  for (std::size_t k = open + 1; k <= close; ++k) {
    if (w.punct(k, "(")) ++depth;
    if (w.punct(k, ")") && k != close) --depth;
    if ((depth == 0 && w.punct(k, ",")) || k == close) {
      if (k > first) out.items.push_back(trim(w.text.substr(w.at[first], w.at[k] - w.at[first])));
      first = k + 1;
    }
  }
  out.tail = w.text.substr(w.end[close]);
  out.without_rowid = to_upper_ascii(out.tail).find("WITHOUT ROWID") != std::string::npos;
  return out;
}

bool is_constraint_item(const std::string& item) {
  words w(item);
  return w.is(0, "CONSTRAINT") || w.is(0, "PRIMARY") || w.is(0, "UNIQUE") || w.is(0, "FOREIGN") || w.is(0, "CHECK");
}

// One column definition taken apart: name, type, default, NOT NULL and the
// other clauses.
struct column_def {
  std::string name_text;
  std::string name;
  std::string type;
  std::optional<std::string> default_text;
  bool not_null = false;
  std::vector<std::string> clauses;

  std::string text() const {
    std::string out = name_text;
    if (!type.empty()) out += " " + type;
    if (default_text) out += " DEFAULT " + *default_text;
    if (not_null) out += " NOT NULL";
    for (const std::string& c : clauses) out += " " + c;
    return out;
  }
};

bool starts_clause(const words& w, std::size_t i) {
  static const char* const keys[] = {"CONSTRAINT", "PRIMARY", "UNIQUE", "CHECK", "REFERENCES",
                                     "DEFAULT",    "NOT",     "NULL",   "COLLATE", "GENERATED"};
  for (const char* k : keys)
    if (w.is(i, k)) {
      // Words of a referential clause.
      if ((w.is(i, "NULL") && i > 0 && w.is(i - 1, "SET")) || (w.is(i, "NOT") && w.is(i + 1, "DEFERRABLE")))
        return false;
      return true;
    }
  return false;
}

// The end of a clause that starts at i: the token before the next clause.
std::size_t clause_end(const words& w, std::size_t i) {
  int depth = 0;
  std::size_t k = i + 1;
  for (; k < w.size(); ++k) {
    if (w.punct(k, "(")) ++depth;
    if (w.punct(k, ")")) --depth;
    if (depth == 0 && starts_clause(w, k)) break;
  }
  return k - 1;
}

column_def parse_column(const std::string& item) {
  words w(item);
  column_def c;
  c.name_text = w.slice(0, 0);
  c.name = w.name_at(0);
  std::size_t i = 1;
  std::size_t type_end = i;
  int depth = 0;
  while (type_end < w.size()) {
    if (w.punct(type_end, "(")) ++depth;
    if (w.punct(type_end, ")")) --depth;
    if (depth == 0 && starts_clause(w, type_end)) break;
    ++type_end;
  }
  if (type_end > i) c.type = w.slice(i, type_end - 1);
  i = type_end;
  std::string pending;
  while (i < w.size()) {
    if (w.is(i, "CONSTRAINT")) {
      pending = w.slice(i, i + 1) + " ";
      i += 2;
      continue;
    }
    if (w.is(i, "NOT") && w.is(i + 1, "NULL")) {
      c.not_null = true;
      pending.clear();
      i += 2;
      continue;
    }
    if (w.is(i, "NULL")) {
      pending.clear();
      ++i;
      continue;
    }
    std::size_t last = clause_end(w, i);
    if (w.is(i, "DEFAULT"))
      c.default_text = w.slice(i + 1, last);
    else
      c.clauses.push_back(pending + w.slice(i, last));
    pending.clear();
    i = last + 1;
  }
  return c;
}

int item_of_column(const table_text& t, const std::string& column) {
  for (std::size_t k = 0; k < t.items.size(); ++k) {
    if (is_constraint_item(t.items[k])) continue;
    words w(t.items[k]);
    if (w.name(0) && equal_no_case(w.name_at(0), column)) return static_cast<int>(k);
  }
  return -1;
}

// The table made anew from `text`, with its rows (row numbers kept), its
// indexes and its SQLite triggers. Constraint failures while the rows are
// copied come back as `copy_errors` maps them.
template <typename Map>
void rebuild(database& db, const table_text& text, Map copy_errors) {
  const std::string& table = text.name;
  row_list saved = db.rows(
      "SELECT sql FROM main.sqlite_schema WHERE tbl_name = ?1 AND type IN ('index', 'trigger') AND sql IS NOT NULL",
      {table});
  std::string columns = join_quoted(column_names(db, table));
  std::string row_number = text.without_rowid ? "" : "rowid, ";
  const std::string temporary = "OCILITE_REBUILD";
  db.commit();
  db.exec("PRAGMA foreign_keys = OFF");
  db.exec("PRAGMA legacy_alter_table = ON");
  struct restore {
    database& db;
    ~restore() {
      try {
        db.exec("PRAGMA legacy_alter_table = OFF");
        db.exec("PRAGMA foreign_keys = ON");
      } catch (const ora_failure&) {
      }
    }
  } restore_pragmas{db};
  definition work(db);
  db.exec("DROP TABLE IF EXISTS main." + sql_name(temporary));
  db.exec(text.sql(temporary));
  try {
    db.exec("INSERT INTO main." + sql_name(temporary) + " (" + row_number + columns + ") SELECT " + row_number +
            columns + " FROM main." + sql_name(table));
  } catch (const ora_failure& f) {
    copy_errors(f);
    throw;
  }
  db.exec("DROP TABLE main." + sql_name(table));
  db.exec("ALTER TABLE main." + sql_name(temporary) + " RENAME TO " + sql_name(table));
  for (const auto& row : saved) db.exec(*row[0]);
  work.commit();
}

void no_mapping(const ora_failure&) {}

// ----------------------------------------------------------- constraints

void add_constraint(database& db, const words& w, std::size_t i, const std::string& table, bool parse_only) {
  std::string name;
  if (w.is(i, "CONSTRAINT")) {
    name = w.name_at(i + 1);
    i += 2;
  }
  char type = 0;
  std::vector<ident> written, ref_written;
  std::vector<std::string> columns, ref_columns;
  ident ref_table;
  std::string rule;
  if (w.is(i, "PRIMARY") && w.is(i + 1, "KEY")) {
    type = 'P';
    i += 2;
    written = w.name_list(i);
  } else if (w.is(i, "UNIQUE")) {
    type = 'U';
    ++i;
    written = w.name_list(i);
  } else if (w.is(i, "FOREIGN") && w.is(i + 1, "KEY")) {
    type = 'R';
    i += 2;
    written = w.name_list(i);
    if (!w.is(i, "REFERENCES")) fail(905);
    ++i;
    ref_table = w.read_ident(i);
    if (w.punct(i, "(")) ref_written = w.name_list(i);
    if (w.is(i, "ON") && w.is(i + 1, "DELETE")) {
      if (w.is(i + 2, "CASCADE")) {
        rule = "ON DELETE CASCADE";
        i += 3;
      } else if (w.is(i + 2, "SET") && w.is(i + 3, "NULL")) {
        rule = "ON DELETE SET NULL";
        i += 4;
      } else {
        fail(905);
      }
    }
  } else if (w.is(i, "CHECK")) {
    type = 'C';
  } else {
    fail(902);
  }
  if (type == 'C') {
    // A condition SQLite checks itself: kept as written.
    std::size_t close = w.closing(i + 1);
    if (parse_only) return;
    table_text t = read_table(db, table);
    t.items.push_back((name.empty() ? "" : "CONSTRAINT " + sql_name(name) + " ") + w.slice(i, close));
    w.done(close + 1);
    rebuild(db, t, no_mapping);
    return;
  }
  w.done(i);
  columns = real_columns(db, table, written);
  db.refresh_dictionary();
  if (!name.empty() && !db.rows("SELECT 1 FROM temp.USER_CONSTRAINTS WHERE CONSTRAINT_NAME = ?1", {name}).empty())
    fail(2264);
  std::string label = db.user() + "." + (name.empty() ? "SYS_C" : name);
  table_text t = read_table(db, table);
  std::string clause = name.empty() ? "" : "CONSTRAINT " + sql_name(name) + " ";
  if (type == 'P' || type == 'U') {
    for (const key& k : keys_of(db, table)) {
      if (type == 'P' && k.type == 'P') fail(2260);
      if (same_set(k.columns, columns)) fail(2261);
    }
    if (parse_only) return;
    if (type == 'P') {
      // The key's columns become NOT NULL, as on the server.
      std::string any_null;
      for (const std::string& c : columns) any_null += (any_null.empty() ? "" : " OR ") + sql_name(c) + " IS NULL";
      if (!db.rows("SELECT 1 FROM main." + sql_name(table) + " WHERE " + any_null + " LIMIT 1").empty()) fail(1449);
      for (const std::string& c : columns) {
        int at = item_of_column(t, c);
        if (at < 0) continue;
        column_def d = parse_column(t.items[static_cast<std::size_t>(at)]);
        d.not_null = true;
        t.items[static_cast<std::size_t>(at)] = d.text();
      }
    }
    t.items.push_back(clause + (type == 'P' ? "PRIMARY KEY (" : "UNIQUE (") + join_quoted(columns) + ")");
    rebuild(db, t, [&](const ora_failure& f) {
      if (f.error.code == 1) fail(type == 'P' ? 2437 : 2299, label);
    });
    return;
  }
  // A foreign key references a primary or unique key of the parent.
  std::string parent = existing_table(db, ref_table);
  std::vector<key> parent_keys = keys_of(db, parent);
  if (ref_written.empty()) {
    auto pk = std::find_if(parent_keys.begin(), parent_keys.end(), [](const key& k) { return k.type == 'P'; });
    if (pk == parent_keys.end()) fail(2268);
    ref_written = exact(pk->columns);
  }
  ref_columns = real_columns(db, parent, ref_written);
  if (ref_columns.size() != columns.size()) fail(2256);
  if (std::none_of(parent_keys.begin(), parent_keys.end(),
                   [&](const key& k) { return same_list(k.columns, ref_columns); }))
    fail(2270);
  if (parse_only) return;
  t.items.push_back(clause + "FOREIGN KEY (" + join_quoted(columns) + ") REFERENCES " + sql_name(parent) + " (" +
                    join_quoted(ref_columns) + ")" + (rule.empty() ? "" : " " + rule));
  // Every row must find its parent.
  bool orphans = false;
  {
    std::string condition;
    std::string join;
    for (std::size_t k = 0; k < columns.size(); ++k) {
      condition += (condition.empty() ? "" : " AND ") + ("c." + sql_name(columns[k])) + " IS NOT NULL";
      join += (join.empty() ? "" : " AND ") + ("p." + sql_name(ref_columns[k])) + " = c." + sql_name(columns[k]);
    }
    orphans = !db.rows("SELECT 1 FROM main." + sql_name(table) + " c WHERE " + condition +
                       " AND NOT EXISTS (SELECT 1 FROM main." + sql_name(parent) + " p WHERE " + join + ") LIMIT 1")
                   .empty();
  }
  if (orphans) fail(2298, label);
  rebuild(db, t, no_mapping);
}

void modify_columns(database& db, const words& w, std::size_t i, const std::string& table, bool parse_only) {
  bool listed = w.punct(i, "(");
  std::size_t stop = listed ? w.closing(i) : w.size();
  if (listed) {
    w.done(stop + 1);
    ++i;
  }
  table_text t = read_table(db, table);
  std::vector<std::string> pk;
  for (const auto& row : db.rows("SELECT name FROM pragma_table_info(?1, 'main') WHERE pk > 0", {table}))
    pk.push_back(row[0].value_or(""));
  while (i < stop) {
    std::string column = real_columns(db, table, {w.ident_at(i)})[0];
    ++i;
    std::size_t type_first = i;
    int depth = 0;
    while (i < stop && !(depth == 0 && (w.is(i, "DEFAULT") || w.is(i, "NULL") || w.is(i, "NOT") ||
                                        w.is(i, "CONSTRAINT") || w.punct(i, ",")))) {
      if (w.punct(i, "(")) ++depth;
      if (w.punct(i, ")")) --depth;
      ++i;
    }
    std::string type = i > type_first ? w.slice(type_first, i - 1) : std::string();
    if (!type.empty()) {
      std::vector<token> written(w.t.begin() + static_cast<std::ptrdiff_t>(type_first),
                                 w.t.begin() + static_cast<std::ptrdiff_t>(i));
      if (std::optional<std::string> stored = storable_type(written)) type = *stored;
    }
    std::optional<std::string> def;
    if (w.is(i, "DEFAULT")) {
      std::size_t first = ++i;
      depth = 0;
      while (i < stop && !(depth == 0 && (w.is(i, "NULL") || w.is(i, "NOT") || w.is(i, "CONSTRAINT") ||
                                          w.punct(i, ",")))) {
        if (w.punct(i, "(")) ++depth;
        if (w.punct(i, ")")) --depth;
        ++i;
      }
      if (i == first) fail(936);
      def = w.slice(first, i - 1);
      // Function calls in parentheses for SQLite; literals as they are.
      if (w.t[first].kind == tok::word && !w.is(first, "NULL")) def = "(" + *def + ")";
    }
    std::optional<bool> not_null;
    if (w.is(i, "NOT") && w.is(i + 1, "NULL")) {
      not_null = true;
      i += 2;
    } else if (w.is(i, "NULL")) {
      not_null = false;
      ++i;
    }
    if (w.punct(i, ",") && listed) ++i;
    else if (i < stop) fail(933);

    int at = item_of_column(t, column);
    if (at < 0) fail(904, sql_name(column));
    column_def d = parse_column(t.items[static_cast<std::size_t>(at)]);
    bool key = std::any_of(pk.begin(), pk.end(), [&](const std::string& p) { return equal_no_case(p, column); });
    if (not_null && !*not_null && (!d.not_null || key)) fail(1451);
    if (not_null && *not_null) {
      if (d.not_null || key) fail(1442);
      if (!db.rows("SELECT 1 FROM main." + sql_name(table) + " WHERE " + sql_name(column) + " IS NULL LIMIT 1").empty())
        fail(2296, db.user() + ".SYS_C");
    }
    if (!type.empty()) d.type = type;
    if (def) d.default_text = def;
    if (not_null) d.not_null = *not_null;
    t.items[static_cast<std::size_t>(at)] = d.text();
  }
  if (parse_only) return;
  rebuild(db, t, no_mapping);
}

void alter_table(database& db, const words& w, bool parse_only, bool& handled) {
  std::size_t i = 2;
  ident table = w.read_ident(i);
  if (w.is(i, "ADD") && (w.is(i + 1, "CONSTRAINT") || w.is(i + 1, "PRIMARY") || w.is(i + 1, "UNIQUE") ||
                         w.is(i + 1, "FOREIGN") || w.is(i + 1, "CHECK"))) {
    handled = true;
    add_constraint(db, w, i + 1, existing_table(db, table), parse_only);
  } else if (w.is(i, "MODIFY")) {
    handled = true;
    modify_columns(db, w, i + 1, existing_table(db, table), parse_only);
  }
}

// -------------------------------------------------------------- sequences

const char* const sequences_ddl =
    "CREATE TABLE IF NOT EXISTS main.OCILITE_SEQUENCES (SEQUENCE_NAME VARCHAR2(30) NOT NULL PRIMARY KEY, "
    "MIN_VALUE NUMBER, MAX_VALUE NUMBER, INCREMENT_BY NUMBER NOT NULL, CYCLE_FLAG VARCHAR2(1), ORDER_FLAG "
    "VARCHAR2(1), CACHE_SIZE NUMBER NOT NULL, LAST_NUMBER NUMBER NOT NULL)";

// The text of each view as written, read wherever the view is.
const char* const views_ddl =
    "CREATE TABLE IF NOT EXISTS main.OCILITE_VIEWS (VIEW_NAME VARCHAR2(128) NOT NULL PRIMARY KEY, TEXT LONG)";

const char* const triggers_ddl =
    "CREATE TABLE IF NOT EXISTS main.OCILITE_TRIGGERS (TRIGGER_NAME VARCHAR2(30) NOT NULL PRIMARY KEY, "
    "TRIGGER_TYPE VARCHAR2(16), TRIGGERING_EVENT VARCHAR2(227), TABLE_OWNER VARCHAR2(30), BASE_OBJECT_TYPE "
    "VARCHAR2(16), TABLE_NAME VARCHAR2(30), REFERENCING_NAMES VARCHAR2(128), WHEN_CLAUSE VARCHAR2(4000), STATUS "
    "VARCHAR2(8), DESCRIPTION VARCHAR2(4000), ACTION_TYPE VARCHAR2(11), TRIGGER_BODY LONG, FILL_COLUMN "
    "VARCHAR2(30), SEQUENCE_NAME VARCHAR2(30), ONLY_WHEN_NULL NUMBER(1))";

bool sequence_exists(database& db, const std::string& name) {
  return db.has_table("OCILITE_SEQUENCES") &&
         !db.rows("SELECT 1 FROM main.OCILITE_SEQUENCES WHERE SEQUENCE_NAME = ?1", {name}).empty();
}

// A number of a sequence option, with its sign; i moves past it.
std::string option_number(const words& w, std::size_t& i) {
  std::string sign;
  if (w.punct(i, "-") || w.punct(i, "+")) sign = w.t[i++].text;
  if (i >= w.size() || w.t[i].kind != tok::number) fail(i < w.size() ? 1722 : 921);
  auto d = parse_decimal(sign + w.t[i++].text);
  if (!d) fail(1722);
  return number_text(*d);
}

void create_sequence(database& db, const words& w, bool parse_only) {
  std::size_t i = 2;
  std::string name = w.read_name(i);
  std::optional<std::string> start, low, high;
  std::string step = "1", cycle = "N", order = "N", cache = "20";
  bool no_low = false, no_high = false;
  while (i < w.size()) {
    if (w.is(i, "INCREMENT") && w.is(i + 1, "BY")) {
      i += 2;
      step = option_number(w, i);
    } else if (w.is(i, "START") && w.is(i + 1, "WITH")) {
      i += 2;
      start = option_number(w, i);
    } else if (w.is(i, "MAXVALUE")) {
      ++i;
      high = option_number(w, i);
    } else if (w.is(i, "MINVALUE")) {
      ++i;
      low = option_number(w, i);
    } else if (w.is(i, "NOMAXVALUE")) {
      no_high = true, ++i;
    } else if (w.is(i, "NOMINVALUE")) {
      no_low = true, ++i;
    } else if (w.is(i, "CYCLE") || w.is(i, "NOCYCLE")) {
      cycle = w.is(i, "CYCLE") ? "Y" : "N", ++i;
    } else if (w.is(i, "ORDER") || w.is(i, "NOORDER")) {
      order = w.is(i, "ORDER") ? "Y" : "N", ++i;
    } else if (w.is(i, "CACHE")) {
      ++i;
      cache = option_number(w, i);
    } else if (w.is(i, "NOCACHE")) {
      cache = "0", ++i;
    } else {
      fail(933);
    }
  }
  bool up = step.empty() || step[0] != '-';
  if (step == "0") fail(4002 /* INCREMENT must be a non-zero integer */);
  if (!low || no_low) low = up ? "1" : "-999999999999999999999999999";
  if (!high || no_high) high = up ? "9999999999999999999999999999" : "-1";
  if (!start) start = up ? *low : *high;
  if (parse_only) return;
  if (table_name(db, name) || sequence_exists(db, name) ||
      !db.rows("SELECT 1 FROM main.sqlite_schema WHERE type = 'view' AND name = ?1 COLLATE NOCASE", {name}).empty())
    fail(955);
  definition work(db);
  db.exec(sequences_ddl);
  db.exec("INSERT INTO main.OCILITE_SEQUENCES VALUES (" + sql_string(name) + ", " + *low + ", " + *high + ", " + step +
          ", '" + cycle + "', '" + order + "', " + cache + ", " + *start + ")");
  work.commit();
}

void drop_sequence(database& db, const words& w, bool parse_only) {
  std::size_t i = 2;
  std::string name = w.read_name(i);
  w.done(i);
  if (parse_only) return;
  if (!sequence_exists(db, name)) fail(2289);
  definition work(db);
  db.exec("DELETE FROM main.OCILITE_SEQUENCES WHERE SEQUENCE_NAME = " + sql_string(name));
  work.commit();
}

// --------------------------------------------------------------- triggers

// The table a trigger belongs to, or none when there is no such trigger.
std::optional<std::string> trigger_table(database& db, const std::string& name) {
  if (!db.has_table("OCILITE_TRIGGERS")) return std::nullopt;
  auto found = db.rows("SELECT TABLE_NAME FROM main.OCILITE_TRIGGERS WHERE TRIGGER_NAME = ?1", {name});
  if (found.empty()) return std::nullopt;
  return found[0][0].value_or("");
}

bool is_new(const words& w, std::size_t i) {
  return i < w.size() && ((w.t[i].kind == tok::word && w.t[i].value == "NEW") ||
                          (w.t[i].kind == tok::param && w.t[i].value == "NEW"));
}

// The one trigger body this library runs: a BEFORE INSERT row trigger that
// sets a column from a sequence, always or only when the insert leaves it
// NULL. It becomes part of every INSERT into the table that names its
// values (ol_sql.h).
void create_trigger(database& db, const words& w, bool parse_only) {
  std::size_t i = 1;
  bool replace = w.is(1, "OR") && w.is(2, "REPLACE");
  if (replace) i = 3;
  ++i;  // TRIGGER
  std::size_t name_at = i;
  std::string name = w.read_name(i);
  if (!w.is(i, "BEFORE") || !w.is(i + 1, "INSERT") || !w.is(i + 2, "ON")) fail(4079);
  i += 3;
  ident table_written = w.read_ident(i);
  if (!w.is(i, "FOR") || !w.is(i + 1, "EACH") || !w.is(i + 2, "ROW")) fail(4079);
  i += 3;
  std::size_t description_end = i - 1;
  std::optional<ident> when_column;
  std::string when_text;
  if (w.is(i, "WHEN")) {
    if (!w.punct(i + 1, "(") || !is_new(w, i + 2) || !w.punct(i + 3, ".") || !w.name(i + 4) || !w.is(i + 5, "IS") ||
        !w.is(i + 6, "NULL") || !w.punct(i + 7, ")"))
      fail(4079);
    when_column = w.ident_at(i + 4);
    when_text = w.slice(i + 2, i + 6);
    i += 8;
  }
  std::size_t body_first = i;
  if (!w.is(i, "BEGIN") || !w.is(i + 1, "SELECT")) fail(4079);
  i += 2;
  // SEQ.NEXTVAL, the sequence maybe with its schema.
  std::vector<std::string> path;
  while (w.name(i) && !w.is(i, "NEXTVAL")) {
    path.push_back(w.name_at(i++));
    if (!w.punct(i, ".")) fail(4079);
    ++i;
  }
  if (path.empty() || !w.is(i, "NEXTVAL")) fail(4079);
  std::string sequence = path.back();
  ++i;
  if (!w.is(i, "INTO") || !is_new(w, i + 1) || !w.punct(i + 2, ".") || !w.name(i + 3)) fail(4079);
  ident column_written = w.ident_at(i + 3);
  i += 4;
  if (!w.is(i, "FROM") || !w.is(i + 1, "DUAL") || !w.punct(i + 2, ";") || !w.is(i + 3, "END")) fail(4079);
  i += 4;
  if (w.punct(i, ";")) ++i;
  w.done(i);
  if (when_column && !equal_no_case(when_column->name, column_written.name)) fail(4079);
  if (parse_only) return;

  std::string table = existing_table(db, table_written);
  std::string column = real_columns(db, table, {column_written})[0];
  if (when_column && real_columns(db, table, {*when_column})[0] != column) fail(4079);
  if (!sequence_exists(db, sequence)) fail(2289);
  if (std::optional<std::string> owner = trigger_table(db, name)) {
    if (!replace) fail(4081, db.user() + "." + name);
    // A trigger of that name on another table is not taken over.
    if (*owner != table) fail(4095, db.user() + "." + name);
  }
  definition work(db);
  db.exec(triggers_ddl);
  db.exec("DELETE FROM main.OCILITE_TRIGGERS WHERE TRIGGER_NAME = " + sql_string(name));
  db.exec("INSERT INTO main.OCILITE_TRIGGERS VALUES (" + sql_string(name) +
          ", 'BEFORE EACH ROW', 'INSERT', " + sql_string(db.user()) + ", 'TABLE', " + sql_string(table) +
          ", 'REFERENCING NEW AS NEW OLD AS OLD', " + (when_column ? sql_string(when_text) : "NULL") +
          ", 'ENABLED', " + sql_string(w.slice(name_at, description_end)) + ", 'PL/SQL', " +
          sql_string(w.rest(body_first)) + ", " + sql_string(column) + ", " + sql_string(sequence) + ", " +
          (when_column ? "1" : "0") + ")");
  work.commit();
}

void drop_trigger(database& db, const words& w, bool parse_only) {
  std::size_t i = 2;
  std::string name = w.read_name(i);
  w.done(i);
  if (parse_only) return;
  if (!trigger_table(db, name)) fail(4080, db.user() + "." + name);
  definition work(db);
  db.exec("DELETE FROM main.OCILITE_TRIGGERS WHERE TRIGGER_NAME = " + sql_string(name));
  work.commit();
}

// ----------------------------------------------------------- views, drops

// CREATE [OR REPLACE] [FORCE|NOFORCE] VIEW: the old view stays when the new
// text fails, and the text is checked at once unless FORCE says otherwise,
// as on the server. The query is kept as written (OCILITE_VIEWS, the text
// of USER_VIEWS) and read by the rules of queries wherever the view is;
// SQLite holds its translation, for the names and types of its columns.
void create_view(database& db, const words& w, bool replace, bool parse_only) {
  std::size_t i = replace ? 3 : 1;
  bool force = w.is(i, "FORCE");
  if (w.is(i, "FORCE") || w.is(i, "NOFORCE")) ++i;
  if (!w.is(i, "VIEW")) fail(901);
  std::size_t name_at = i + 1;
  std::size_t after = name_at;
  std::string name = w.read_name(after);
  std::vector<ident> listed;
  if (w.punct(after, "(")) listed = w.name_list(after);
  if (!w.is(after, "AS")) fail(905);
  std::string query = w.rest(after + 1);
  if (force) {
    // The query may read what does not exist yet: SQLite keeps it as it is.
    check_quoted_names(query, db.schema());
    sql_plan plan = translate("CREATE VIEW " + w.rest(name_at), db.user());
    if (parse_only) return;
    if (table_name(db, name) || sequence_exists(db, name)) fail(955);
    definition work(db);
    if (replace) db.exec("DROP VIEW IF EXISTS main." + sql_name(name));
    db.exec(plan.sqlite_sql);
    if (db.has_table("OCILITE_VIEWS")) db.exec("DELETE FROM main.OCILITE_VIEWS WHERE VIEW_NAME = " + sql_string(name));
    work.commit();
    return;
  }
  query_translation q = translate_query(lex(query), db.user(), db.schema());
  if (!q.placeholders.empty()) fail(1027);
  if (q.for_update) fail(1786);
  if (!listed.empty() && listed.size() != q.columns.size()) fail(1730);
  std::vector<std::string> columns;
  for (std::size_t k = 0; k < q.columns.size(); ++k) {
    std::string column = listed.empty() ? q.columns[k].name : listed[k].name;
    if (std::find(columns.begin(), columns.end(), column) != columns.end()) fail(957);
    columns.push_back(column);
  }
  if (parse_only) return;
  if (table_name(db, name) || sequence_exists(db, name)) fail(955);
  definition work(db);
  if (replace) db.exec("DROP VIEW IF EXISTS main." + sql_name(name));
  std::string names;
  for (const std::string& c : columns) names += (names.empty() ? "" : ", ") + sql_name(c);
  db.exec("CREATE VIEW main." + sql_name(name) + " (" + names + ") AS " + q.sql);
  db.exec(views_ddl);
  db.exec("INSERT OR REPLACE INTO main.OCILITE_VIEWS VALUES (" + sql_string(name) + ", " + sql_string(query) + ")");
  work.commit();
}

void drop_table(database& db, const words& w, bool parse_only) {
  std::size_t i = 2;
  ident name = w.read_ident(i);
  if (w.is(i, "CASCADE") && w.is(i + 1, "CONSTRAINTS")) i += 2;
  if (w.is(i, "PURGE")) ++i;
  w.done(i);
  if (parse_only) return;
  std::string table = existing_table(db, name);
  definition work(db);
  db.exec("DROP TABLE main." + sql_name(table));
  // Its triggers go with it.
  if (db.has_table("OCILITE_TRIGGERS"))
    db.exec("DELETE FROM main.OCILITE_TRIGGERS WHERE TABLE_NAME = " + sql_string(table));
  work.commit();
}

// The server's checks of a new index: a name that is free and a column list
// that no index of the table has yet.
void check_index(database& db, const words& w) {
  std::size_t i = 1;
  if (w.is(i, "UNIQUE") || w.is(i, "BITMAP")) ++i;
  ++i;  // INDEX
  std::string name = w.read_name(i);
  if (!w.is(i, "ON")) return;
  ++i;
  ident table_written = w.read_ident(i);
  if (!w.punct(i, "(")) return;
  std::size_t close = w.closing(i);
  std::vector<std::string> columns;
  std::vector<ident> quoted_columns;
  bool expect = true;
  for (std::size_t k = i + 1; k < close; ++k) {
    if (w.punct(k, "(")) k = w.closing(k);
    else if (w.punct(k, ",")) expect = true;
    else if (expect && w.name(k)) {
      columns.push_back(w.name_at(k));
      if (w.t[k].kind == tok::quoted && !w.punct(k + 1, "(")) quoted_columns.push_back(w.ident_at(k));
      expect = false;
    }
  }
  auto table = table_name(db, table_written);
  if (!table) {
    // SQLite would take a name that differs in case only.
    if (table_name(db, table_written.name)) fail(942);
    return;  // SQLite reports it
  }
  std::vector<std::string> stored = column_names(db, *table);
  for (const ident& c : quoted_columns) {
    bool alike = std::any_of(stored.begin(), stored.end(), [&](const std::string& s) { return equal_no_case(s, c.name); });
    if (alike) real_columns(db, *table, {c});
  }
  db.refresh_dictionary();
  if (!db.rows("SELECT 1 FROM temp.USER_INDEXES WHERE INDEX_NAME = ?1", {name}).empty()) fail(955);
  for (const auto& index : db.rows("SELECT name FROM pragma_index_list(?1, 'main')", {*table})) {
    std::vector<std::string> indexed;
    for (const auto& c : db.rows("SELECT name FROM pragma_index_info(?1, 'main') ORDER BY seqno", {*index[0]}))
      indexed.push_back(c[0].value_or(""));
    if (same_list(indexed, columns)) fail(1408);
  }
}

}  // namespace

bool run_modelled_ddl(database& db, const std::string& sql, bool parse_only) {
  words w(sql);
  if (w.is(0, "CREATE") && w.is(1, "SEQUENCE")) {
    create_sequence(db, w, parse_only);
    return true;
  }
  if (w.is(0, "DROP") && w.is(1, "SEQUENCE")) {
    drop_sequence(db, w, parse_only);
    return true;
  }
  bool replace = w.is(0, "CREATE") && w.is(1, "OR") && w.is(2, "REPLACE");
  std::size_t kind = replace ? 3 : 1;
  if (w.is(0, "CREATE") && w.is(kind, "TRIGGER")) {
    create_trigger(db, w, parse_only);
    return true;
  }
  if (w.is(0, "DROP") && w.is(1, "TRIGGER")) {
    drop_trigger(db, w, parse_only);
    return true;
  }
  if (w.is(0, "CREATE") && (w.is(kind, "VIEW") || w.is(kind, "FORCE") || w.is(kind, "NOFORCE"))) {
    create_view(db, w, replace, parse_only);
    return true;
  }
  if (w.is(0, "DROP") && w.is(1, "TABLE")) {
    drop_table(db, w, parse_only);
    return true;
  }
  if (w.is(0, "ALTER") && w.is(1, "TABLE")) {
    bool handled = false;
    alter_table(db, w, parse_only, handled);
    return handled;
  }
  if (w.is(0, "CREATE") && (w.is(1, "INDEX") || ((w.is(1, "UNIQUE") || w.is(1, "BITMAP")) && w.is(2, "INDEX"))))
    check_index(db, w);
  return false;
}

}  // namespace ocilite

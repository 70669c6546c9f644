#include "ocilite/ol_database.h"

#include "ocilite/ol_builtin_functions.h"
#include "ocilite/ol_decimal.h"
#include "ocilite/ol_dictionary.h"
#include "ocilite/ol_error.h"
#include "ocilite/ol_query_functions.h"
#include "ocilite/ol_text.h"
#include "ocilite/ol_types.h"
#include "ocilite/ol_values.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <vector>

namespace ocilite {

namespace {

bool is_file(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// "<name>.db" in a folder, with the name's case as given first.
std::string find_in_folder(const std::string& folder, const std::string& name) {
  std::string exact = folder + "/" + name + ".db";
  if (is_file(exact)) return exact;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return std::string();
  std::string found;
  std::string wanted = name + ".db";
  while (dirent* e = readdir(dir)) {
    std::string entry = e->d_name;
    if (equal_no_case(entry, wanted) && is_file(folder + "/" + entry)) {
      found = folder + "/" + entry;
      break;
    }
  }
  closedir(dir);
  return found;
}

// The service of an Easy Connect string, or the text itself.
std::string service_name(const std::string& text) {
  std::string s = text;
  if (s.rfind("//", 0) == 0) s = s.substr(2);
  std::size_t slash = s.find('/');
  if (slash == std::string::npos) return text;
  s = s.substr(slash + 1);
  std::size_t colon = s.find(':');
  if (colon != std::string::npos) s = s.substr(0, colon);
  return s;
}

void no_op_free(void*) {}

void empty_clob(sqlite3_context* ctx, int, sqlite3_value**) {
  sqlite3_result_text(ctx, "", 0, no_op_free);
}

void empty_blob(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_zeroblob(ctx, 0); }


std::string text_arg(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(sqlite3_value_bytes(v)))
           : std::string();
}

bool alnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// TO_DATE(text[, format]) as the text ocilite stores dates in. The format
// elements YYYY, MM, DD, HH24, HH, MI and SS are read; any other format
// character matches one separator of the text, as the server's lenient
// matching does. Fields the format lacks are the server's defaults: the
// current year and month, day 1, midnight.
void to_date(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  std::string text = text_arg(argv[0]);
  std::optional<datetime> t;
  if (argc < 2 || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    t = parse_datetime(text);
  } else {
    std::string format = to_upper_ascii(text_arg(argv[1]));
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    datetime d;
    d.year = local.tm_year + 1900;
    d.month = local.tm_mon + 1;
    std::size_t i = 0, f = 0;
    bool ok = true;
    auto number = [&](std::size_t width, int& out) {
      std::size_t start = i;
      out = 0;
      while (i < text.size() && i - start < width && text[i] >= '0' && text[i] <= '9') out = out * 10 + (text[i++] - '0');
      if (i == start) ok = false;
    };
    while (ok && f < format.size()) {
      if (format.compare(f, 4, "YYYY") == 0) number(4, d.year), f += 4;
      else if (format.compare(f, 4, "HH24") == 0) number(2, d.hour), f += 4;
      else if (format.compare(f, 2, "MM") == 0) number(2, d.month), f += 2;
      else if (format.compare(f, 2, "DD") == 0) number(2, d.day), f += 2;
      else if (format.compare(f, 2, "HH") == 0) number(2, d.hour), f += 2;
      else if (format.compare(f, 2, "MI") == 0) number(2, d.minute), f += 2;
      else if (format.compare(f, 2, "SS") == 0) number(2, d.second), f += 2;
      else if (alnum(format[f])) ok = false;
      else {
        if (i < text.size() && !alnum(text[i])) ++i;
        ++f;
      }
    }
    while (i < text.size() && text[i] == ' ') ++i;
    if (ok && i < text.size()) {
      result_error(ctx, 1830);
      return;
    }
    if (ok) t = parse_datetime(datetime_text(d, false, false));
  }
  if (!t) {
    result_error(ctx, 1861);
    return;
  }
  std::string out = datetime_text(*t, false, false);
  sqlite3_result_text(ctx, out.c_str(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

void next_value_function(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* db = static_cast<database*>(sqlite3_user_data(ctx));
  try {
    sqlite3_result_int64(ctx, db->next_value(text_arg(argv[0])));
  } catch (const ora_failure& f) {
    result_error(ctx, f.error.code, text_arg(argv[0]));
  }
}

void current_value_function(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* db = static_cast<database*>(sqlite3_user_data(ctx));
  try {
    sqlite3_result_int64(ctx, db->current_value(text_arg(argv[0])));
  } catch (const ora_failure& f) {
    result_error(ctx, f.error.code, text_arg(argv[0]));
  }
}

// OL_FIT(value, longest, unit, column): the value, when it fits its column;
// else ORA-12899. Units as col_type counts them.
void fit_function(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_value* v = argv[0];
  int type = sqlite3_value_type(v);
  if (type != SQLITE_NULL) {
    std::size_t length = 0;
    if (type == SQLITE_BLOB) {
      length = static_cast<std::size_t>(sqlite3_value_bytes(v));
    } else {
      std::string text = text_arg(v);
      std::string unit = text_arg(argv[2]);
      if (unit == "C") {
        length = char_count(text);
      } else if (unit == "U") {
        length = utf8_to_utf16(text).size();
      } else {
        length = text.size();
      }
    }
    auto longest = static_cast<std::size_t>(sqlite3_value_int64(argv[1]));
    if (length > longest) {
      result_error(ctx, 12899,
                     text_arg(argv[3]) + " (actual: " + std::to_string(length) + ", maximum: " +
                         std::to_string(longest) + ")");
      return;
    }
  }
  sqlite3_result_value(ctx, v);
}

// One step of the statements' + - * /, in decimal as on the server; NULL
// when either side is NULL. An infinite BINARY_DOUBLE takes IEEE
// arithmetic, whose NaN SQLite would hold as NULL.
cell arithmetic_step(char op, const cell& a, const cell& b) {
  if (a.type == SQLITE_NULL || b.type == SQLITE_NULL) return cell{};
  auto infinite = [](const cell& c) { return c.type == SQLITE_FLOAT && !std::isfinite(c.d); };
  if (infinite(a) || infinite(b)) {
    auto real = [](const cell& c) { return c.type == SQLITE_FLOAT ? c.d : decimal_to_double(decimal_of(c)); };
    double x = real(a), y = real(b);
    double r = op == '+' ? x + y : op == '-' ? x - y : op == '*' ? x * y : x / y;
    return std::isnan(r) ? cell{} : cell::real(r);
  }
  decimal x = decimal_of(a), y = decimal_of(b);
  return number_result(op == '+'   ? decimal_add(x, y)
                       : op == '-' ? decimal_subtract(x, y)
                       : op == '*' ? decimal_multiply(x, y)
                                   : decimal_divide(x, y));
}

// OL_CALC(ops, x0, x1, ...): x0 ops[0] x1 ops[1] x2 ..., left to right, as
// the translation writes a chain of + and - or of * and /.
void calculate_function(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const unsigned char* ops = sqlite3_value_text(argv[0]);
  if (argc < 2 || !ops || sqlite3_value_bytes(argv[0]) != argc - 2) {
    sqlite3_result_error(ctx, "OL_CALC: one operator between each two operands", -1);
    return;
  }
  try {
    cell value = cell::from_value(argv[1]);
    for (int k = 2; k < argc && value.type != SQLITE_NULL; ++k)
      value = arithmetic_step(static_cast<char>(ops[k - 2]), value, cell::from_value(argv[k]));
    value.result_to(ctx);
  } catch (const ora_failure& f) {
    result_error(ctx, f.error.code);
  }
}

// OL_NUM(x): a result of the functions above where SQLite compares,
// sorts or sums it: a number BLOB becomes the nearest REAL.
void number_function(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) != SQLITE_BLOB) {
    sqlite3_result_value(ctx, argv[0]);
    return;
  }
  try {
    sqlite3_result_double(ctx, decimal_to_double(decimal_of(cell::from_value(argv[0]))));
  } catch (const ora_failure& f) {
    result_error(ctx, f.error.code);
  }
}

// The version of each schema file (main, temp): what a cache of names was
// made for.
std::pair<int, int> schema_versions(sqlite3* db) {
  int out[2] = {0, 0};
  const char* const pragmas[2] = {"PRAGMA main.schema_version", "PRAGMA temp.schema_version"};
  for (int k = 0; k < 2; ++k) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, pragmas[k], -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
      out[k] = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
  }
  return {out[0], out[1]};
}

class file_schema : public schema_lookup {
 public:
  explicit file_schema(database& db) : db_(db) {}
  std::vector<column_info> columns(const std::string& table) override {
    std::vector<column_info> out;
    for (const auto& row : db_.rows("SELECT name, type FROM pragma_table_info(?1, 'main')", {table})) {
      col_type t = parse_declared_type(row[1].value_or(""));
      out.push_back({row[0].value_or(""), t.kind, t.max_length, t.length_unit});
    }
    return out;
  }
  const known_names& names() override {
    auto versions = schema_versions(db_.handle());
    if (names_made_ && versions == versions_) return names_;
    names_ = known_names();
    for (const char* file : {"main", "temp"}) {
      std::string schema = file;
      for (const auto& table : db_.rows("SELECT name FROM " + schema + ".sqlite_schema WHERE type IN ('table', 'view')")) {
        std::string name = table[0].value_or("");
        names_.tables[to_upper_ascii(name)].push_back(name);
        // A view whose tables are gone has no columns to read; as on the
        // server, only a statement that uses it fails.
        std::vector<std::vector<std::optional<std::string>>> columns;
        try {
          columns = db_.rows("SELECT name FROM pragma_table_info(?1, ?2)", {name, schema});
        } catch (const ora_failure&) {
          continue;
        }
        for (const auto& column : columns) {
          std::string c = column[0].value_or("");
          names_.columns[to_upper_ascii(c)].push_back(c);
        }
      }
    }
    versions_ = versions;
    names_made_ = true;
    return names_;
  }
  const schema_object* object(const std::string& name, bool exact) override {
    auto versions = schema_versions(db_.handle());
    if (!objects_made_ || versions != object_versions_) {
      objects_.clear();
      for (const char* file : {"temp", "main"}) {
        std::string schema = file;
        for (const auto& row : db_.rows("SELECT name, type, coalesce(sql, '') FROM " + schema +
                                        ".sqlite_schema WHERE type IN ('table', 'view')")) {
          schema_object o;
          o.name = row[0].value_or("");
          // The dictionary's views are read as tables.
          o.view = row[1].value_or("") == "view" && schema == "main";
          if (o.view) o.query = written_view_text(db_.handle(), o.name, row[2].value_or(""));
          try {
            for (const auto& c : db_.rows("SELECT name, type, \"notnull\" OR pk > 0 FROM pragma_table_info(?1, ?2)",
                                          {o.name, schema}))
              o.columns.push_back({c[0].value_or(""), c[1].value_or(""), c[2].value_or("0") != "0"});
          } catch (const ora_failure&) {
            // A view whose tables are gone: only a query that reads it fails.
          }
          objects_[to_upper_ascii(o.name)].push_back(std::move(o));
        }
      }
      object_versions_ = versions;
      objects_made_ = true;
    }
    auto it = objects_.find(to_upper_ascii(name));
    if (it == objects_.end()) return nullptr;
    for (const schema_object& o : it->second)
      if (o.name == name) return &o;
    return exact ? nullptr : &it->second.front();
  }
  std::vector<sequence_fill> fills(const std::string& table) override {
    std::vector<sequence_fill> out;
    if (!db_.has_table("OCILITE_TRIGGERS")) return out;
    for (const auto& row : db_.rows("SELECT FILL_COLUMN, SEQUENCE_NAME, ONLY_WHEN_NULL FROM main.OCILITE_TRIGGERS "
                                    "WHERE TABLE_NAME = ?1 COLLATE NOCASE AND STATUS = 'ENABLED'",
                                    {table}))
      out.push_back({row[0].value_or(""), row[1].value_or(""), row[2].value_or("1") != "0"});
    return out;
  }

 private:
  database& db_;
  known_names names_;
  std::pair<int, int> versions_;
  bool names_made_ = false;
  std::map<std::string, std::vector<schema_object>> objects_;
  std::pair<int, int> object_versions_;
  bool objects_made_ = false;
};

}  // namespace

std::string bundled_demo_folder() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&bundled_demo_folder), &info) == 0 || !info.dli_fname)
    return std::string();
  std::string lib = info.dli_fname;
  std::size_t slash = lib.rfind('/');
  std::string folder = slash == std::string::npos ? std::string(".") : lib.substr(0, slash);
  return folder + "/../share/ocilite";
}

std::string resolve_connect_string(const std::string& text) {
  if (is_file(text)) return text;
  std::string name = service_name(text);
  if (name.empty() || name.find('/') != std::string::npos) fail(12154);
  std::vector<std::string> folders;
  if (const char* path = std::getenv("OCILITE_PATH")) {
    std::string list = path;
    std::size_t start = 0;
    for (;;) {
      std::size_t colon = list.find(':', start);
      std::string folder = list.substr(start, colon - start);
      if (!folder.empty()) folders.push_back(folder);
      if (colon == std::string::npos) break;
      start = colon + 1;
    }
  }
  std::string demo = bundled_demo_folder();
  if (!demo.empty()) folders.push_back(demo);
  for (const std::string& folder : folders) {
    std::string found = find_in_folder(folder, name);
    if (!found.empty()) return found;
  }
  fail(12154);
}

std::shared_ptr<database> database::open(const std::string& path) {
  std::shared_ptr<database> d(new database);
  d->path_ = path;
  int rc = sqlite3_open_v2(path.c_str(), &d->db_, SQLITE_OPEN_READWRITE, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(d->db_);
    d->db_ = nullptr;
    rc = sqlite3_open_v2(path.c_str(), &d->db_, SQLITE_OPEN_READONLY, nullptr);
  }
  std::string why;
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(d->db_, 5000);
    // "X" names a column, never a text, as on the server.
    sqlite3_db_config(d->db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(d->db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_extended_result_codes(d->db_, 1);
    rc = sqlite3_exec(d->db_, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
  }
  if (rc != SQLITE_OK) {
    why = d->db_ ? sqlite3_errmsg(d->db_) : sqlite3_errstr(rc);
    sqlite3_close(d->db_);
    d->db_ = nullptr;
    ora_error e = make_error(1034);
    e.text += "ocilite: " + path + ": " + why + "\n";
    throw ora_failure{e};
  }
  sqlite3_exec(d->db_, "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
  register_query_functions(d->db_);
  register_builtin_functions(d->db_);
  sqlite3_create_function(d->db_, "EMPTY_CLOB", 0, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          empty_clob, nullptr, nullptr);
  sqlite3_create_function(d->db_, "EMPTY_BLOB", 0, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          empty_blob, nullptr, nullptr);
  sqlite3_create_function(d->db_, "TO_DATE", 1, SQLITE_UTF8, nullptr, to_date, nullptr, nullptr);
  sqlite3_create_function(d->db_, "TO_DATE", 2, SQLITE_UTF8, nullptr, to_date, nullptr, nullptr);
  sqlite3_create_function(d->db_, "OL_FIT", 4, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, fit_function, nullptr,
                          nullptr);
  const int pure = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_function(d->db_, "OL_CALC", -1, pure, nullptr, calculate_function, nullptr, nullptr);
  sqlite3_create_function(d->db_, "OL_NUM", 1, pure, nullptr, number_function, nullptr, nullptr);
  sqlite3_create_function(d->db_, "OL_NEXTVAL", 1, SQLITE_UTF8, d.get(), next_value_function, nullptr, nullptr);
  sqlite3_create_function(d->db_, "OL_CURRVAL", 1, SQLITE_UTF8, d.get(), current_value_function, nullptr,
                          nullptr);
  d->schema_ = std::make_unique<file_schema>(*d);
  return d;
}

database::~database() { close(false); }

void database::close(bool commit_work) {
  if (!db_) return;
  if (!sqlite3_get_autocommit(db_))
    sqlite3_exec(db_, commit_work ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db_);
  db_ = nullptr;
}

void database::exec(const std::string& sql) {
  if (!db_) fail(3114);
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) throw ora_failure{map_sqlite_error(db_, rc, "")};
}

std::vector<std::vector<std::optional<std::string>>> database::rows(const std::string& sql,
                                                                   const std::vector<std::string>& args) {
  if (!db_) fail(3114);
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr);
  if (rc != SQLITE_OK) {
    ora_error e = map_sqlite_error(db_, rc, "");
    sqlite3_finalize(st);
    throw ora_failure{e};
  }
  for (std::size_t k = 0; k < args.size(); ++k)
    sqlite3_bind_text(st, static_cast<int>(k + 1), args[k].c_str(), static_cast<int>(args[k].size()),
                      SQLITE_TRANSIENT);
  std::vector<std::vector<std::optional<std::string>>> out;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    std::vector<std::optional<std::string>> row;
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
      const unsigned char* t = sqlite3_column_text(st, c);
      if (t)
        row.emplace_back(std::string(reinterpret_cast<const char*>(t),
                                     static_cast<std::size_t>(sqlite3_column_bytes(st, c))));
      else
        row.emplace_back(std::nullopt);
    }
    out.push_back(std::move(row));
  }
  ora_error e;
  if (rc != SQLITE_DONE) e = map_sqlite_error(db_, rc, "");
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) throw ora_failure{e};
  return out;
}

bool database::has_table(const std::string& name) {
  return !rows("SELECT 1 FROM main.sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE", {name})
              .empty();
}

schema_lookup& database::schema() { return *schema_; }

std::int64_t database::next_value(const std::string& sequence) {
  if (!has_table("OCILITE_SEQUENCES")) fail(2289);
  auto found = rows("SELECT LAST_NUMBER, INCREMENT_BY, MIN_VALUE, MAX_VALUE, CYCLE_FLAG FROM "
                    "main.OCILITE_SEQUENCES WHERE SEQUENCE_NAME = ?1",
                    {sequence});
  if (found.empty()) fail(2289);
  const auto& row = found[0];
  std::int64_t value = std::stoll(row[0].value_or("0"));
  std::int64_t step = std::stoll(row[1].value_or("1"));
  double low = std::stod(row[2].value_or("1")), high = std::stod(row[3].value_or("1e28"));
  if ((step > 0 && static_cast<double>(value) > high) || (step < 0 && static_cast<double>(value) < low)) {
    if (row[4].value_or("N") != "Y") fail(8004, sequence);
    value = static_cast<std::int64_t>(step > 0 ? low : high);
  }
  exec("UPDATE main.OCILITE_SEQUENCES SET LAST_NUMBER = " + std::to_string(value + step) +
       " WHERE SEQUENCE_NAME = " + sql_string(sequence));
  current_[sequence] = value;
  return value;
}

std::int64_t database::current_value(const std::string& sequence) {
  auto it = current_.find(sequence);
  if (it == current_.end()) fail(8002, sequence);
  return it->second;
}

void database::login(const std::string& user, const std::string& password) {
  if (!db_) fail(3114);
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db_,
                              "SELECT name FROM sqlite_schema WHERE type='table' AND "
                              "upper(name)='OCILITE_USERS'",
                              -1, &st, nullptr);
  bool checked = rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW;
  sqlite3_finalize(st);
  std::string folded = to_upper_ascii(user);
  if (checked) {
    if (password.empty()) fail(1005);
    rc = sqlite3_prepare_v2(db_,
                            "SELECT PASSWORD FROM OCILITE_USERS WHERE upper(USERNAME)=?1",
                            -1, &st, nullptr);
    if (rc != SQLITE_OK) throw ora_failure{map_sqlite_error(db_, rc, "")};
    sqlite3_bind_text(st, 1, folded.c_str(), -1, SQLITE_TRANSIENT);
    bool ok = false;
    while (sqlite3_step(st) == SQLITE_ROW) {
      const unsigned char* stored = sqlite3_column_text(st, 0);
      if (stored && password == reinterpret_cast<const char*>(stored)) ok = true;
    }
    sqlite3_finalize(st);
    if (!ok) fail(1017);
  }
  user_ = folded;
  dictionary_made_ = false;
  schema_seen_ = -1;
  refresh_dictionary();
}

void database::refresh_dictionary() {
  if (!db_) fail(3114);
  sqlite3_stmt* st = nullptr;
  int version = 0;
  if (sqlite3_prepare_v2(db_, "PRAGMA main.schema_version", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW)
    version = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  if (dictionary_made_ && version == schema_seen_) return;
  build_dictionary(db_, user_, !dictionary_made_);
  dictionary_made_ = true;
  schema_seen_ = version;
}

void database::begin() {
  if (db_ && sqlite3_get_autocommit(db_)) exec("BEGIN");
}

void database::commit() {
  if (db_ && !sqlite3_get_autocommit(db_)) exec("COMMIT");
}

void database::rollback() {
  if (db_ && !sqlite3_get_autocommit(db_)) exec("ROLLBACK");
}

}  // namespace ocilite

#include "ocilite/ol_error.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ocilite {

namespace {

struct catalog_entry {
  sb4 code;
  const char* text;
};

// The server's message texts of the errors this library raises.
const catalog_entry catalog[] = {
    {1, "unique constraint (%s) violated"},
    {54, "resource busy and acquire with NOWAIT specified or timeout expired"},
    {600, "internal error code, arguments: [ocilite], [%s]"},
    {900, "invalid SQL statement"},
    {901, "invalid CREATE command"},
    {902, "invalid datatype"},
    {903, "invalid table name"},
    {904, "%s: invalid identifier"},
    {905, "missing keyword"},
    {906, "missing left parenthesis"},
    {907, "missing right parenthesis"},
    {908, "missing NULL keyword"},
    {909, "invalid number of arguments"},
    {911, "invalid character"},
    {913, "too many values"},
    {917, "missing comma"},
    {918, "column ambiguously defined"},
    {920, "invalid relational operator"},
    {921, "unexpected end of SQL command"},
    {923, "FROM keyword not found where expected"},
    {924, "missing BY keyword"},
    {928, "missing SELECT keyword"},
    {932, "inconsistent datatypes: expected %s"},
    {933, "SQL command not properly ended"},
    {934, "group function is not allowed here"},
    {935, "group function is nested too deeply"},
    {936, "missing expression"},
    {937, "not a single-group group function"},
    {938, "not enough arguments for function"},
    {939, "too many arguments for function"},
    {942, "table or view does not exist"},
    {947, "not enough values"},
    {955, "name is already used by an existing object"},
    {957, "duplicate column name"},
    {960, "ambiguous column naming in select list"},
    {972, "identifier is too long"},
    {975, "date + date not allowed"},
    {976, "Specified pseudocolumn or operator not allowed here."},
    {978, "nested group function without GROUP BY"},
    {979, "not a GROUP BY expression"},
    {997, "illegal use of LONG datatype"},
    {1002, "fetch out of sequence"},
    {1005, "null password given; logon denied"},
    {1007, "variable not in select list"},
    {1008, "not all variables bound"},
    {1012, "not logged on"},
    {1013, "user requested cancel of current operation"},
    {1017, "invalid username/password; logon denied"},
    {1027, "bind variables not allowed for data definition operations"},
    {1034, "ORACLE not available"},
    {1036, "illegal variable name/number"},
    {1086, "savepoint '%s' never established in this session or is invalid"},
    {1400, "cannot insert NULL into (%s)"},
    {1403, "no data found"},
    {1405, "fetched column value is NULL"},
    {1406, "fetched column value was truncated"},
    {1408, "such column list already indexed"},
    {1416, "two tables cannot be outer-joined to each other"},
    {1424, "missing or illegal character following the escape character"},
    {1425, "escape character must be character string of length 1"},
    {1427, "single-row subquery returns more than one row"},
    {1428, "argument '%s' is out of range"},
    {1436, "CONNECT BY loop in user data"},
    {1438, "value larger than specified precision allowed for this column"},
    {1442, "column to be modified to NOT NULL is already NOT NULL"},
    {1449, "column contains NULL values; cannot alter to NOT NULL"},
    {1451, "column to be modified to NULL cannot be modified to NULL"},
    {1455, "converting column overflows integer datatype"},
    {1426, "numeric overflow"},
    {1465, "invalid hex number"},
    {1468, "a predicate may reference only one outer-joined table"},
    {1476, "divisor is equal to zero"},
    {1480, "trailing null missing from STR bind value"},
    {1481, "invalid number format model"},
    {1489, "result of string concatenation is too long"},
    {1705, "an outer join cannot be specified on a correlation column"},
    {1719, "outer join operator (+) not allowed in operand of OR or IN"},
    {1722, "invalid number"},
    {1724, "floating point precision is out of range (1 to 126)"},
    {1727, "numeric precision specifier is out of range (1 to 38)"},
    {1728, "numeric scale specifier is out of range (-84 to 127)"},
    {1730, "invalid number of column names specified"},
    {1740, "missing double quote in identifier"},
    {1741, "illegal zero-length identifier"},
    {1756, "quoted string not properly terminated"},
    {1785, "ORDER BY item must be the number of a SELECT-list expression"},
    {1786, "FOR UPDATE of this query expression is not allowed"},
    {1788, "CONNECT BY clause required in this query block"},
    {1789, "query block has incorrect number of result columns"},
    {1790, "expression must have same datatype as corresponding expression"},
    {1791, "not a SELECTed expression"},
    {1792, "maximum number of columns in a table or view is 1000"},
    {1795, "maximum number of expressions in a list is 1000"},
    {1810, "format code appears twice"},
    {1812, "year may only be specified once"},
    {1813, "hour may only be specified once"},
    {1816, "month may only be specified once"},
    {1817, "day of week may only be specified once"},
    {1818, "'HH24' precludes use of meridian indicator"},
    {1820, "format code cannot appear in date input format"},
    {1821, "date format not recognized"},
    {1830, "date format picture ends before converting entire input string"},
    {1831, "year conflicts with Julian date"},
    {1832, "day of year conflicts with Julian date"},
    {1833, "month conflicts with Julian date"},
    {1834, "day of month conflicts with Julian date"},
    {1835, "day of week conflicts with Julian date"},
    {1836, "hour conflicts with seconds in day"},
    {1837, "minutes of hour conflicts with seconds in day"},
    {1838, "seconds of minute conflicts with seconds in day"},
    {1839, "date not valid for month specified"},
    {1840, "input value not long enough for date format"},
    {1841, "(full) year must be between -4713 and +9999, and not be 0"},
    {1843, "not a valid month"},
    {1846, "not a valid day of the week"},
    {1847, "day of month must be between 1 and last day of month"},
    {1848, "day of year must be between 1 and 365 (366 for leap year)"},
    {1849, "hour must be between 1 and 12"},
    {1850, "hour must be between 0 and 23"},
    {1851, "minutes must be between 0 and 59"},
    {1852, "seconds must be between 0 and 59"},
    {1853, "seconds in day must be between 0 and 86399"},
    {1854, "julian date must be between 1 and 5373484"},
    {1855, "AM/A.M. or PM/P.M. required"},
    {1856, "BC/B.C. or AD/A.D. required"},
    {1858, "a non-numeric character was found where a numeric was expected"},
    {1861, "literal does not match format string"},
    {1862, "the numeric value does not match the length of the format item"},
    {1867, "the interval is invalid"},
    {1873, "the leading precision of the interval is too small"},
    {1874, "time zone hour must be between -15 and 15"},
    {1875, "time zone minute must be between -59 and 59"},
    {1882, "timezone region not found"},
    {1891, "Datetime/Interval internal error"},
    {1899, "bad precision specifier"},
    {2256, "number of referencing columns must match referenced columns"},
    {2260, "table can have only one primary key"},
    {2261, "such unique or primary key already exists in the table"},
    {2264, "name already used by an existing constraint"},
    {2268, "referenced table does not have a primary key"},
    {2270, "no matching unique or primary key for this column-list"},
    {2287, "sequence number not allowed here"},
    {2289, "sequence does not exist"},
    {2291, "integrity constraint (%s) violated - parent key not found"},
    {2292, "integrity constraint (%s) violated - child record found"},
    {2296, "cannot enable (%s) - null values found"},
    {2298, "cannot validate (%s) - parent keys not found"},
    {2299, "cannot validate (%s) - duplicate keys found"},
    {2437, "cannot validate (%s) - primary key violated"},
    {3001, "unimplemented feature"},
    {3114, "not connected to ORACLE"},
    {4002, "INCREMENT must be a non-zero integer"},
    {4063, "view %s has errors"},
    {4079, "invalid trigger definition"},
    {4080, "trigger '%s' does not exist"},
    {4081, "trigger '%s' already exists"},
    {4095, "trigger '%s' already exists on another table, cannot replace it"},
    {4030, "out of process memory when trying to allocate %s bytes"},
    {8002, "sequence %s.CURRVAL is not yet defined in this session"},
    {8004, "sequence %s.NEXTVAL exceeds MAXVALUE and cannot be instantiated"},
    {12154, "TNS:could not resolve the connect identifier specified"},
    {12715, "invalid character set specified"},
    {12899, "value too large for column %s"},
    {16000, "database open for read-only access"},
    {22275, "invalid LOB locator specified"},
    {22920, "row containing the LOB value is not locked"},
    {24309, "already connected to a server"},
    {24313, "user already authenticated"},
    {24315, "illegal attribute type"},
    {24327, "need explicit attach before authenticating a user"},
    {24333, "zero iteration count"},
    {24334, "no descriptor for this position"},
    {24337, "statement handle not prepared"},
    {24338, "statement handle not executed"},
    {24345, "A Truncation or null fetch error occurred"},
    {24374, "define not done before fetch or execute and fetch"},
    {24391, "invalid fetch operation"},
    {24801, "illegal parameter value in OCI lob function"},
    {25137, "Data value out of range"},
    {25154, "column part of USING clause cannot have qualifier"},
    {30001, "trim set should have only one character"},
    {30076, "invalid extract field for extract source"},
    {30088, "datetime/interval precision is out of range"},
    {30089, "missing or invalid <datetime field>"},
    {30483, "window  functions are not allowed here"},
    {30563, "outer join operator (+) is not allowed here"},
    {32031, "illegal reference of a query name in WITH clause"},
    {32039, "recursive WITH clause must have column alias list"},
    {32040, "recursive WITH clause must use a UNION ALL operation"},
};

bool starts_with(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// The part of an SQLite message after its prefix, upper-cased and quoted as
// the server quotes identifiers.
std::string quoted_name(const std::string& message, const char* prefix) {
  std::string name = message.substr(std::strlen(prefix));
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  std::string out = "\"";
  for (char c : name) {
    if (c == '.') {
      out += "\".\"";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

bool is_command_word(const std::string& w) {
  static const char* const words[] = {"SELECT", "WITH",   "INSERT",   "UPDATE", "DELETE",
                                      "MERGE",  "CREATE", "ALTER",    "DROP",   "TRUNCATE",
                                      "COMMIT", "ROLLBACK", "COMMENT", "GRANT", "REVOKE",
                                      "RENAME", "LOCK",   "SAVEPOINT", "EXPLAIN", "BEGIN",
                                      "DECLARE", "CALL",  "SET",      "ANALYZE"};
  for (const char* word : words)
    if (w == word) return true;
  return false;
}

}  // namespace

ora_error make_error(sb4 code, const std::string& arg) {
  const char* text = "%s";
  for (const catalog_entry& e : catalog)
    if (e.code == code) text = e.text;
  std::string body = text;
  std::size_t at = body.find("%s");
  if (at != std::string::npos) body.replace(at, 2, arg);
  char head[16];
  std::snprintf(head, sizeof head, "ORA-%05d: ", static_cast<int>(code));
  return ora_error{code, head + body + "\n"};
}

void fail(sb4 code, const std::string& arg) { throw ora_failure{make_error(code, arg)}; }

void result_error(sqlite3_context* ctx, sb4 code, const std::string& arg) { result_error(ctx, make_error(code, arg)); }

void result_error(sqlite3_context* ctx, const ora_error& e) {
  std::string text = e.text;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  sqlite3_result_error(ctx, text.c_str(), -1);
}

ora_error map_sqlite_error(sqlite3* db, int rc, const std::string& first_word) {
  std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  // The library's own SQL functions fail with the server's error.
  if (message.size() > 10 && starts_with(message, "ORA-") && message[9] == ':') {
    int code = std::atoi(message.substr(4, 5).c_str());
    if (code > 0) return ora_error{code, message + "\n"};
  }
  int primary = rc & 0xFF;
  if (primary == SQLITE_NOMEM) return make_error(4030, "?");
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return make_error(54);
  if (primary == SQLITE_READONLY) return make_error(16000);
  if (primary == SQLITE_INTERRUPT) return make_error(1013);
  if (primary == SQLITE_CONSTRAINT) {
    if (starts_with(message, "UNIQUE constraint failed: ") ||
        starts_with(message, "PRIMARY KEY must be unique"))
      return make_error(1, message.substr(message.find(':') + 2));
    if (starts_with(message, "NOT NULL constraint failed: "))
      return make_error(1400, quoted_name(message, "NOT NULL constraint failed: "));
    if (starts_with(message, "FOREIGN KEY constraint failed")) return make_error(2291, "?");
    return make_error(600, message);
  }
  if (starts_with(message, "no such table: ")) return make_error(942);
  if (starts_with(message, "no such savepoint: ")) return make_error(1086, message.substr(19));
  if (starts_with(message, "no such column: "))
    return make_error(904, quoted_name(message, "no such column: "));
  if (starts_with(message, "no such function: "))
    return make_error(904, quoted_name(message, "no such function: "));
  if (starts_with(message, "ambiguous column name: ")) return make_error(918);
  if (starts_with(message, "wrong number of arguments to function ")) return make_error(909);
  if (message.find("do not have the same number of result columns") != std::string::npos)
    return make_error(1789);
  if (message.find("already exists") != std::string::npos) return make_error(955);
  if (message == "incomplete input") return make_error(921);
  // A statement deeper or longer than SQLite takes, which the server would
  // compute.
  static const char* const too_big[] = {"parser stack overflow", "Expression tree is too large",
                                        "too many terms in compound SELECT", "too many arguments on function",
                                        "too many columns", "at most 64 tables in a join"};
  for (const char* m : too_big)
    if (message.find(m) != std::string::npos) return make_error(3001);
  if (message.find("syntax error") != std::string::npos ||
      message.find("unrecognized token") != std::string::npos)
    return make_error(is_command_word(first_word) ? 933 : 900);
  return make_error(600, message);
}

}  // namespace ocilite

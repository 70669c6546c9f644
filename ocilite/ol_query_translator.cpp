#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "ocilite/ol_builtin_functions.h"
#include "ocilite/ol_date_math.h"
#include "ocilite/ol_decimal.h"
#include "ocilite/ol_error.h"
#include "ocilite/ol_keys.h"
#include "ocilite/ol_query.h"
#include "ocilite/ol_query_tree.h"
#include "ocilite/ol_text.h"
#include "ocilite/ol_values.h"

namespace ocilite {

namespace {

using namespace query;

// ------------------------------------------------------------------ types

family family_of(const col_type& c) {
  switch (c.kind) {
    case col_kind::number:
    case col_kind::binary_float:
    case col_kind::binary_double:
      return family::number;
    case col_kind::varchar:
      if (c.code == SQLT_LNG) return family::long_text;
      if (c.code == SQLT_INTERVAL_DS || c.code == SQLT_INTERVAL_YM) return family::interval;
      if (c.code == SQLT_RDD) return family::rowid;
      if (c.code == SQLT_NTY) return family::other;
      return family::text;
    case col_kind::fixed_char:
      return family::text;
    case col_kind::date:
    case col_kind::timestamp:
    case col_kind::timestamp_tz:
    case col_kind::timestamp_ltz:
      return family::date;
    case col_kind::raw:
      return c.code == SQLT_LBI ? family::other : family::raw;
    case col_kind::clob:
      return family::lob_text;
    case col_kind::blob:
      return family::lob_raw;
    case col_kind::rowid:
      return family::rowid;
    default:
      return family::other;
  }
}

value_type of_desc(const col_type& c) {
  value_type v;
  v.desc = c;
  v.fam = family_of(c);
  v.fixed = c.kind == col_kind::fixed_char;
  v.chars = c.char_length;
  return v;
}

value_type declared(const std::string& text) {
  col_type c = parse_declared_type(text);
  if (c.kind == col_kind::by_value) {
    // No Oracle type: each value is converted as it is.
    c = text_expression_type(4000);
    c.kind = col_kind::by_value;
    value_type v;
    v.desc = c;
    v.fam = family::other;
    v.plain_column = true;
    return v;
  }
  value_type v = of_desc(c);
  v.plain_column = true;
  return v;
}

value_type number_type() { return of_desc(number_expression_type()); }
value_type boolean_type() {
  value_type v;
  v.fam = family::boolean;
  return v;
}
value_type null_type() {
  value_type v = of_desc(text_expression_type(0));
  v.fam = family::null;
  return v;
}
ub4 text_limit(ub4 bytes) { return std::min<ub4>(std::max<ub4>(bytes, 1), 4000); }
value_type text_type(ub4 bytes) { return of_desc(text_expression_type(text_limit(bytes))); }
value_type clob_type() { return of_desc(parse_declared_type("CLOB")); }
value_type date_type() { return of_desc(parse_declared_type("DATE")); }
value_type char_literal_type(const std::string& text) {
  std::size_t chars = char_count(text);
  col_type c = parse_declared_type("CHAR(" + std::to_string(std::max<std::size_t>(chars, 1)) + " CHAR)");
  c.data_size = static_cast<ub2>(std::max<std::size_t>(text.size(), 1));
  c.dict_length = c.data_size;
  c.max_length = 0;
  return of_desc(c);
}

const char* family_name(const value_type& v) {
  switch (v.fam) {
    case family::number:
      return "NUMBER";
    case family::text:
      return v.fixed ? "CHAR" : "CHAR";
    case family::date:
      return v.desc.kind == col_kind::date ? "DATE" : "TIMESTAMP";
    case family::raw:
      return "BINARY";
    case family::lob_text:
      return "CLOB";
    case family::lob_raw:
      return "BLOB";
    case family::rowid:
      return "ROWID";
    case family::interval:
      return "INTERVAL";
    case family::long_text:
      return "LONG";
    default:
      return "-";
  }
}

[[noreturn]] void inconsistent(const char* expected, const value_type& got) {
  fail(932, std::string(expected) + " got " + family_name(got));
}

bool is_lob(const value_type& v) {
  return v.fam == family::lob_text || v.fam == family::lob_raw || v.fam == family::long_text;
}
bool text_like(const value_type& v) { return v.fam == family::text || v.fam == family::lob_text; }
bool is_number(const value_type& v) { return v.fam == family::number; }
bool is_null(const value_type& v) { return v.fam == family::null; }

// The longest text a value of the type has once converted, in bytes.
ub4 text_bytes(const value_type& v) {
  switch (v.fam) {
    case family::number:
      return 40;
    case family::date:
      return 75;
    case family::raw:
      return std::min<ub4>(v.desc.data_size * 2u, 4000u);
    case family::null:
      return 0;
    default:
      return v.desc.data_size ? v.desc.data_size : 4000;
  }
}

// ------------------------------------------------------------ the scopes

struct using_group {
  std::string name;
  std::vector<std::pair<source*, int>> members;
  join_spec::kind_t kind = join_spec::inner;
};

struct scope {
  scope* parent = nullptr;
  block* b = nullptr;
  std::vector<source*> leaves;
  std::vector<using_group> usings;
  bool hierarchical = false;
  std::string level_sql;
  bool grouped = false;
  bool nested_aggregates = false;
};

struct with_entry {
  std::string name;
  bool quoted = false;
  std::string sql_name;
  std::vector<source_column> columns;
  bool recursive = false;  // a reference to it is read inside it
  bool defining = false;
};

// What a translated query offers its reader: a statement whose columns are
// named "_1", "_2", ...
struct part {
  std::string sql;
  std::vector<source_column> columns;
  bool compound_ok = true;  // a plain SELECT: a member of UNION as it is
};

struct flags {
  bool aggregates = false;  // a group function may stand here
  int aggregate_depth = 0;  // group functions around this expression
  bool windows = false;
  bool prior = false;  // CONNECT BY: PRIOR may stand here
  bool rownum = true;
  const char* clause = "";
};

std::string column_name(std::size_t k) { return "\"_" + std::to_string(k + 1) + "\""; }

// The text of an Oracle name as the server shows it in ORA-00904.
std::string shown_name(const expr& e) {
  std::string out;
  for (std::size_t k = 0; k < e.path.size(); ++k) {
    if (k) out += ".";
    out += "\"" + e.path[k] + "\"";
  }
  return out;
}

bool name_matches(const std::string& stored, const std::string& written, bool quoted) {
  return quoted ? stored == written : equal_no_case(stored, written);
}

// Group functions and the number of arguments each takes.
struct aggregate_row {
  const char* name;
  int min_args, max_args;
};
const aggregate_row k_aggregates[] = {{"COUNT", 1, 1}, {"SUM", 1, 1}, {"AVG", 1, 1}, {"MIN", 1, 1}, {"MAX", 1, 1}};

const aggregate_row* aggregate_of(const std::string& name) {
  for (const aggregate_row& a : k_aggregates)
    if (name == a.name) return &a;
  return nullptr;
}

bool is_ranking(const std::string& name) { return name == "ROW_NUMBER" || name == "RANK" || name == "DENSE_RANK"; }

// One statement's translation: the tree resolved, typed and written.
class translator {
 public:
  translator(const std::vector<token>& all, schema_lookup& schema, const std::string& user)
      : schema_(schema), user_(user) {
    for (const token& k : all)
      if (k.kind != tok::space && k.kind != tok::comment) t_.push_back(k);
    for (std::size_t k = 0; k < t_.size(); ++k)
      if (t_[k].kind == tok::param) {
        params_[k] = static_cast<int>(placeholders_.size()) + 1;
        placeholders_.push_back(t_[k].value);
      }
  }

  query_translation run(const std::vector<token>& all) {
    query_ptr q = parse_query(all);
    query_translation out;
    out.placeholders = placeholders_;
    out.for_update = q->for_update;
    out.sql = outermost(*q, out.columns);
    return out;
  }

 private:
  schema_lookup& schema_;
  std::string user_;
  // SYSDATE and SYSTIMESTAMP: one instant for the whole statement.
  std::chrono::system_clock::time_point now_ = std::chrono::system_clock::now();
  std::string current_level_;
  std::vector<token> t_;
  std::map<std::size_t, int> params_;
  std::vector<std::string> placeholders_;
  std::vector<std::unique_ptr<with_entry>> withs_;
  std::vector<with_entry*> visible_;
  int aliases_ = 0;
  std::map<const source*, std::string> alias_override_;
  const source* prior_source_ = nullptr;
  std::string prior_alias_;
  bool in_prior_ = false;
  int view_depth_ = 0;

  std::string fresh(const char* prefix) { return "\"" + std::string(prefix) + std::to_string(++aliases_) + "\""; }

  // ================================================================ queries

  // The statement the client runs: its select list in stored forms.
  std::string outermost(query_expr& q, std::vector<result_column>& columns) {
    std::vector<source_column> cols;
    std::string sql;
    if (q.kind == query_expr::simple && !q.left) {
      std::string with = with_clause(q, nullptr);
      sql = with + block_sql(*q.body, nullptr, &q, true, cols);
    } else {
      if (q.for_update) fail(1786);
      part p = translate(q, nullptr, false, true);
      cols = p.columns;
      std::string list;
      for (std::size_t k = 0; k < cols.size(); ++k)
        list += (k ? ", " : "") + stored_of(cols[k], "\"_q\"." + column_name(k));
      sql = "SELECT " + list + " FROM (" + p.sql + ") AS \"_q\"" + order_by_columns(q, cols) + limit_of(q);
    }
    for (const source_column& c : cols) columns.push_back({c.name, c.type.desc});
    return sql;
  }

  // A column of canonical values in its stored form.
  static std::string stored_of(const source_column& c, const std::string& sql) {
    if (c.stored) return sql;
    if (is_number(c.type)) return "OL_NV(" + sql + ")";
    if (c.type.fam == family::interval) {
      const col_type& d = c.type.desc;
      return "OL_IVTEXT(" + sql + ", " + (d.code == SQLT_INTERVAL_YM ? "1" : "0") + ", " + std::to_string(d.precision) +
             ", " + std::to_string(std::max<int>(d.scale, 0)) + ")";
    }
    return sql;
  }

  // WITH queries: visible from here on, written before the statement.
  std::string with_clause(query_expr& q, scope* outer) {
    if (q.with.empty()) return "";
    std::string out;
    bool recursive = false;
    for (with_query& w : q.with) {
      auto owned = std::make_unique<with_entry>();
      with_entry* e = owned.get();
      withs_.push_back(std::move(owned));
      e->name = w.name;
      e->quoted = w.quoted;
      e->sql_name = fresh("_w");
      // A recursive query is typed by its first branch, which cannot read
      // it.
      if (w.q->kind == query_expr::union_all && w.q->right && references(*w.q->right, w)) {
        if (w.columns.empty()) fail(32039);
        part first = translate(*w.q->left, outer, false, false);
        if (first.columns.size() != w.columns.size()) fail(1789);
        e->columns = first.columns;
        for (std::size_t k = 0; k < w.columns.size(); ++k) e->columns[k].name = w.columns[k];
        e->recursive = true;
        recursive = true;
      }
      e->defining = true;
      visible_.push_back(e);
      part p = translate(*w.q, outer, false, false);
      e->defining = false;
      if (!w.columns.empty() && w.columns.size() != p.columns.size()) fail(1789);
      if (!e->recursive) e->columns = p.columns;
      for (std::size_t k = 0; k < e->columns.size(); ++k) {
        if (!w.columns.empty()) e->columns[k].name = w.columns[k];
        e->columns[k].stored = p.columns[k].stored;
      }
      std::string names;
      for (std::size_t k = 0; k < e->columns.size(); ++k) names += (k ? ", " : "") + column_name(k);
      out += (out.empty() ? "" : ", ") + e->sql_name + "(" + names + ") AS (" + p.sql + ")";
    }
    return std::string(recursive ? "WITH RECURSIVE " : "WITH ") + out + " ";
  }

  // Does the query name the WITH query `w`?
  bool references(const query_expr& q, const with_query& w) const {
    for (std::size_t k = q.first; k < t_.size(); ++k) {
      const token& x = t_[k];
      if ((x.kind == tok::word || x.kind == tok::quoted) &&
          name_matches(w.name, x.value, w.quoted || x.kind == tok::quoted))
        return true;
    }
    return false;
  }

  // A query expression in canonical forms, its columns "_1", "_2", ...;
  // `stored_ok` lets a projected column pass as it is stored; with
  // `no_order` its ORDER BY, OFFSET and FETCH are left to the caller.
  part translate(query_expr& q, scope* outer, bool stored_ok, bool no_order) {
    std::size_t visible = visible_.size();
    std::string with = with_clause(q, outer);
    part p;
    if (q.kind == query_expr::simple && !q.left) {
      p.sql = block_sql(*q.body, outer, no_order ? nullptr : &q, false, p.columns, stored_ok && !q.body->distinct);
      p.compound_ok = with.empty() && (no_order || (q.order.empty() && !q.fetch && !q.offset));
    } else {
      if (q.kind == query_expr::simple) {
        p = translate(*q.left, outer, stored_ok, false);
      } else {
        set_operation(q, outer, p);
      }
      std::string tail = no_order ? "" : order_by_columns(q, p.columns) + limit_of(q);
      if (!tail.empty()) {
        p.sql = "SELECT * FROM (" + p.sql + ")" + tail;
        p.compound_ok = false;
      }
      if (!with.empty()) p.compound_ok = false;
    }
    visible_.resize(visible);
    p.sql = with + p.sql;
    return p;
  }

  // UNION [ALL], INTERSECT, MINUS: both sides in canonical forms, of one
  // type column by column (ORA-01790).
  void set_operation(query_expr& q, scope* outer, part& p) {
    part left = translate(*q.left, outer, false, false);
    part right = translate(*q.right, outer, false, false);
    if (left.columns.size() != right.columns.size()) fail(1789);
    for (std::size_t k = 0; k < left.columns.size(); ++k) {
      source_column& l = left.columns[k];
      const source_column& r = right.columns[k];
      if (is_lob(l.type) || is_lob(r.type) || l.type.fam == family::long_text || r.type.fam == family::long_text) {
        if (q.kind != query_expr::union_all) inconsistent("-", is_lob(l.type) ? l.type : r.type);
      }
      if (q.kind != query_expr::union_all) {
        refuse_zoned(l.type);
        refuse_zoned(r.type);
      }
      if (is_null(l.type)) {
        l.type = r.type;
      } else if (!is_null(r.type)) {
        if (l.type.fam != r.type.fam && !(text_like(l.type) && text_like(r.type))) fail(1790);
        if (!same_type(l.type, r.type)) {
          if (l.type.fam == family::number)
            l.type = number_type();
          else if (l.type.fam == family::text)
            l.type = text_type(std::max(text_bytes(l.type), text_bytes(r.type)));
          else if (r.type.fam == family::lob_text)
            l.type = clob_type();
          else if (l.type.fam == family::date)
            l.type = of_desc(parse_declared_type("TIMESTAMP(9)"));
        }
      }
      l.stored = false;
      l.table.clear();
      l.column.clear();
    }
    const char* op = q.kind == query_expr::union_      ? " UNION "
                     : q.kind == query_expr::union_all ? " UNION ALL "
                     : q.kind == query_expr::intersect ? " INTERSECT "
                                                       : " EXCEPT ";
    auto member = [](const part& x) { return x.compound_ok ? x.sql : "SELECT * FROM (" + x.sql + ")"; };
    p.columns = left.columns;
    p.sql = member(left) + op + member(right);
    p.compound_ok = true;
  }

  static bool same_type(const value_type& a, const value_type& b) {
    return a.desc.kind == b.desc.kind && a.desc.code == b.desc.code && a.desc.precision == b.desc.precision &&
           a.desc.scale == b.desc.scale && a.desc.data_size == b.desc.data_size && a.fixed == b.fixed;
  }

  // ORDER BY over a query's columns: positions, aliases or expressions
  // written as a column of the first block.
  std::string order_by_columns(query_expr& q, const std::vector<source_column>& cols) {
    std::string out;
    for (order_key& k : q.order) {
      std::size_t position = position_of(q, *k.e, cols);
      const source_column& c = cols[position];
      if (is_lob(c.type)) inconsistent("-", c.type);
      if (c.type.fam == family::interval) fail(3001);
      std::string sql = column_name(position);
      if (c.stored) sql = key_of_stored(c.type, sql);
      out += (out.empty() ? " ORDER BY " : ", ") + order_term(instant_if_zoned(sql, c.type), k.desc, k.nulls);
    }
    return out;
  }

  std::size_t position_of(query_expr& q, const expr& e, const std::vector<source_column>& cols) {
    bool compound = q.kind != query_expr::simple;
    if (e.kind == ek::number) {
      auto d = parse_decimal(e.text);
      std::int64_t n = 0;
      if (!d || !decimal_to_int64(*d, n) || n < 1 || n > static_cast<std::int64_t>(cols.size())) fail(1785);
      return static_cast<std::size_t>(n - 1);
    }
    if (e.kind == ek::column && e.path.size() == 1) {
      std::size_t found = cols.size();
      for (std::size_t k = 0; k < cols.size(); ++k)
        if (name_matches(cols[k].name, e.path[0], e.quoted[0])) {
          if (found != cols.size()) fail(960);
          found = k;
        }
      if (found != cols.size()) return found;
    }
    // An expression written as one of the first block's items.
    const query_expr* first = &q;
    while (first->kind != query_expr::simple || first->left) first = first->left.get();
    std::string written = heading_of(t_, e.first, e.last);
    for (std::size_t k = 0; k < first->body->items.size() && k < cols.size(); ++k) {
      const expr& x = *first->body->items[k].e;
      if (x.kind != ek::star && heading_of(t_, x.first, x.last) == written) return k;
    }
    if (compound) fail(1785);
    if (e.kind == ek::column) fail(904, shown_name(e));
    fail(1791);
  }

  std::string limit_of(query_expr& q) {
    if (!q.fetch && !q.offset) return "";
    if (q.fetch_percent || q.fetch_ties) fail(3001);
    auto count = [&](expr& e) -> std::string {
      scope none;
      flags f;
      f.rownum = false;
      analyze(e, none, f);
      value_arg(e);
      number_operand(e);
      if (e.kind == ek::number) {
        decimal d = *parse_decimal(e.text);
        if (d.negative || d.exponent <= 0) return "0";
        if (d.exponent > 18) return "9223372036854775807";
        if (static_cast<int>(d.digits.size()) > d.exponent) d.digits.resize(static_cast<std::size_t>(d.exponent));
        std::int64_t n = 0;
        decimal_to_int64(d, n);
        return std::to_string(n);
      }
      return "max(0, CAST(OL_NV(" + number_arg(e) + ") AS INTEGER))";
    };
    std::string out = " LIMIT " + (q.fetch ? count(*q.fetch) : std::string("-1"));
    if (q.offset) out += " OFFSET " + count(*q.offset);
    return out;
  }

  static std::string order_term(const std::string& sql, bool desc, int nulls) {
    bool nulls_first = nulls == 1 || (nulls == 0 && desc);
    return sql + (desc ? " DESC" : " ASC") + (nulls_first ? " NULLS FIRST" : " NULLS LAST");
  }

  // ================================================================ blocks

  // A block in pieces, so that a wrapper can take it apart.
  struct block_out {
    bool distinct = false;
    std::vector<std::string> items;
    std::string body;  // FROM ... WHERE ... GROUP BY ... HAVING ...
    std::string order, limit;
    std::string assembled(bool named) const {
      std::string out = distinct ? "SELECT DISTINCT " : "SELECT ";
      for (std::size_t k = 0; k < items.size(); ++k)
        out += (k ? ", " : "") + items[k] + (named ? " AS " + column_name(k) : "");
      return out + body + order + limit;
    }
  };

  // One query block. `order` carries the ORDER BY, OFFSET and FETCH of a
  // simple query; `final_list` writes the select list in stored forms (the
  // outermost statement), else in canonical forms, a projected column
  // passed as stored when `stored_ok`.
  std::string block_sql(block& b, scope* outer, query_expr* order, bool final_list, std::vector<source_column>& cols,
                        bool stored_ok = false) {
    scope sc;
    sc.parent = outer;
    sc.b = &b;
    for (auto& s : b.from) resolve_source(*s, sc);
    for (auto& s : b.from) analyze_joins(*s, sc);
    if (b.connect_by) hierarchy(b, sc);

    // Items, with * expanded.
    std::vector<std::unique_ptr<item>> expanded;
    std::vector<item*> items;
    for (item& it : b.items) {
      if (it.e->kind != ek::star) {
        items.push_back(&it);
        continue;
      }
      for (item& x : expand_star(*it.e, sc)) {
        expanded.push_back(std::make_unique<item>(std::move(x)));
        items.push_back(expanded.back().get());
      }
    }
    if (items.size() > 1000) fail(1792);

    flags item_flags;
    item_flags.aggregates = true;
    item_flags.windows = true;
    item_flags.clause = "SELECT";
    for (item* it : items) analyze(*it->e, sc, item_flags);

    // WHERE, with its ROWNUM conditions and (+) joins taken out.
    std::vector<expr*> where_terms;
    std::int64_t rownum_limit = -1;
    std::map<source*, std::vector<expr*>> outer_on;
    if (b.where) {
      flags f;
      f.clause = "WHERE";
      analyze(*b.where, sc, f);
      expect_condition(*b.where);
      std::vector<expr*> all;
      conjuncts(*b.where, all);
      for (expr* term : all) {
        std::int64_t limit = 0;
        if (rownum_condition(*term, limit)) {
          rownum_limit = rownum_limit < 0 ? limit : std::min(rownum_limit, limit);
          continue;
        }
        if (uses(*term, [](const expr& x) { return x.kind == ek::pseudo && x.text == "ROWNUM"; })) fail(3001);
        if (source* marked = outer_marked(*term)) {
          outer_on[marked].push_back(term);
          continue;
        }
        where_terms.push_back(term);
      }
    }
    for (auto& entry : outer_on) entry.first->outer_joined = true;

    std::vector<expr*> groups;
    for (auto& g : b.group_by) {
      flags f;
      f.clause = "GROUP BY";
      analyze(*g, sc, f);
      value_arg(*g);
      if (is_lob(g->type)) inconsistent("-", g->type);
      refuse_zoned(g->type);
      groups.push_back(g.get());
    }
    if (b.having) {
      flags f;
      f.aggregates = true;
      f.clause = "HAVING";
      analyze(*b.having, sc, f);
      expect_condition(*b.having);
    }
    bool aggregated = !groups.empty() || b.having;
    for (item* it : items) aggregated = aggregated || has_aggregate(*it->e);

    // ORDER BY of a simple query, in this block's scope.
    std::vector<const expr*> order_exprs;
    if (order) {
      for (order_key& k : order->order) {
        const expr* target = order_target(*k.e, items, sc);
        if (is_lob(target->type)) inconsistent("-", target->type);
        if (target->type.fam == family::interval) fail(3001);
        if (b.distinct) {
          bool listed = false;
          for (item* it : items) listed = listed || same(*it->e, *target);
          if (!listed) fail(1791);
        }
        aggregated = aggregated || has_aggregate(*target);
        order_exprs.push_back(target);
      }
    }
    sc.grouped = aggregated;

    // Every value of a grouped block comes from its groups.
    if (aggregated) {
      for (item* it : items)
        if (nested_aggregate(*it->e)) sc.nested_aggregates = true;
      if (sc.nested_aggregates && groups.empty()) fail(978);
      std::vector<expr*> none;
      const std::vector<expr*>& from_groups = sc.nested_aggregates ? none : groups;
      sb4 code = groups.empty() || sc.nested_aggregates ? 937 : 979;
      for (item* it : items) check_grouped(*it->e, from_groups, code);
      if (b.having) check_grouped(*b.having, groups, groups.empty() ? 937 : 979);
      for (const expr* e : order_exprs) check_grouped(*e, from_groups, code);
    }
    for (item* it : items) {
      if (it->e->type.fam == family::boolean) fail(923);
      if (b.distinct && is_lob(it->e->type)) inconsistent("-", it->e->type);
      if (b.distinct) refuse_zoned(it->e->type);
    }

    std::string saved_level = current_level_;
    current_level_ = sc.level_sql;
    block_out out;
    out.distinct = b.distinct;

    // The select list.
    cols.clear();
    for (item* pit : items) {
      item& it = *pit;
      source_column c;
      c.name = it.has_alias ? it.alias : item_name(it);
      c.type = it.e->type;
      if (is_null(c.type)) c.type.desc = text_expression_type(0);
      const source_column* plain = sc.nested_aggregates ? nullptr : plain_column(*it.e);
      if (plain) {
        c.table = plain->table;
        c.column = plain->column;
      } else {
        c.type.plain_column = false;
        if (c.type.desc.kind != col_kind::by_value) c.type.desc.max_length = 0;
      }
      std::string sql;
      if (plain && plain->stored && ((final_list && !b.distinct) || stored_ok)) {
        sql = column_sql(*it.e);
        c.stored = true;
      } else if (final_list) {
        // DISTINCT compares canonical values, which their stored forms are.
        if (sc.nested_aggregates)
          sql.clear();
        else if (b.distinct)
          sql = is_number(it.e->type) ? "OL_NV(" + key(*it.e) + ")" : key(*it.e);
        else
          sql = out_sql(*it.e);
        c.stored = true;
      } else {
        sql = sc.nested_aggregates ? std::string() : key(*it.e);
        c.stored = false;
      }
      out.items.push_back(sql);
      cols.push_back(c);
    }
    if (order && order->for_update) {
      if (aggregated || b.distinct || sc.leaves.empty() || sc.leaves[0]->kind != source::table ||
          sc.leaves[0]->is_view || sc.leaves[0]->is_cte)
        fail(1786);
      out.items.push_back(leaf_alias(*sc.leaves[0]) + ".ROWID");
    }

    out.body = " FROM " + from_sql(b, outer_on);
    std::string where;
    for (expr* term : where_terms) where += (where.empty() ? "" : " AND ") + key(*term);
    if (rownum_limit == 0) where += where.empty() ? "0" : " AND 0";
    if (!where.empty()) out.body += " WHERE " + where;
    if (!groups.empty()) {
      std::string g;
      for (expr* e : groups) g += (g.empty() ? "" : ", ") + key(*e);
      out.body += " GROUP BY " + g;
    }
    if (b.having) out.body += " HAVING " + key(*b.having);
    if (sc.nested_aggregates) nested_aggregates(out, items, final_list);

    for (std::size_t k = 0; order && k < order->order.size(); ++k) {
      const order_key& o = order->order[k];
      out.order += (out.order.empty() ? " ORDER BY " : ", ") + order_term(sort_key(*order_exprs[k]), o.desc, o.nulls);
    }
    if (order) out.limit = limit_of(*order);
    std::string sql;
    if (rownum_limit > 0) {
      if (aggregated || b.distinct) fail(3001);
      if (out.order.empty() && out.limit.empty()) {
        out.limit = " LIMIT " + std::to_string(rownum_limit);
        sql = out.assembled(!final_list);
      } else {
        sql = rownum_first(out, rownum_limit, order_exprs, *order, final_list);
      }
    } else {
      sql = out.assembled(!final_list);
    }
    current_level_ = saved_level;
    return sql;
  }

  // ROWNUM <= n before an ORDER BY: the block's first n rows, then the
  // order, as the server numbers rows before it sorts them.
  std::string rownum_first(block_out& out, std::int64_t n, const std::vector<const expr*>& order_exprs,
                           query_expr& order, bool final_list) {
    block_out inner = out;
    inner.order.clear();
    inner.limit = " LIMIT " + std::to_string(n);
    std::size_t visible = inner.items.size();
    for (std::size_t k = 0; k < order_exprs.size(); ++k) inner.items.push_back(sort_key(*order_exprs[k]));
    std::string list;
    for (std::size_t k = 0; k < visible; ++k)
      list += (k ? ", " : "") + std::string("\"_r\".") + column_name(k) + (final_list ? "" : " AS " + column_name(k));
    std::string sorted;
    for (std::size_t k = 0; k < order_exprs.size(); ++k)
      sorted += (sorted.empty() ? " ORDER BY " : ", ") +
                order_term("\"_r\"." + column_name(visible + k), order.order[k].desc, order.order[k].nulls);
    return "SELECT " + list + " FROM (" + inner.assembled(true) + ") AS \"_r\"" + sorted + out.limit;
  }

  std::string item_name(const item& it) {
    const expr& e = *it.e;
    if (e.kind == ek::column && !e.path.empty()) {
      const source_column* c = plain_column(e);
      if (c) return c->name;
      return e.path.back();
    }
    return it.heading.empty() ? heading_of(t_, e.first, e.last) : it.heading;
  }

  // ====================================================== nested aggregates

  // MAX(COUNT(*)) ... GROUP BY: the inner group functions per group, the
  // outer ones over those groups.
  void nested_aggregates(block_out& out, std::vector<item*>& items, bool final_list) {
    std::vector<const expr*> inner;
    for (item* it : items) collect_inner_aggregates(*it->e, inner);
    block_out groups;
    for (const expr* e : inner) groups.items.push_back(key(*e));
    groups.body = out.body;
    nested_inner_ = &inner;
    out.items.clear();
    for (item* it : items) out.items.push_back(final_list ? out_sql(*it->e) : key(*it->e));
    nested_inner_ = nullptr;
    out.body = " FROM (" + groups.assembled(true) + ") AS \"_n\"";
  }
  const std::vector<const expr*>* nested_inner_ = nullptr;

  void collect_inner_aggregates(const expr& e, std::vector<const expr*>& out) {
    if (e.kind == ek::call && e.aggregate) {
      for (const auto& a : e.args) collect_aggregates(*a, out);
      return;
    }
    for (const auto& a : e.args) collect_inner_aggregates(*a, out);
  }
  void collect_aggregates(const expr& e, std::vector<const expr*>& out) {
    if (e.kind == ek::call && e.aggregate) {
      out.push_back(&e);
      return;
    }
    for (const auto& a : e.args) collect_aggregates(*a, out);
  }
  // A group function inside a group function.
  bool nested_aggregate(const expr& e) const {
    if (!is_aggregate(e))
      return std::any_of(e.args.begin(), e.args.end(), [&](const expr_ptr& a) { return nested_aggregate(*a); });
    return std::any_of(e.args.begin(), e.args.end(), [&](const expr_ptr& a) { return has_aggregate(*a); });
  }

  // ============================================================== sources

  std::string leaf_alias(const source& s) const {
    auto it = alias_override_.find(&s);
    return it != alias_override_.end() ? it->second : s.sql_alias;
  }

  void resolve_source(source& s, scope& sc) {
    if (s.kind == source::joined) {
      resolve_source(*s.left, sc);
      std::size_t left_end = sc.leaves.size();
      resolve_source(*s.right, sc);
      if (!s.join.using_columns.empty() || s.join.natural) join_columns(s, sc, left_end);
      return;
    }
    s.sql_alias = fresh("_t");
    if (s.kind == source::derived) {
      part p = translate(*s.sub, sc.parent, true, false);
      s.columns = p.columns;
      for (std::size_t k = 0; k < s.columns.size(); ++k) s.columns[k].sql = column_name(k);
      table_sql_[&s] = "(" + p.sql + ")";
      sc.leaves.push_back(&s);
      return;
    }
    // A WITH query of that name first, then the schema.
    for (auto it = visible_.rbegin(); it != visible_.rend(); ++it) {
      with_entry* w = *it;
      if (!name_matches(w->name, s.name, s.quoted || w->quoted)) continue;
      if (w->defining && !w->recursive) fail(w->columns.empty() ? 32039 : 32040);
      s.is_cte = true;
      s.columns = w->columns;
      for (std::size_t k = 0; k < s.columns.size(); ++k) s.columns[k].sql = column_name(k);
      table_sql_[&s] = w->sql_name;
      sc.leaves.push_back(&s);
      return;
    }
    const schema_object* o = schema_.object(s.name, s.quoted);
    if (!o) fail(942);
    s.name = o->name;
    if (o->view) {
      view_source(s, *o);
    } else {
      for (const schema_column& c : o->columns) {
        source_column col;
        col.name = c.name;
        col.type = declared(c.declared);
        col.sql = sql_name(c.name);
        col.stored = true;
        col.table = o->name;
        col.column = c.name;
        s.columns.push_back(col);
      }
      table_sql_[&s] = sql_name(o->name);
    }
    sc.leaves.push_back(&s);
  }
  std::map<const source*, std::string> table_sql_;

  // A view: the query it holds, read by the same rules as a query.
  void view_source(source& s, const schema_object& o) {
    if (view_depth_ >= 32) fail(3001);
    std::vector<token> tokens = lex(o.query);
    translator inner(tokens, schema_, user_);
    inner.aliases_ = aliases_;
    inner.view_depth_ = view_depth_ + 1;
    inner.now_ = now_;
    query_ptr q = parse_query(tokens);
    part p = inner.translate(*q, nullptr, true, false);
    aliases_ = inner.aliases_;
    if (!inner.placeholders_.empty()) fail(1008);
    s.is_view = true;
    s.columns = p.columns;
    for (std::size_t k = 0; k < s.columns.size(); ++k) {
      if (k < o.columns.size()) s.columns[k].name = o.columns[k].name;
      s.columns[k].sql = column_name(k);
    }
    table_sql_[&s] = "(" + p.sql + ")";
  }

  // The columns a USING list or NATURAL join shares: one column for both
  // sides, compared in the join's condition.
  void join_columns(source& s, scope& sc, std::size_t left_end) {
    std::vector<std::string> names = s.join.using_columns;
    auto find = [&](std::size_t from, std::size_t to, const std::string& name, bool must) -> std::pair<source*, int> {
      std::pair<source*, int> found{nullptr, -1};
      for (std::size_t l = from; l < to; ++l)
        for (std::size_t k = 0; k < sc.leaves[l]->columns.size(); ++k)
          if (name_matches(sc.leaves[l]->columns[k].name, name, false)) {
            if (found.first) fail(918);
            found = {sc.leaves[l], static_cast<int>(k)};
          }
      if (!found.first && must) fail(904, "\"" + name + "\"");
      return found;
    };
    std::size_t first = 0;
    for (std::size_t l = 0; l < left_end; ++l)
      if (is_inside(*s.left, sc.leaves[l])) {
        first = l;
        break;
      }
    if (s.join.natural) {
      for (std::size_t r = left_end; r < sc.leaves.size(); ++r)
        for (const source_column& c : sc.leaves[r]->columns)
          if (find(first, left_end, c.name, false).first) names.push_back(c.name);
    }
    for (const std::string& name : names) {
      auto l = find(first, left_end, name, true);
      auto r = find(left_end, sc.leaves.size(), name, true);
      using_group g;
      g.name = name;
      g.kind = s.join.kind;
      g.members = {l, r};
      sc.usings.push_back(g);
      value_type as = compare_type(l.first->columns[static_cast<std::size_t>(l.second)].type,
                                   r.first->columns[static_cast<std::size_t>(r.second)].type);
      using_pairs_[&s].push_back(
          {instant_if_zoned(key_of_column(*l.first, static_cast<std::size_t>(l.second)), as),
           instant_if_zoned(key_of_column(*r.first, static_cast<std::size_t>(r.second)), as) +
               collation(l.first->columns[static_cast<std::size_t>(l.second)].type,
                         r.first->columns[static_cast<std::size_t>(r.second)].type)});
    }
  }

  // The ON conditions of ANSI joins, read in the block's scope.
  void analyze_joins(source& s, scope& sc) {
    if (s.kind != source::joined) return;
    analyze_joins(*s.left, sc);
    analyze_joins(*s.right, sc);
    if (!s.join.on) return;
    flags f;
    f.clause = "ON";
    f.rownum = false;
    analyze(*s.join.on, sc, f);
    expect_condition(*s.join.on);
  }

  static bool is_inside(const source& tree, const source* leaf) {
    if (&tree == leaf) return true;
    if (tree.kind != source::joined) return false;
    return is_inside(*tree.left, leaf) || is_inside(*tree.right, leaf);
  }

  // The FROM clause: sources and ANSI joins as written, the sources that
  // (+) joins outward after the others.
  std::string from_sql(block& b, const std::map<source*, std::vector<expr*>>& outer_on) {
    std::string out;
    std::set<const source*> placed;
    for (auto& s : b.from) {
      if (s->kind != source::joined && s->outer_joined) continue;
      out += (out.empty() ? "" : ", ") + source_sql(*s);
      mark_placed(*s, placed);
    }
    std::vector<source*> waiting;
    for (auto& s : b.from)
      if (s->kind != source::joined && s->outer_joined) waiting.push_back(s.get());
    while (!waiting.empty()) {
      bool progress = false;
      for (auto it = waiting.begin(); it != waiting.end();) {
        source* s = *it;
        bool ready = true;
        for (expr* term : outer_on.at(s)) {
          std::vector<const source*> read;
          sources_read(*term, read);
          for (const source* r : read)
            if (r != s && !placed.count(r)) ready = false;
        }
        if (!ready) {
          ++it;
          continue;
        }
        std::string on;
        for (expr* term : outer_on.at(s)) on += (on.empty() ? "" : " AND ") + key(*term);
        if (out.empty()) fail(1416);
        out += " LEFT JOIN " + source_sql(*s) + " ON " + on;
        placed.insert(s);
        it = waiting.erase(it);
        progress = true;
      }
      if (!progress) fail(1416);
    }
    return out;
  }

  void mark_placed(const source& s, std::set<const source*>& placed) {
    placed.insert(&s);
    if (s.kind == source::joined) {
      mark_placed(*s.left, placed);
      mark_placed(*s.right, placed);
    }
  }

  std::string source_sql(source& s) {
    if (s.kind != source::joined) return table_sql_.at(&s) + " AS " + s.sql_alias;
    std::string left = source_sql(*s.left), right = source_sql(*s.right);
    const join_spec& j = s.join;
    const char* kind = j.kind == join_spec::left    ? " LEFT JOIN "
                       : j.kind == join_spec::right ? " RIGHT JOIN "
                       : j.kind == join_spec::full  ? " FULL JOIN "
                       : j.kind == join_spec::cross ? " CROSS JOIN "
                                                    : " JOIN ";
    std::string on;
    if (j.on) {
      on = " ON " + key(*j.on);
    } else if (!j.using_columns.empty() || j.natural) {
      std::string c;
      for (const auto& [l, r] : using_pairs_[&s]) c += (c.empty() ? "" : " AND ") + l + " = " + r;
      on = " ON " + (c.empty() ? std::string("1") : c);
    }
    return "(" + left + kind + right + on + ")";
  }
  std::map<const source*, std::vector<std::pair<std::string, std::string>>> using_pairs_;

  void sources_read(const expr& e, std::vector<const source*>& out) const {
    if (e.kind == ek::column && e.from && e.source_depth == 0) out.push_back(e.from);
    for (const auto& a : e.args) sources_read(*a, out);
  }

  // ============================================================ hierarchy

  // CONNECT BY over one source: a recursive WITH query of its rows with
  // their level and path, depth first as the server walks the tree, read
  // in the source's place; WHERE then filters the rows it gives.
  void hierarchy(block& b, scope& sc) {
    if (sc.leaves.size() != 1 || b.from.size() != 1 || b.from[0]->kind == source::joined) fail(3001);
    source& s = *sc.leaves[0];
    sc.hierarchical = true;
    flags f;
    f.clause = "CONNECT BY";
    f.prior = true;
    f.rownum = false;
    analyze(*b.connect_by, sc, f);
    expect_condition(*b.connect_by);
    bool has_prior = uses(*b.connect_by, [](const expr& x) { return x.kind == ek::prior; });
    if (b.start_with) {
      flags g;
      g.clause = "START WITH";
      g.rownum = false;
      analyze(*b.start_with, sc, g);
      expect_condition(*b.start_with);
    }
    bool table = s.kind == source::table && !s.is_view && !s.is_cte;
    if (has_prior && !table) fail(3001);
    std::string walk = fresh("_h"), anchor_alias = fresh("_a"), child_alias = fresh("_c");
    std::string names;
    for (const source_column& c : s.columns) names += c.sql + ", ";
    auto list_of = [&](const std::string& alias) {
      std::string out;
      for (const source_column& c : s.columns) out += alias + "." + c.sql + ", ";
      return out;
    };
    const std::string& from = table_sql_.at(&s);
    // The roots: the rows START WITH chooses, every row without it.
    alias_override_[&s] = anchor_alias;
    current_level_ = "1";
    std::string anchor = "SELECT " + list_of(anchor_alias) + "1, " +
                         (has_prior ? "OL_LOOP('', " + anchor_alias + ".ROWID)" : std::string("''")) + " FROM " + from +
                         " AS " + anchor_alias;
    if (b.start_with) anchor += " WHERE " + key(*b.start_with);
    // The children of each row: PRIOR reads the parent; LEVEL is theirs.
    alias_override_[&s] = child_alias;
    prior_source_ = &s;
    prior_alias_ = walk;
    current_level_ = walk + ".\"_lvl\" + 1";
    std::string connect = key(*b.connect_by);
    prior_source_ = nullptr;
    alias_override_.erase(&s);
    std::string path = "''";
    if (has_prior) {
      path = "OL_LOOP(" + walk + ".\"_path\", " + child_alias + ".ROWID)";
      if (b.nocycle) {
        connect += " AND instr(" + walk + ".\"_path\", ',' || " + child_alias + ".ROWID || ',') = 0";
        path = walk + ".\"_path\" || " + child_alias + ".ROWID || ','";
      }
    }
    std::string recursive = "SELECT " + list_of(child_alias) + walk + ".\"_lvl\" + 1, " + path + " FROM " + from +
                            " AS " + child_alias + ", " + walk + " WHERE " + connect;
    std::size_t level = s.columns.size() + 1;
    table_sql_[&s] = "(WITH RECURSIVE " + walk + "(" + names + "\"_lvl\", \"_path\") AS (" + anchor + " UNION ALL " +
                     recursive + " ORDER BY " + std::to_string(level) + " DESC) SELECT * FROM " + walk + ")";
    sc.level_sql = s.sql_alias + ".\"_lvl\"";
    current_level_.clear();
  }

  // ================================================================ stars

  std::vector<source*> star_sources(const expr& e, scope& sc) {
    if (e.path.empty()) return sc.leaves;
    for (source* s : sc.leaves)
      if (qualifies(*s, e.path.back(), e.quoted.back())) return {s};
    fail(904, shown_name(e));
  }

  std::vector<item> expand_star(const expr& star, scope& sc) {
    std::vector<item> out;
    std::set<std::pair<const source*, int>> shared;
    if (star.path.empty()) {
      // The columns of USING and NATURAL joins come first, once.
      for (const using_group& g : sc.usings) {
        item it;
        it.e = std::make_unique<expr>();
        it.e->kind = ek::column;
        it.e->first = star.first;
        it.e->last = star.last;
        it.e->path = {g.name};
        it.e->quoted = {false};
        it.has_alias = true;
        it.alias = g.members[0].first->columns[static_cast<std::size_t>(g.members[0].second)].name;
        out.push_back(std::move(it));
        for (const auto& m : g.members) shared.insert({m.first, m.second});
      }
    }
    for (source* s : star_sources(star, sc))
      for (std::size_t k = 0; k < s->columns.size(); ++k) {
        if (shared.count({s, static_cast<int>(k)})) continue;
        item it;
        it.e = std::make_unique<expr>();
        it.e->kind = ek::column;
        it.e->first = star.first;
        it.e->last = star.last;
        it.e->path = {s->columns[k].name};
        it.e->quoted = {true};
        it.e->from = s;
        it.e->column_index = static_cast<int>(k);
        it.e->source_depth = 0;
        it.has_alias = true;
        it.alias = s->columns[k].name;
        out.push_back(std::move(it));
      }
    return out;
  }

  bool qualifies(const source& s, const std::string& q, bool quoted) const {
    if (s.has_alias) return name_matches(s.alias, q, quoted || s.alias_quoted);
    return name_matches(s.name, q, quoted);
  }

  // ============================================================ expressions

  void expect_condition(const expr& e) {
    if (e.type.fam != family::boolean) fail(920);
  }

  static void conjuncts(expr& e, std::vector<expr*>& out) {
    if (e.kind == ek::and_) {
      for (auto& a : e.args) conjuncts(*a, out);
    } else {
      out.push_back(&e);
    }
  }

  static bool uses(const expr& e, const std::function<bool(const expr&)>& test) {
    if (test(e)) return true;
    for (const auto& a : e.args)
      if (uses(*a, test)) return true;
    return false;
  }

  static bool is_aggregate(const expr& e) { return e.kind == ek::call && e.aggregate; }
  bool has_aggregate(const expr& e) const { return uses(e, is_aggregate); }

  // ROWNUM compared with a number: the rows it lets through.
  bool rownum_condition(const expr& e, std::int64_t& limit) {
    if (e.kind != ek::compare || !e.quantifier.empty() || e.args.size() != 2) return false;
    bool left = e.args[0]->kind == ek::pseudo && e.args[0]->text == "ROWNUM";
    bool right = e.args[1]->kind == ek::pseudo && e.args[1]->text == "ROWNUM";
    if (left == right) return false;
    const expr& other = *e.args[left ? 1 : 0];
    const expr* value = &other;
    bool negative = false;
    if (value->kind == ek::negate) {
      negative = true;
      value = value->args[0].get();
    }
    if (value->kind != ek::number) return false;
    auto d = parse_decimal(value->text);
    if (!d) return false;
    double n = decimal_to_double(*d) * (negative ? -1 : 1);
    std::string op = e.text;
    if (!left) {
      if (op == "<")
        op = ">";
      else if (op == ">")
        op = "<";
      else if (op == "<=")
        op = ">=";
      else if (op == ">=")
        op = "<=";
    }
    const double big = 9e18;
    auto whole = [](double x) { return x == std::floor(x); };
    if (op == "<")
      limit = n <= 1 ? 0 : static_cast<std::int64_t>(std::min(std::ceil(n) - 1, big));
    else if (op == "<=")
      limit = n < 1 ? 0 : static_cast<std::int64_t>(std::min(std::floor(n), big));
    else if (op == "=")
      limit = n == 1 ? 1 : 0;
    else if (op == ">")
      limit = n < 1 ? INT64_MAX : 0;
    else if (op == ">=")
      limit = n <= 1 ? INT64_MAX : 0;
    else if (op == "<>")
      limit = n >= 1 && whole(n) ? static_cast<std::int64_t>(std::min(n - 1, big)) : INT64_MAX;
    else
      return false;
    if (limit == INT64_MAX) limit = -1;
    if (limit < 0) limit = INT64_MAX / 2;
    return true;
  }

  // The source whose columns a condition marks with (+), if any.
  source* outer_marked(const expr& e) {
    std::vector<const expr*> marks;
    std::function<void(const expr&, bool)> walk = [&](const expr& x, bool under_or) {
      if (x.kind == ek::column && x.outer_mark) {
        if (under_or) fail(1719);
        marks.push_back(&x);
      }
      if (x.kind == ek::in_list || x.kind == ek::in_query) {
        for (const auto& a : x.args)
          if (uses(*a, [](const expr& y) { return y.kind == ek::column && y.outer_mark; })) fail(1719);
      }
      for (const auto& a : x.args) walk(*a, under_or || x.kind == ek::or_);
    };
    walk(e, false);
    if (marks.empty()) return nullptr;
    source* s = marks[0]->from;
    for (const expr* m : marks)
      if (m->from != s) fail(1468);
    if (!s || marks[0]->source_depth != 0) fail(1705);
    return s;
  }

  // Finds what a column name stands for: a column of a source of this
  // block or of a block around it.
  void resolve_column(expr& e, scope& sc) {
    int depth = 0;
    for (scope* s = &sc; s; s = s->parent, ++depth) {
      if (find_in(e, *s)) {
        e.source_depth = depth;
        return;
      }
    }
    // ROWID of a single source.
    fail(904, shown_name(e));
  }

  bool find_in(expr& e, scope& sc) {
    const std::string& name = e.path.back();
    bool quoted = e.quoted.back();
    if (e.path.size() == 1) {
      for (using_group& g : sc.usings)
        if (name_matches(g.members[0].first->columns[static_cast<std::size_t>(g.members[0].second)].name, name,
                         quoted)) {
          e.from = g.members[0].first;
          e.column_index = g.members[0].second;
          e.type = e.from->columns[static_cast<std::size_t>(e.column_index)].type;
          e.text = "USING";
          using_of_[&e] = &g;
          return true;
        }
      source* found = nullptr;
      int index = -1;
      for (source* s : sc.leaves)
        for (std::size_t k = 0; k < s->columns.size(); ++k)
          if (name_matches(s->columns[k].name, name, quoted)) {
            if (found && (found != s || index != static_cast<int>(k))) fail(918);
            found = s;
            index = static_cast<int>(k);
          }
      if (!found && !quoted && name == "ROWID") {
        if (sc.leaves.size() == 1 && sc.leaves[0]->kind == source::table && !sc.leaves[0]->is_view) {
          e.from = sc.leaves[0];
          e.column_index = -2;
          e.type = of_desc(rowid_type());
          return true;
        }
        if (sc.leaves.size() > 1) fail(918);
      }
      if (!found) return false;
      e.from = found;
      e.column_index = index;
      e.type = found->columns[static_cast<std::size_t>(index)].type;
      return true;
    }
    // qualifier.name (a schema before it names the user's own objects).
    const std::string& qualifier = e.path[e.path.size() - 2];
    bool qualifier_quoted = e.quoted[e.quoted.size() - 2];
    for (source* s : sc.leaves) {
      if (!qualifies(*s, qualifier, qualifier_quoted)) continue;
      for (const using_group& g : sc.usings)
        for (auto& [m, k] : g.members)
          if (m == s && name_matches(s->columns[static_cast<std::size_t>(k)].name, name, quoted)) fail(25154);
      for (std::size_t k = 0; k < s->columns.size(); ++k)
        if (name_matches(s->columns[k].name, name, quoted)) {
          e.from = s;
          e.column_index = static_cast<int>(k);
          e.type = s->columns[k].type;
          return true;
        }
      if (!quoted && name == "ROWID" && s->kind == source::table && !s->is_view) {
        e.from = s;
        e.column_index = -2;
        e.type = of_desc(rowid_type());
        return true;
      }
      fail(904, shown_name(e));
    }
    return false;
  }
  std::map<const expr*, const using_group*> using_of_;

  const source_column* plain_column(const expr& e) const {
    if (e.kind != ek::column || !e.from || e.column_index < 0 || using_of_.count(&e)) return nullptr;
    return &e.from->columns[static_cast<std::size_t>(e.column_index)];
  }

  void analyze_args(expr& e, scope& sc, const flags& f) {
    for (auto& a : e.args) analyze(*a, sc, f);
  }

  void value_arg(const expr& e) {
    if (e.type.fam == family::boolean) fail(907);
  }

  // The type of every expression, with the server's errors.
  void analyze(expr& e, scope& sc, const flags& f) {
    switch (e.kind) {
      case ek::number: {
        auto d = parse_decimal(e.text);
        if (!d) fail(1722);
        e.type = number_type();
        break;
      }
      case ek::string:
        e.type = e.text.empty() ? null_type() : char_literal_type(e.text);
        break;
      case ek::null:
        e.type = null_type();
        break;
      case ek::param:
        e.type = text_type(4000);
        break;
      case ek::column:
        if (e.outer_mark && f.clause != std::string("WHERE")) fail(30563);
        if (!e.from)
          resolve_column(e, sc);
        else if (e.column_index >= 0)
          e.type = e.from->columns[static_cast<std::size_t>(e.column_index)].type;
        if (in_prior_ && e.source_depth != 0) fail(904, shown_name(e));
        break;
      case ek::star:
        fail(936);
      case ek::negate:
        analyze_args(e, sc, f);
        value_arg(*e.args[0]);
        if (e.args[0]->type.fam == family::date) fail(932, "NUMBER got DATE");
        if (e.args[0]->type.fam == family::interval) {
          e.type = e.args[0]->type;
          e.type.plain_column = false;
          break;
        }
        number_operand(*e.args[0]);
        e.type = number_type();
        break;
      case ek::chain:
        analyze_args(e, sc, f);
        chain_type(e);
        break;
      case ek::compare:
        analyze_args(e, sc, f);
        if (e.sub) {
          analyze_subquery(e, sc);
        }
        compare_types(e);
        e.type = boolean_type();
        break;
      case ek::and_:
      case ek::or_:
      case ek::not_:
        analyze_args(e, sc, f);
        for (auto& a : e.args)
          if (a->type.fam != family::boolean) fail(920);
        e.type = boolean_type();
        break;
      case ek::is_null:
        analyze_args(e, sc, f);
        value_arg(*e.args[0]);
        e.type = boolean_type();
        break;
      case ek::between:
      case ek::in_list:
        analyze_args(e, sc, f);
        for (auto& a : e.args) value_arg(*a);
        if (e.kind == ek::between) {
          comparable(*e.args[0], *e.args[1]);
          comparable(*e.args[0], *e.args[2]);
        } else {
          for (std::size_t k = 1; k < e.args.size(); ++k) {
            const expr& x = *e.args[0];
            const expr& y = *e.args[k];
            if ((x.kind == ek::row) != (y.kind == ek::row)) fail(920);
            if (x.kind != ek::row) {
              comparable(x, y);
              continue;
            }
            if (x.args.size() != y.args.size()) fail(x.args.size() < y.args.size() ? 913 : 947);
            for (std::size_t j = 0; j < x.args.size(); ++j) comparable(*x.args[j], *y.args[j]);
          }
        }
        e.type = boolean_type();
        break;
      case ek::in_query:
        analyze_args(e, sc, f);
        analyze_subquery(e, sc);
        e.type = boolean_type();
        break;
      case ek::like:
        analyze_args(e, sc, f);
        for (auto& a : e.args) {
          value_arg(*a);
          if (a->type.fam == family::raw || a->type.fam == family::lob_raw) inconsistent("CHAR", a->type);
        }
        e.type = boolean_type();
        break;
      case ek::exists:
        analyze_subquery(e, sc);
        e.type = boolean_type();
        break;
      case ek::call:
        analyze_call(e, sc, f);
        break;
      case ek::case_:
        analyze_case(e, sc, f);
        break;
      case ek::cast:
        analyze_args(e, sc, f);
        analyze_cast(e);
        break;
      case ek::subquery:
        analyze_subquery(e, sc);
        break;
      case ek::row:
        analyze_args(e, sc, f);
        e.type = boolean_type();
        e.type.fam = family::other;
        break;
      case ek::prior: {
        // PRIOR outside CONNECT BY (in the select list, say) is not computed.
        if (!f.prior && sc.hierarchical && !in_prior_) fail(3001);
        if (!f.prior || in_prior_) fail(976);
        in_prior_ = true;
        analyze_args(e, sc, f);
        in_prior_ = false;
        e.type = e.args[0]->type;
        break;
      }
      case ek::pseudo:
        analyze_pseudo(e, sc, f);
        break;
      case ek::datetime:
        analyze_datetime(e);
        break;
      case ek::interval: {
        bool ym = false;
        interval_keys_[&e] = interval_literal(e.text, e.type_text, ym);
        e.type = interval_type(e.type_text, ym);
        break;
      }
      case ek::extract:
        analyze_args(e, sc, f);
        analyze_extract(e);
        break;
      case ek::trim:
        analyze_args(e, sc, f);
        for (auto& a : e.args) {
          value_arg(*a);
          text_operand(*a);
        }
        e.type = text_type(text_bytes(e.args[0]->type));
        break;
      case ek::sequence:
        if (std::string(f.clause) != "SELECT") fail(2287);
        e.type = number_type();
        break;
    }
  }

  void analyze_pseudo(expr& e, scope& sc, const flags& f) {
    const std::string& w = e.text;
    if (w == "ROWNUM") {
      if (!f.rownum) fail(976);
      e.type = number_type();
    } else if (w == "LEVEL") {
      scope* s = &sc;
      if (!s->hierarchical) fail(1788);
      e.type = number_type();
    } else if (w == "USER") {
      e.type = text_type(30);
    } else if (w == "UID") {
      e.type = number_type();
    } else if (w == "SYSDATE" || w == "CURRENT_DATE") {
      e.type = date_type();
    } else if (w == "SYSTIMESTAMP" || w == "CURRENT_TIMESTAMP") {
      e.type = of_desc(parse_declared_type("TIMESTAMP(6) WITH TIME ZONE"));
    } else if (w == "LOCALTIMESTAMP") {
      e.type = of_desc(parse_declared_type("TIMESTAMP(6)"));
    } else {
      fail(904, "\"" + w + "\"");
    }
  }

  void analyze_datetime(expr& e) {
    const std::string& text = e.args[0]->text;
    auto t = parse_datetime(text);
    if (!t || (e.text == "DATE" && text.size() != 10) || t->has_zone) fail(1861);
    e.type = e.text == "DATE" ? date_type() : of_desc(parse_declared_type("TIMESTAMP(9)"));
  }

  // A subquery: its own blocks, its columns in canonical forms.
  void analyze_subquery(expr& e, scope& sc) {
    part p = translate(*e.sub, &sc, false, false);
    subqueries_[&e] = p.sql;
    if (e.kind == ek::subquery) {
      if (p.columns.size() != 1) fail(913);
      e.type = p.columns[0].type;
      e.type.plain_column = false;
      if (is_null(e.type)) e.type = null_type();
    } else if (e.kind == ek::in_query || (e.kind == ek::compare && e.sub)) {
      std::size_t width = e.args[0]->kind == ek::row ? e.args[0]->args.size() : 1;
      if (p.columns.size() > width) fail(913);
      if (p.columns.size() < width) fail(947);
      subquery_types_[&e] = p.columns;
    }
  }
  std::map<const expr*, std::string> subqueries_;
  std::map<const expr*, std::string> interval_keys_;
  std::map<const expr*, std::vector<source_column>> subquery_types_;

  void analyze_case(expr& e, scope& sc, const flags& f) {
    analyze_args(e, sc, f);
    std::size_t k = 0;
    if (e.has_operand) {
      value_arg(*e.args[0]);
      k = 1;
    }
    std::vector<expr*> results;
    std::size_t pairs_end = e.args.size() - (e.has_else ? 1 : 0);
    for (; k + 1 < pairs_end + 1 && k < pairs_end; k += 2) {
      if (e.has_operand)
        comparable(*e.args[0], *e.args[k]);
      else if (e.args[k]->type.fam != family::boolean)
        fail(920);
      results.push_back(e.args[k + 1].get());
    }
    if (e.has_else) results.push_back(e.args.back().get());
    e.type = common_type(results, false);
  }

  // The one type of the results of CASE, COALESCE and the like: all of
  // one kind, else ORA-00932.
  value_type common_type(const std::vector<expr*>& results, bool convert_to_first) {
    value_type out = null_type();
    bool any = false;
    for (expr* r : results) {
      value_arg(*r);
      const value_type& v = r->type;
      if (is_null(v)) continue;
      if (!any) {
        out = v;
        any = true;
        continue;
      }
      if (convert_to_first) continue;
      bool text_like = [](family x) { return x == family::text || x == family::lob_text; }(out.fam) &&
                       [](family x) { return x == family::text || x == family::lob_text; }(v.fam);
      if (out.fam != v.fam && !text_like) inconsistent(family_name(out), v);
      if (out.fam == family::text && v.fam == family::text) {
        bool same_char = out.fixed && v.fixed && out.chars == v.chars;
        if (!same_char || out.desc.data_size != v.desc.data_size)
          out = text_type(std::max(text_bytes(out), text_bytes(v)));
      } else if (v.fam == family::lob_text) {
        out = clob_type();
      } else if (out.fam == family::number && (out.desc.kind != v.desc.kind || out.desc.precision != v.desc.precision ||
                                               out.desc.scale != v.desc.scale)) {
        out = number_type();
      } else if (out.fam == family::date && out.desc.kind != v.desc.kind) {
        out = of_desc(parse_declared_type("TIMESTAMP(9)"));
      }
    }
    out.plain_column = false;
    return out;
  }

  void number_operand(const expr& e) {
    switch (e.type.fam) {
      case family::number:
      case family::text:
      case family::null:
      case family::other:  // a column of no Oracle type: its values decide
        return;
      case family::boolean:
        fail(907);
      case family::long_text:
        fail(997);
      default:
        inconsistent("NUMBER", e.type);
    }
  }

  void chain_type(expr& e) {
    for (auto& a : e.args) value_arg(*a);
    if (e.ops[0] == '|') {
      bool lob = false;
      ub4 bytes = 0;
      for (auto& a : e.args) {
        const value_type& v = a->type;
        if (v.fam == family::lob_text)
          lob = true;
        else
          text_operand(*a);
        bytes += text_bytes(v);
      }
      e.type = lob ? clob_type() : text_type(bytes);
      return;
    }
    // Left to right: dates and intervals take part by the server's rules.
    value_type acc = e.args[0]->type;
    for (std::size_t k = 1; k < e.args.size(); ++k) acc = step_type(acc, e.ops[k - 1], e.args[k]->type, *e.args[k]);
    e.type = acc;
    e.type.plain_column = false;
    if (e.type.fam == family::number || is_null(e.type)) e.type = number_type();
  }

  static bool numeric(const value_type& v) {
    return v.fam == family::number || v.fam == family::text || v.fam == family::other || is_null(v);
  }
  static bool interval_ym_type(const value_type& v) {
    return v.fam == family::interval && v.desc.code == SQLT_INTERVAL_YM;
  }
  static value_type interval_type(const std::string& qualifier, bool ym) {
    auto precision = [&](std::size_t at, const char* fallback) {
      std::size_t open = qualifier.find('(', at);
      if (open == std::string::npos || open > qualifier.find(' ', at)) return std::string(fallback);
      return qualifier.substr(open + 1, qualifier.find_first_of(",)", open) - open - 1);
    };
    bool leading_named = qualifier.rfind(ym ? "YEAR" : "DAY", 0) == 0;
    std::string lead = leading_named ? precision(0, "2") : std::string("2");
    if (ym) return of_desc(parse_declared_type("INTERVAL YEAR(" + lead + ") TO MONTH"));
    std::size_t second = qualifier.rfind("SECOND");
    std::string fraction = "6";
    if (second != std::string::npos) {
      std::size_t open = qualifier.find('(', second);
      if (open != std::string::npos) {
        std::string inner = qualifier.substr(open + 1, qualifier.find(')', open) - open - 1);
        std::size_t comma = inner.find(',');
        fraction =
            qualifier.rfind("SECOND", 0) == 0 ? (comma == std::string::npos ? "6" : inner.substr(comma + 1)) : inner;
      }
    }
    return of_desc(parse_declared_type("INTERVAL DAY(" + lead + ") TO SECOND(" + fraction + ")"));
  }
  static value_type timestamp_type() { return of_desc(parse_declared_type("TIMESTAMP(9)")); }

  // The type of `acc op b`.
  value_type step_type(const value_type& a, char op, const value_type& b, const expr& operand) {
    bool additive = op == '+' || op == '-';
    if (a.fam == family::date) {
      if (!additive) inconsistent("NUMBER", a);
      if (numeric(b)) return date_type();
      if (b.fam == family::interval) return a;
      if (b.fam == family::date) {
        if (op == '+') fail(975);
        if (a.desc.kind == col_kind::date && b.desc.kind == col_kind::date) return number_type();
        int fraction = std::max<int>(std::max<int>(a.desc.scale, b.desc.scale), 0);
        return interval_type("DAY(9) TO SECOND(" + std::to_string(fraction) + ")", false);
      }
      inconsistent("NUMBER", b);
    }
    if (a.fam == family::interval) {
      if (additive) {
        if (b.fam == family::interval && interval_ym_type(a) == interval_ym_type(b)) return a;
        if (b.fam == family::date && op == '+') return b;
        inconsistent("INTERVAL", b);
      }
      if (numeric(b)) return a;
      inconsistent("NUMBER", b);
    }
    if (numeric(a)) {
      if (b.fam == family::date) {
        if (op != '+') inconsistent("NUMBER", b);
        return date_type();
      }
      if (b.fam == family::interval) {
        if (op != '*') inconsistent("NUMBER", b);
        return b;
      }
      number_operand(operand);
      return number_type();
    }
    number_operand(operand);
    inconsistent("NUMBER", a);
  }

  // A value a character function takes: texts, and numbers and dates
  // converted as the server converts them.
  void text_operand(const expr& e) {
    switch (e.type.fam) {
      case family::long_text:
        fail(997);
      case family::lob_raw:
      case family::boolean:
        inconsistent("CHAR", e.type);
      default:
        return;
    }
  }

  void date_operand(const expr& e) {
    if (e.type.fam == family::date || e.type.fam == family::text || is_null(e.type)) return;
    inconsistent("DATE", e.type);
  }

  void analyze_extract(expr& e) {
    const expr& a = *e.args[0];
    value_arg(a);
    const std::string& f = e.text;
    bool date_field = f == "YEAR" || f == "MONTH" || f == "DAY";
    bool time_field = f == "HOUR" || f == "MINUTE" || f == "SECOND";
    bool zone_field = f == "TIMEZONE_HOUR" || f == "TIMEZONE_MINUTE";
    if (!date_field && !time_field && !zone_field) fail(30089);
    if (a.type.fam == family::interval) {
      bool ym = interval_ym_type(a.type);
      if (zone_field || (ym && !(f == "YEAR" || f == "MONTH")) || (!ym && (f == "YEAR" || f == "MONTH"))) fail(30076);
    } else if (a.type.fam == family::date) {
      if (a.type.desc.kind == col_kind::date && !date_field) fail(30076);
      if (zone_field && a.type.desc.kind != col_kind::timestamp_tz) fail(30076);
    } else if (!is_null(a.type)) {
      inconsistent("DATE", a.type);
    }
    e.type = number_type();
  }

  // Can a and b be compared? Raises the server's error when not.
  void comparable(const expr& a, const expr& b) {
    const value_type &x = a.type, &y = b.type;
    auto lob = [](family f) { return f == family::lob_text || f == family::lob_raw; };
    if (lob(x.fam)) inconsistent("-", x);
    if (lob(y.fam)) inconsistent("-", y);
    if (x.fam == family::long_text || y.fam == family::long_text) fail(997);
    if (x.fam == family::boolean || y.fam == family::boolean) fail(920);
    // Intervals are kept as texts, which do not sort as their values.
    if (x.fam == family::interval || y.fam == family::interval) fail(3001);
    if (is_null(x) || is_null(y) || x.fam == y.fam) return;
    if (x.fam == family::other || y.fam == family::other) return;
    if ((x.fam == family::number && y.fam == family::text) || (x.fam == family::text && y.fam == family::number))
      return;
    if ((x.fam == family::date && y.fam == family::text) || (x.fam == family::text && y.fam == family::date)) return;
    if ((x.fam == family::raw && y.fam == family::text) || (x.fam == family::text && y.fam == family::raw)) return;
    if ((x.fam == family::rowid && y.fam == family::text) || (x.fam == family::text && y.fam == family::rowid)) return;
    inconsistent(family_name(x), y);
  }

  void compare_types(expr& e) {
    if (e.sub) {
      // x op ANY|ALL (subquery)
      const auto& cols = subquery_types_.at(&e);
      if (cols.size() != 1) fail(913);
      expr probe;
      probe.type = cols[0].type;
      comparable(*e.args[0], probe);
      return;
    }
    if (e.args[1]->kind == ek::row && !e.quantifier.empty()) {
      for (auto& x : e.args[1]->args) comparable(*e.args[0], *x);
      return;
    }
    if (e.args[0]->kind == ek::row || e.args[1]->kind == ek::row) {
      if (e.args[0]->kind != ek::row || e.args[1]->kind != ek::row) fail(920);
      if (e.args[0]->args.size() != e.args[1]->args.size())
        fail(e.args[0]->args.size() < e.args[1]->args.size() ? 913 : 947);
      if (e.text != "=" && e.text != "<>") fail(920);
      for (std::size_t k = 0; k < e.args[0]->args.size(); ++k) comparable(*e.args[0]->args[k], *e.args[1]->args[k]);
      return;
    }
    comparable(*e.args[0], *e.args[1]);
  }

  void analyze_cast(expr& e) {
    const expr& a = *e.args[0];
    value_arg(a);
    col_type target = parse_declared_type(e.type_text);
    if (target.kind == col_kind::by_value) fail(902);
    value_type to = of_desc(target);
    to.desc.max_length = 0;
    const family from = a.type.fam;
    switch (to.fam) {
      case family::number:
        if (target.kind != col_kind::number) fail(3001);
        if (!numeric(a.type)) inconsistent("NUMBER", a.type);
        e.type = target.dict_type == "NUMBER" ? to : number_type();
        if (target.dict_type == "FLOAT") fail(3001);
        break;
      case family::text:
        text_operand(a);
        if (from == family::lob_text) fail(3001);
        e.type = to;
        break;
      case family::date:
        date_operand(a);
        if (target.kind == col_kind::timestamp_tz || target.kind == col_kind::timestamp_ltz) fail(3001);
        e.type = to;
        break;
      default:
        fail(3001);
    }
    e.type.plain_column = false;
  }

  // The server's built-in functions this library computes, by argument:
  // N a number, T a text, D a date (the last letter repeats). Results: N
  // a number, T a text as long as the first argument, V a VARCHAR2 of
  // 4000, P the length the second argument asks for, C one character, D
  // a DATE.
  struct builtin_row {
    const char* name;
    std::size_t min_args, max_args;
    const char* sql;
    const char* args;
    char result;
  };
  static const builtin_row* builtin_of(const std::string& name) {
    static const builtin_row rows[] = {
        {"ABS", 1, 1, "OL_ABS", "N", 'N'},
        {"SIGN", 1, 1, "OL_SIGN", "N", 'N'},
        {"CEIL", 1, 1, "OL_CEIL", "N", 'N'},
        {"FLOOR", 1, 1, "OL_FLOOR", "N", 'N'},
        {"MOD", 2, 2, "OL_MOD", "N", 'N'},
        {"REMAINDER", 2, 2, "OL_REMAINDER", "N", 'N'},
        {"POWER", 2, 2, "OL_POWER", "N", 'N'},
        {"SQRT", 1, 1, "OL_SQRT", "N", 'N'},
        {"EXP", 1, 1, "OL_EXP", "N", 'N'},
        {"LN", 1, 1, "OL_LN", "N", 'N'},
        {"LOG", 2, 2, "OL_LOG", "N", 'N'},
        {"UPPER", 1, 1, "OL_UPPER", "T", 'T'},
        {"LOWER", 1, 1, "OL_LOWER", "T", 'T'},
        {"INITCAP", 1, 1, "OL_INITCAP", "T", 'T'},
        {"LENGTH", 1, 1, "OL_LENGTH", "T", 'N'},
        {"SUBSTR", 2, 3, "OL_SUBSTR", "TN", 'T'},
        {"INSTR", 2, 4, "OL_INSTR", "TTN", 'N'},
        {"LPAD", 2, 3, "OL_LPAD", "TNT", 'P'},
        {"RPAD", 2, 3, "OL_RPAD", "TNT", 'P'},
        {"LTRIM", 1, 2, "OL_LTRIM", "T", 'T'},
        {"RTRIM", 1, 2, "OL_RTRIM", "T", 'T'},
        {"REPLACE", 2, 3, "OL_REPLACE", "T", 'V'},
        {"TRANSLATE", 3, 3, "OL_TRANSLATE", "T", 'T'},
        {"ASCII", 1, 1, "OL_ASCII", "T", 'N'},
        {"CHR", 1, 1, "OL_CHR", "N", 'C'},
        {"ADD_MONTHS", 2, 2, "OL_ADDMONTHS", "DN", 'D'},
        {"MONTHS_BETWEEN", 2, 2, "OL_MONTHSBETWEEN", "D", 'N'},
        {"LAST_DAY", 1, 1, "OL_LASTDAY", "D", 'D'},
        {"NEXT_DAY", 2, 2, "OL_NEXTDAY", "DT", 'D'},
    };
    for (const builtin_row& r : rows)
      if (name == r.name) return &r;
    return nullptr;
  }
  static char builtin_arg(const builtin_row& r, std::size_t k) {
    std::size_t n = std::strlen(r.args);
    return r.args[k < n ? k : n - 1];
  }

  // Functions this library computes: their arguments and result types.
  void analyze_call(expr& e, scope& sc, const flags& f) {
    const std::string& name = e.text;
    if (e.path.size() > 1) fail(904, shown_name(e));
    if (e.over) {
      analyze_window(e, sc, f);
      return;
    }
    if (const aggregate_row* a = aggregate_of(name)) {
      if (!f.aggregates) fail(934);
      if (f.aggregate_depth >= 2) fail(935);
      int count = e.star_arg ? 1 : static_cast<int>(e.args.size());
      if (e.star_arg && name != "COUNT") fail(936);
      if (count < a->min_args || count > a->max_args) fail(909);
      flags inner = f;
      ++inner.aggregate_depth;
      inner.windows = false;
      analyze_args(e, sc, inner);
      e.aggregate = true;
      if (!e.star_arg) {
        const expr& x = *e.args[0];
        value_arg(x);
        if (x.type.fam == family::lob_text || x.type.fam == family::lob_raw || x.type.fam == family::long_text) {
          if (name != "COUNT" || e.distinct) inconsistent("-", x.type);
        }
        if (name == "SUM" || name == "AVG") number_operand(x);
        if ((name == "MIN" || name == "MAX") && x.type.fam == family::interval) fail(3001);
        if (name == "MIN" || name == "MAX" || e.distinct) refuse_zoned(x.type);
      }
      if (name == "COUNT" || name == "SUM" || name == "AVG")
        e.type = number_type();
      else
        e.type = e.args[0]->type, e.type.plain_column = false;
      return;
    }
    if (is_ranking(name)) fail(904, "\"" + name + "\"");
    analyze_args(e, sc, f);
    for (auto& a : e.args) value_arg(*a);
    auto args = [&](std::size_t lo, std::size_t hi) {
      if (e.args.size() < lo || e.args.size() > hi) fail(909);
    };
    if (e.distinct || e.star_arg) fail(936);
    std::vector<expr*> all;
    for (auto& a : e.args) all.push_back(a.get());
    if (name == "NVL") {
      args(2, 2);
      e.type = is_null(e.args[0]->type) ? e.args[1]->type : e.args[0]->type;
      convertible(*e.args[1], e.type);
    } else if (name == "NVL2") {
      args(3, 3);
      e.type = is_null(e.args[1]->type) ? e.args[2]->type : e.args[1]->type;
      convertible(*e.args[2], e.type);
    } else if (name == "COALESCE") {
      if (e.args.size() < 1) fail(938);
      e.type = common_type(all, false);
    } else if (name == "NULLIF") {
      args(2, 2);
      if (is_null(e.args[0]->type)) fail(932, "- got CHAR");
      comparable(*e.args[0], *e.args[1]);
      e.type = e.args[0]->type;
    } else if (name == "DECODE") {
      if (e.args.size() < 3) fail(938);
      for (std::size_t k = 1; k + 1 < e.args.size(); k += 2) comparable(*e.args[0], *e.args[k]);
      std::vector<expr*> results;
      for (std::size_t k = 2; k < e.args.size(); k += 2) results.push_back(e.args[k].get());
      if (e.args.size() % 2 == 0) results.push_back(e.args.back().get());
      e.type = results[0]->type;
      if (is_null(e.type)) e.type = text_type(4000);
      if (e.type.fam == family::text) {
        ub4 bytes = 0;
        for (expr* r : results) bytes = std::max(bytes, text_bytes(r->type));
        e.type = text_type(bytes);
      }
      for (expr* r : results) convertible(*r, e.type);
    } else if (name == "GREATEST" || name == "LEAST") {
      if (e.args.empty()) fail(938);
      e.type = e.args[0]->type;
      if (e.type.fam == family::text) {
        ub4 bytes = 0;
        for (expr* r : all) bytes = std::max(bytes, text_bytes(r->type));
        e.type = text_type(bytes);
      }
      for (expr* r : all) {
        convertible(*r, e.type);
        comparable(*e.args[0], *r);
        refuse_zoned(r->type);
      }
    } else if (name == "TO_DATE" || name == "TO_TIMESTAMP") {
      args(1, 3);
      // A date is first a text in its default format, as on the server.
      for (auto& a : e.args) text_operand(*a);
      e.type = name == "TO_DATE" ? date_type() : timestamp_type();
    } else if (name == "TO_CHAR") {
      args(1, 3);
      const value_type& x = e.args[0]->type;
      for (std::size_t k = 1; k < e.args.size(); ++k) text_operand(*e.args[k]);
      if (x.fam == family::number || x.fam == family::date) {
        e.type = text_type(e.args.size() > 1 ? 4000 : x.fam == family::number ? 40 : 75);
      } else {
        text_operand(*e.args[0]);
        e.type = is_null(x) ? text_type(4000) : x;
      }
    } else if (name == "TO_NUMBER") {
      args(1, 3);
      number_operand(*e.args[0]);
      for (std::size_t k = 1; k < e.args.size(); ++k) text_operand(*e.args[k]);
      e.type = number_type();
    } else if ((name == "ROUND" || name == "TRUNC") && e.args.size() >= 1 && e.args[0]->type.fam == family::date) {
      args(1, 2);
      if (e.args.size() > 1) text_operand(*e.args[1]);
      e.type = date_type();
    } else if (name == "ROUND" || name == "TRUNC") {
      args(1, 2);
      for (auto& a : e.args) number_operand(*a);
      e.type = number_type();
    } else if (const builtin_row* r = builtin_of(name)) {
      args(r->min_args, r->max_args);
      for (std::size_t k = 0; k < e.args.size(); ++k) {
        char want = builtin_arg(*r, k);
        if (want == 'N')
          number_operand(*e.args[k]);
        else if (want == 'T')
          text_operand(*e.args[k]);
        else
          date_operand(*e.args[k]);
      }
      switch (r->result) {
        case 'N':
          e.type = number_type();
          break;
        case 'T':
          e.type = text_type(text_bytes(e.args[0]->type));
          break;
        case 'P': {
          ub4 bytes = 4000;
          const expr& n = *e.args[1];
          if (n.kind == ek::number) {
            decimal d = *parse_decimal(n.text);
            std::int64_t length = 0;
            if (decimal_to_int64(d, length) && length > 0 && length < 1000) bytes = static_cast<ub4>(length * 4);
          }
          e.type = text_type(bytes);
          break;
        }
        case 'C':
          e.type = text_type(4);
          break;
        case 'D':
          e.type = date_type();
          break;
        default:
          e.type = text_type(4000);
      }
    } else if (name == "CONCAT") {
      args(2, 2);
      e.kind = ek::chain;
      e.ops = "|";
      chain_type(e);
      return;
    } else {
      fail(904, "\"" + name + "\"");
    }
    e.type.plain_column = false;
    if (e.type.fam == family::null) e.type = null_type();
  }

  // Can the value be converted to the type (implicitly, at run time)?
  void convertible(const expr& a, const value_type& to) {
    const family from = a.type.fam;
    if (is_null(a.type) || from == to.fam || to.fam == family::null) return;
    if (to.fam == family::number && from == family::text) return;
    if (to.fam == family::text && from == family::number) return;
    if (to.fam == family::text && from == family::date) return;
    if (to.fam == family::date && from == family::text) return;
    if (to.fam == family::lob_text && from == family::text) return;
    if (to.fam == family::text && from == family::lob_text) return;
    inconsistent(family_name(to), a.type);
  }

  void analyze_window(expr& e, scope& sc, const flags& f) {
    if (!f.windows) fail(30483);
    const std::string& name = e.text;
    flags inner = f;
    inner.windows = false;
    inner.aggregates = f.aggregates;
    for (auto& p : e.over->partition) {
      analyze(*p, sc, inner);
      refuse_zoned(p->type);
    }
    for (auto& k : e.over->order) analyze(*k.e, sc, inner);
    if (is_ranking(name)) {
      if (!e.args.empty() || e.star_arg) fail(909);
      if (name != "ROW_NUMBER" && e.over->order.empty()) fail(3001);
      e.type = number_type();
    } else if (aggregate_of(name)) {
      analyze_args(e, sc, inner);
      int count = e.star_arg ? 1 : static_cast<int>(e.args.size());
      if (count != 1) fail(909);
      if (name == "COUNT" || name == "SUM" || name == "AVG")
        e.type = number_type();
      else
        e.type = e.args[0]->type, e.type.plain_column = false;
      if ((name == "SUM" || name == "AVG") && !e.star_arg) number_operand(*e.args[0]);
      if ((name == "MIN" || name == "MAX") && !e.star_arg) refuse_zoned(e.args[0]->type);
    } else {
      fail(904, "\"" + name + "\"");
    }
    if (!e.over->frame.empty()) fail(3001);
  }

  // ================================================== grouping and order

  // Is every column of e one that the groups give (or inside a group
  // function)?
  void check_grouped(const expr& e, const std::vector<expr*>& groups, sb4 code) {
    for (const expr* g : groups)
      if (same(e, *g)) return;
    switch (e.kind) {
      case ek::call:
        if (e.aggregate) return;
        if (e.over) {
          for (const auto& p : e.over->partition) check_grouped(*p, groups, code);
          for (const auto& k : e.over->order) check_grouped(*k.e, groups, code);
          for (const auto& a : e.args) check_grouped(*a, groups, code);
          return;
        }
        break;
      case ek::column:
        if (e.source_depth > 0) return;
        fail(code);
      case ek::pseudo:
        if (e.text == "ROWNUM" || e.text == "LEVEL") fail(code);
        return;
      case ek::subquery:
      case ek::exists:
      case ek::in_query:
        break;
      default:
        break;
    }
    for (const auto& a : e.args) check_grouped(*a, groups, code);
  }

  // Are two analysed expressions the same value?
  bool same(const expr& a, const expr& b) const {
    if (a.kind != b.kind || a.text != b.text || a.ops != b.ops || a.negated != b.negated || a.distinct != b.distinct ||
        a.star_arg != b.star_arg || a.args.size() != b.args.size() || a.quantifier != b.quantifier ||
        a.type_text != b.type_text)
      return false;
    if (a.kind == ek::column && (a.from != b.from || a.column_index != b.column_index)) return false;
    if (a.kind == ek::param) return a.first == b.first;
    if (a.sub || b.sub || a.over || b.over) return &a == &b;
    for (std::size_t k = 0; k < a.args.size(); ++k)
      if (!same(*a.args[k], *b.args[k])) return false;
    return true;
  }

  // An ORDER BY key: a select item by its position or alias, else an
  // expression of the block.
  const expr* order_target(expr& k, std::vector<item*>& items, scope& sc) {
    if (k.kind == ek::number) {
      auto d = parse_decimal(k.text);
      std::int64_t n = 0;
      if (!d || !decimal_to_int64(*d, n) || n < 1 || n > static_cast<std::int64_t>(items.size()) ||
          d->exponent < static_cast<int>(d->digits.size()))
        fail(1785);
      return items[static_cast<std::size_t>(n - 1)]->e.get();
    }
    if (k.kind == ek::column && k.path.size() == 1) {
      const expr* found = nullptr;
      for (item* it : items)
        if (it->has_alias && name_matches(it->alias, k.path[0], k.quoted[0] || it->alias_quoted) &&
            (!k.quoted[0] || it->alias == k.path[0]) && it->e->kind != ek::column) {
          if (found && !same(*found, *it->e)) fail(960);
          found = it->e.get();
        }
      for (item* it : items)
        if (!found && it->has_alias && name_matches(it->alias, k.path[0], k.quoted[0]) && it->e->kind == ek::column)
          found = it->e.get();
      if (found) return found;
    }
    flags f;
    f.aggregates = true;
    f.windows = true;
    f.clause = "ORDER BY";
    analyze(k, sc, f);
    return &k;
  }

  // ============================================================== emission

  std::string param_sql(const expr& e) const { return "?" + std::to_string(params_.at(e.first)); }

  // The stored column a reference reads, as the statement names it.
  std::string column_sql(const expr& e) {
    if (e.column_index == -2) return prefix_of(*e.from) + ".ROWID";
    auto u = using_of_.find(&e);
    if (u != using_of_.end()) {
      const using_group& g = *u->second;
      std::string l = key_of_column(*g.members[0].first, static_cast<std::size_t>(g.members[0].second));
      std::string r = key_of_column(*g.members[1].first, static_cast<std::size_t>(g.members[1].second));
      if (g.kind == join_spec::full) return "coalesce(" + l + ", " + r + ")";
      return g.kind == join_spec::right ? r : l;
    }
    const source_column& c = e.from->columns[static_cast<std::size_t>(e.column_index)];
    return prefix_of(*e.from) + "." + c.sql;
  }

  std::string prefix_of(const source& s) const {
    if (in_prior_emit_ && &s == prior_source_) return prior_alias_;
    return leaf_alias(s);
  }
  bool in_prior_emit_ = false;

  std::string key_of_column(const source& s, std::size_t k) {
    const source_column& c = s.columns[k];
    std::string sql = prefix_of(s) + "." + c.sql;
    return c.stored ? key_of_stored(c.type, sql) : sql;
  }

  // The canonical key of a stored value.
  static std::string key_of_stored(const value_type& t, const std::string& sql) {
    switch (t.fam) {
      case family::number:
        return "OL_NK(" + sql + ")";
      case family::date:
        return "OL_DK(" + sql + ")";
      case family::text:
        if (t.fixed)
          return "OL_PAD(" + sql + ", " + std::to_string(t.chars) + ", " + (t.desc.length_unit == 'B' ? "1" : "0") + ")";
        return "NULLIF(" + sql + ", '')";
      case family::raw:
        return "NULLIF(" + sql + ", X'')";
      default:
        return sql;
    }
  }

  // A number literal: its key, or its stored form.
  static std::string number_literal(const expr& e, bool stored) {
    decimal d = *parse_decimal(e.text);
    round_digits(d, k_number_digits);
    if (d.exponent > 126) fail(1426);
    if (d.exponent < -129) d = decimal{};
    if (!stored) return blob_literal(number_key(d));
    cell c = number_result(d);
    if (c.type == SQLITE_INTEGER) return std::to_string(c.i);
    if (c.type == SQLITE_BLOB) return blob_literal(c.bytes);
    return e.text.find_first_of("eE") == std::string::npos && e.text.find('.') != std::string::npos
               ? (e.text[0] == '.' ? "0" + e.text : e.text)
               : blob_literal(number_text(d));
  }

  // The value in its stored form: the outermost select list.
  std::string out_sql(const expr& e) {
    if (e.kind == ek::number) return number_literal(e, true);
    if (const source_column* c = plain_column(e))
      if (c->stored) return column_sql(e);
    if (e.kind == ek::call && e.aggregate && e.text == "COUNT" && !nested_inner_) return count_sql(e);
    if (e.type.fam == family::interval) return interval_out(e);
    std::string k = key(e);
    if (e.type.fam == family::number) return "OL_NV(" + k + ")";
    return k;
  }

  std::string count_sql(const expr& e) {
    if (e.star_arg) return "count(*)";
    return std::string("count(") + (e.distinct ? "DISTINCT " : "") + key(*e.args[0]) + ")";
  }

  // A number argument of the library's functions: any form it reads.
  std::string number_arg(const expr& e) {
    if (const source_column* c = plain_column(e))
      if (c->stored && c->type.fam == family::number) return column_sql(e);
    if (e.type.fam == family::text && e.kind == ek::string) return sql_string(e.text);
    return key(e);
  }

  // The value as text, the server's implicit conversion.
  std::string text_of(const expr& e) {
    switch (e.type.fam) {
      case family::number:
        return "OL_NTXT(" + number_arg(e) + ")";
      case family::date:
        return "OL_DATECHAR(" + key(e) + ", " + kind_sql(e.type) + ", " + fraction_sql(e.type) + ")";
      case family::interval:
        return interval_out(e);
      case family::raw:
        return "hex(" + key(e) + ")";
      default:
        return key(e);
    }
  }

  // The datetime_kind of a date type, as the date functions take it.
  static std::string kind_sql(const value_type& t) {
    switch (t.desc.kind) {
      case col_kind::timestamp:
        return "1";
      case col_kind::timestamp_tz:
        return "2";
      case col_kind::timestamp_ltz:
        return "3";
      default:
        return "0";
    }
  }
  static std::string fraction_sql(const value_type& t) {
    return std::to_string(t.desc.kind == col_kind::date ? 0 : std::max<int>(t.desc.scale, 0));
  }

  // An interval in its type's text, as the server shows it.
  std::string interval_out(const expr& e) {
    const col_type& d = e.type.desc;
    bool ym = d.code == SQLT_INTERVAL_YM;
    return "OL_IVTEXT(" + key(e) + ", " + (ym ? "1" : "0") + ", " + std::to_string(d.precision) + ", " +
           std::to_string(std::max<int>(d.scale, 0)) + ")";
  }

  // The value converted to the family `to`, as a key (a text to a DATE).
  std::string key_as(const expr& e, family to) { return key_as(e, value_type_of(to, e.type)); }

  // The value converted to the type `to`, as a key; a text becomes a date
  // of to's kind, read in that kind's format.
  std::string key_as(const expr& e, const value_type& type) {
    const family to = type.fam;
    if (is_null(e.type)) return "NULL";
    // A column of no Oracle type compares as SQLite compares: stored forms.
    if (to == family::other) return e.type.fam == family::other ? key(e) : out_sql(e);
    // A TIMESTAMP where a DATE is due loses its fraction, rounded.
    if (to == family::date && type.desc.kind == col_kind::date && e.type.fam == family::date &&
        e.type.desc.kind != col_kind::date)
      return "OL_ASDATE(" + key(e) + ")";
    if (e.type.fam == to || to == family::null) return key(e);
    switch (to) {
      case family::number:
        return "OL_NK(" + number_arg(e) + ")";
      case family::text:
      case family::lob_text:
        return text_of(e);
      case family::date:
        if (e.kind == ek::param) return "OL_DK(" + key(e) + ")";
        return "OL_TODATE(" + key(e) + ", " + kind_sql(type) + ")";
      case family::raw:
        if (e.kind == ek::string) return blob_literal(hex_to_bytes(e.text));
        fail(3001);
      default:
        return key(e);
    }
  }

  // The family in which two values are compared: a number and a text as
  // numbers, a date and a text as dates, a RAW and a text as RAW.
  static family compare_family(const value_type& a, const value_type& b) {
    if (a.fam == family::other || b.fam == family::other) return family::other;
    if (a.fam == family::null) return b.fam;
    if (b.fam == family::null) return a.fam;
    if (a.fam == b.fam) return a.fam;
    if (a.fam == family::number || b.fam == family::number) return family::number;
    if (a.fam == family::date || b.fam == family::date) return family::date;
    if (a.fam == family::raw || b.fam == family::raw) return family::raw;
    return a.fam;
  }

  // CHAR values and text literals compare blank-padded.
  static bool padded(const value_type& a, const value_type& b) {
    auto fixed = [](const value_type& x) { return x.fam == family::text && x.fixed; };
    return fixed(a) && fixed(b);
  }
  static bool padded(const expr& a, const expr& b) { return padded(a.type, b.type); }
  static std::string collation(const value_type& a, const value_type& b) {
    return padded(a, b) ? " COLLATE OL_BLANKPAD" : "";
  }
  static std::string collation(const expr& a, const expr& b) { return collation(a.type, b.type); }

  // The type in which two values are compared: compare_family's; of a date
  // and a date or a text the wider kind (DATE, TIMESTAMP, WITH TIME ZONE),
  // in whose format a text is read.
  static value_type compare_type(const value_type& a, const value_type& b) {
    family f = compare_family(a, b);
    if (f != family::date) return value_type_of(f, a);
    auto rank = [](const value_type& v) {
      if (v.fam != family::date) return -1;
      return v.desc.kind == col_kind::timestamp_tz ? 2 : v.desc.kind == col_kind::date ? 0 : 1;
    };
    return rank(a) >= rank(b) ? a : b;
  }

  static bool zoned(const value_type& t) { return t.fam == family::date && t.desc.kind == col_kind::timestamp_tz; }

  // Values with a time zone are equal by their instants, which their keys
  // do not show: grouping them, DISTINCT, UNION, MIN and MAX would keep
  // apart what the server takes as one.
  static void refuse_zoned(const value_type& t) {
    if (zoned(t)) fail(3001);
  }

  // A key that compares and sorts as a value of the type: a value with a
  // time zone (or compared with one) by its instant.
  static std::string instant_if_zoned(const std::string& sql, const value_type& as) {
    return zoned(as) ? "OL_INSTANT(" + sql + ")" : sql;
  }

  std::string sort_key(const expr& e) { return instant_if_zoned(key(e), e.type); }

  // The value as it is compared in the type `as`.
  std::string compared(const expr& e, const value_type& as) { return instant_if_zoned(key_as(e, as), as); }

  // A subquery's column (a key) as it is compared in the type `as`.
  static std::string column_compared(std::string sql, const value_type& from, const value_type& as) {
    if (from.fam != as.fam && as.fam == family::number) sql = "OL_NK(" + sql + ")";
    if (from.fam == family::text && as.fam == family::date) sql = "OL_TODATE(" + sql + ", " + kind_sql(as) + ")";
    return instant_if_zoned(sql, as);
  }

  std::string comparison(const expr& a, const std::string& op, const expr& b) {
    value_type as = compare_type(a.type, b.type);
    return "(" + compared(a, as) + " " + op + " " + compared(b, as) + collation(a, b) + ")";
  }

  // The value in canonical form.
  std::string key(const expr& e) {
    if (nested_inner_) {
      for (std::size_t k = 0; k < nested_inner_->size(); ++k)
        if ((*nested_inner_)[k] == &e) return "\"_n\"." + column_name(k);
    }
    switch (e.kind) {
      case ek::number:
        return number_literal(e, false);
      case ek::string:
        return e.text.empty() ? "NULL" : sql_string(e.text);
      case ek::null:
        return "NULL";
      case ek::param:
        return param_sql(e);
      case ek::column: {
        if (e.column_index == -2 || using_of_.count(&e)) return column_sql(e);
        const source_column& c = e.from->columns[static_cast<std::size_t>(e.column_index)];
        std::string sql = column_sql(e);
        return c.stored ? key_of_stored(c.type, sql) : sql;
      }
      case ek::negate:
        if (e.type.fam == family::interval)
          return "OL_IVARITH('n', " + key(*e.args[0]) + ", NULL, " + (interval_ym_type(e.type) ? "1" : "0") + ")";
        return "OL_NEG(" + number_arg(*e.args[0]) + ")";
      case ek::chain:
        return chain_sql(e);
      case ek::compare:
        return compare_sql(e);
      case ek::and_:
      case ek::or_: {
        std::string out;
        for (const auto& a : e.args) out += (out.empty() ? "" : e.kind == ek::and_ ? " AND " : " OR ") + key(*a);
        return "(" + out + ")";
      }
      case ek::not_:
        return "(NOT " + key(*e.args[0]) + ")";
      case ek::is_null:
        return "(" + key(*e.args[0]) + (e.negated ? " IS NOT NULL)" : " IS NULL)");
      case ek::between: {
        value_type as = compare_type(compare_type(e.args[0]->type, e.args[1]->type), e.args[2]->type);
        bool pad = padded(*e.args[0], *e.args[1]) && padded(*e.args[0], *e.args[2]);
        std::string c = pad ? " COLLATE OL_BLANKPAD" : "";
        return "(" + compared(*e.args[0], as) + c + (e.negated ? " NOT" : "") + " BETWEEN " +
               compared(*e.args[1], as) + " AND " + compared(*e.args[2], as) + ")";
      }
      case ek::in_list: {
        value_type as = e.args[0]->type;
        bool pad = false;
        for (std::size_t k = 1; k < e.args.size(); ++k) {
          as = compare_type(as, e.args[k]->type);
          pad = pad || padded(*e.args[0], *e.args[k]);
        }
        bool rows = e.args[0]->kind == ek::row;
        if (pad || rows) {
          // Each CHAR element blank-padded, the others not.
          std::string any;
          for (std::size_t k = 1; k < e.args.size(); ++k)
            any += (k > 1 ? " OR " : "") +
                   (rows ? row_comparison(*e.args[0], "=", *e.args[k]) : comparison(*e.args[0], "=", *e.args[k]));
          return std::string(e.negated ? "(NOT (" : "((") + any + "))";
        }
        std::string list;
        for (std::size_t k = 1; k < e.args.size(); ++k) list += (k > 1 ? ", " : "") + compared(*e.args[k], as);
        return "(" + compared(*e.args[0], as) + (e.negated ? " NOT IN (" : " IN (") + list + "))";
      }
      case ek::in_query: {
        const auto& cols = subquery_types_.at(&e);
        std::string left;
        if (e.args[0]->kind == ek::row) {
          for (std::size_t k = 0; k < e.args[0]->args.size(); ++k)
            left += (k ? ", " : "") +
                    compared(*e.args[0]->args[k], compare_type(e.args[0]->args[k]->type, cols[k].type)) +
                    collation(e.args[0]->args[k]->type, cols[k].type);
          left = "(" + left + ")";
        } else {
          left = compared(*e.args[0], compare_type(e.args[0]->type, cols[0].type)) +
                 collation(e.args[0]->type, cols[0].type);
        }
        return "(" + left + (e.negated ? " NOT IN (" : " IN (") + subquery_columns(e, cols) + "))";
      }
      case ek::like: {
        std::string s = text_of(*e.args[0]), p = text_of(*e.args[1]);
        std::string out = "(" + s + (e.negated ? " NOT LIKE " : " LIKE ") + p;
        if (e.args.size() > 2) out += " ESCAPE " + text_of(*e.args[2]);
        return out + ")";
      }
      case ek::exists:
        return "EXISTS (" + subqueries_.at(&e) + ")";
      case ek::call:
        return call_sql(e);
      case ek::case_:
        return case_sql(e);
      case ek::cast:
        return cast_sql(e);
      case ek::subquery:
        return scalar_sql(e);
      case ek::row: {
        std::string out;
        for (const auto& a : e.args) out += (out.empty() ? "" : ", ") + key(*a);
        return "(" + out + ")";
      }
      case ek::prior: {
        bool saved = in_prior_emit_;
        in_prior_emit_ = true;
        std::string out = key(*e.args[0]);
        in_prior_emit_ = saved;
        return out;
      }
      case ek::pseudo:
        return pseudo_sql(e);
      case ek::datetime: {
        auto t = parse_datetime(e.args[0]->text);
        return sql_string(date_key(*t));
      }
      case ek::interval:
        return sql_string(interval_keys_.at(&e));
      case ek::extract: {
        const expr& a = *e.args[0];
        if (a.type.fam == family::interval)
          return "OL_IVEXTRACT('" + e.text + "', " + key(a) + ", " + (interval_ym_type(a.type) ? "1" : "0") + ")";
        return "OL_EXTRACT('" + e.text + "', " + key(a) + ", " + kind_sql(a.type) + ")";
      }
      case ek::trim:
        return "OL_TRIM(" + text_of(*e.args[0]) + ", '" + e.text + "', " +
               (e.args.size() > 1 ? text_of(*e.args[1]) : std::string("' '")) + ")";
      case ek::sequence: {
        std::string seq = e.path[0];
        std::string f = e.path[1] == "NEXTVAL" ? "OL_NEXTVAL(" : "OL_CURRVAL(";
        return "OL_NK(" + f + sql_string(seq) + "))";
      }
      default:
        fail(3001);
    }
  }

  static value_type value_type_of(family f, const value_type& fallback) {
    value_type v = fallback;
    v.fam = f;
    return v;
  }

  // The subquery's columns in the forms the comparison takes.
  std::string subquery_columns(const expr& e, const std::vector<source_column>& cols) {
    std::string list;
    for (std::size_t k = 0; k < cols.size(); ++k) {
      std::string c = "\"_s\"." + column_name(k);
      value_type as = e.args[0]->kind == ek::row ? compare_type(e.args[0]->args[k]->type, cols[k].type)
                                                 : compare_type(e.args[0]->type, cols[k].type);
      list += (k ? ", " : "") + column_compared(c, cols[k].type, as);
    }
    return "SELECT " + list + " FROM (" + subqueries_.at(&e) + ") AS \"_s\"";
  }

  std::string compare_sql(const expr& e) {
    const expr& a = *e.args[0];
    if (e.sub) {
      // x op ANY (subquery): some row compares so; x op ALL: none fails to.
      const auto& cols = subquery_types_.at(&e);
      value_type as = compare_type(a.type, cols[0].type);
      std::string c = column_compared("\"_s\"." + column_name(0), cols[0].type, as);
      std::string test = "(" + compared(a, as) + " " + e.text + " " + c + collation(a.type, cols[0].type) + ")";
      std::string from = " FROM (" + subqueries_.at(&e) + ") AS \"_s\"";
      if (e.quantifier == "ANY") return "EXISTS (SELECT 1" + from + " WHERE " + test + ")";
      return "(NOT EXISTS (SELECT 1" + from + " WHERE " + test + " IS NOT 1))";
    }
    const expr& b = *e.args[1];
    if (!e.quantifier.empty()) {
      std::string out;
      for (const auto& x : b.args)
        out += (out.empty() ? "" : e.quantifier == "ANY" ? " OR " : " AND ") + comparison(a, e.text, *x);
      return "(" + out + ")";
    }
    if (a.kind == ek::row) return row_comparison(a, e.text, b);
    return comparison(a, e.text, b);
  }

  // (a, b) op (c, d), each pair compared in its type.
  std::string row_comparison(const expr& a, const std::string& op, const expr& b) {
    std::string l, r;
    for (std::size_t k = 0; k < a.args.size(); ++k) {
      value_type as = compare_type(a.args[k]->type, b.args[k]->type);
      l += (k ? ", " : "") + compared(*a.args[k], as);
      r += (k ? ", " : "") + compared(*b.args[k], as) + collation(*a.args[k], *b.args[k]);
    }
    return "((" + l + ") " + op + " (" + r + "))";
  }

  // A chain of arithmetic: one call of up to 126 operands; a longer one in
  // groups, so that SQLite's parser never nests deep.
  std::string chain_sql(const expr& e) {
    if (e.ops[0] == '|') {
      bool lob = e.type.fam == family::lob_text;
      std::vector<std::string> parts;
      for (const auto& a : e.args) parts.push_back(text_of(*a));
      std::string f = lob ? "OL_CATL(" : "OL_CAT(";
      return grouped_call(f, parts, f);
    }
    bool numbers = true;
    for (const auto& a : e.args) numbers = numbers && numeric(a->type);
    if (numbers) {
      std::vector<std::string> operands;
      for (const auto& a : e.args) operands.push_back(number_arg(*a));
      return arithmetic(e.ops, operands);
    }
    // With dates or intervals: one step at a time, left to right.
    std::string sql = value_of(*e.args[0]);
    value_type acc = e.args[0]->type;
    for (std::size_t k = 1; k < e.args.size(); ++k) {
      const expr& b = *e.args[k];
      char op = e.ops[k - 1];
      value_type next = step_type(acc, op, b.type, b);
      sql = step_sql(sql, acc, op, b);
      acc = next;
    }
    return sql;
  }

  // A value where a date or an interval may stand: its key, a number in
  // any form.
  std::string value_of(const expr& e) { return numeric(e.type) ? number_arg(e) : key(e); }

  std::string step_sql(const std::string& a, const value_type& at, char op, const expr& b) {
    const value_type& bt = b.type;
    std::string bs = value_of(b);
    auto ym = [](const value_type& v) { return std::string(interval_ym_type(v) ? "1" : "0"); };
    auto negated = [&](const std::string& iv, const value_type& v) {
      return "OL_IVARITH('n', " + iv + ", NULL, " + ym(v) + ")";
    };
    auto as_date = [](const value_type& v, const std::string& sql) {
      return v.desc.kind == col_kind::date ? "OL_ASDATE(" + sql + ")" : sql;
    };
    if (at.fam == family::date) {
      if (numeric(bt)) return "OL_DATEADD(" + a + ", " + (op == '-' ? "OL_NEG(" + bs + ")" : bs) + ")";
      if (bt.fam == family::interval)
        return as_date(at, "OL_DATEADDIV(" + a + ", " + (op == '-' ? negated(bs, bt) : bs) + ", " + ym(bt) + ")");
      if (at.desc.kind == col_kind::date && bt.desc.kind == col_kind::date) return "OL_DATEDIFF(" + a + ", " + bs + ")";
      return "OL_DATESPAN(" + a + ", " + bs + ")";
    }
    if (at.fam == family::interval) {
      if (bt.fam == family::date) return as_date(bt, "OL_DATEADDIV(" + bs + ", " + a + ", " + ym(at) + ")");
      return "OL_IVARITH('" + std::string(1, op) + "', " + a + ", " + bs + ", " + ym(at) + ")";
    }
    // A number before a date or an interval.
    if (bt.fam == family::date) return "OL_DATEADD(" + bs + ", " + a + ")";
    if (bt.fam == family::interval) return "OL_IVARITH('*', " + bs + ", " + a + ", " + ym(bt) + ")";
    return "OL_ARITH('" + std::string(1, op) + "', " + a + ", " + bs + ")";
  }

  std::string arithmetic(const std::string& ops, const std::vector<std::string>& operands) {
    return grouped_call("OL_ARITH('" + ops + "', ", operands, "OL_LIST(");
  }

  // A call of a function of any number of arguments: past what one call
  // takes, the arguments go in groups (`group` of them, itself grouped), so
  // that SQLite's parser never nests deep.
  std::string grouped_call(const std::string& head, const std::vector<std::string>& parts, const std::string& group) {
    const std::size_t per_call = 120;
    auto call = [](const std::string& h, const std::vector<std::string>& args) {
      std::string out = h;
      for (std::size_t k = 0; k < args.size(); ++k) out += (k ? ", " : "") + args[k];
      return out + ")";
    };
    if (parts.size() <= per_call) return call(head, parts);
    std::vector<std::string> groups;
    for (std::size_t start = 0; start < parts.size(); start += per_call) {
      auto first = parts.begin() + static_cast<std::ptrdiff_t>(start);
      auto last = parts.begin() + static_cast<std::ptrdiff_t>(std::min(parts.size(), start + per_call));
      groups.push_back(grouped_call(group, std::vector<std::string>(first, last), group));
    }
    return grouped_call(head, groups, group);
  }

  std::string case_sql(const expr& e) {
    std::string out = "CASE";
    std::size_t k = 0;
    value_type as = null_type();
    std::size_t pairs_end = e.args.size() - (e.has_else ? 1 : 0);
    bool pad = false;
    if (e.has_operand) {
      as = e.args[0]->type;
      for (std::size_t j = 1; j < pairs_end; j += 2) {
        as = compare_type(as, e.args[j]->type);
        pad = pad || padded(*e.args[0], *e.args[j]);
      }
      // With CHAR values CASE x WHEN y is WHEN x = y, compared blank-padded.
      if (!pad) out += " " + compared(*e.args[0], as);
      k = 1;
    }
    for (; k < pairs_end; k += 2) {
      std::string when = e.has_operand ? compared(*e.args[k], as) : key(*e.args[k]);
      if (pad) when = compared(*e.args[0], as) + " = " + when + collation(*e.args[0], *e.args[k]);
      out += " WHEN " + when + " THEN " + key_as(*e.args[k + 1], e.type);
    }
    if (e.has_else) out += " ELSE " + key_as(*e.args.back(), e.type);
    return out + " END";
  }

  std::string cast_sql(const expr& e) {
    const expr& a = *e.args[0];
    const col_type& to = e.type.desc;
    switch (e.type.fam) {
      case family::number:
        if (to.dict_precision)
          return "OL_NUMCAST(" + number_arg(a) + ", " + std::to_string(*to.dict_precision) + ", " +
                 std::to_string(to.dict_scale.value_or(0)) + ")";
        return a.type.fam == family::text ? "OL_TONUMBER(" + key(a) + ")" : "OL_NK(" + number_arg(a) + ")";
      case family::text: {
        std::string text = text_of(a);
        if (to.char_length == 0) return text;
        std::string unit(1, to.char_used == 'C' || to.charset_form == SQLCS_NCHAR ? 'C' : 'B');
        return "OL_CASTTEXT(" + text + ", " + std::to_string(to.char_length) + ", '" + unit + "', " +
               (e.type.fixed ? "1" : "0") + ")";
      }
      case family::date:
        if (a.type.fam != family::date) return "OL_TODATE(" + key(a) + ", " + kind_sql(e.type) + ")";
        return to.kind == col_kind::date ? "OL_ASDATE(" + key(a) + ")" : key(a);
      default:
        fail(3001);
    }
  }

  // A scalar subquery: its one value, ORA-01427 when it has more rows.
  std::string scalar_sql(const expr& e) {
    return "(SELECT OL_ONE(\"_s\".\"_1\") FROM (" + subqueries_.at(&e) + ") AS \"_s\")";
  }

  std::string pseudo_sql(const expr& e) {
    if (e.text == "ROWNUM") return "OL_NK(row_number() OVER ())";
    if (e.text == "LEVEL") return "OL_NK(" + current_level_ + ")";
    if (e.text == "USER") return sql_string(user_);
    if (e.text == "UID") return blob_literal(number_key(*parse_decimal("1")));
    if (e.text == "SYSDATE" || e.text == "CURRENT_DATE") return sql_string(date_key(local_date_at(now_)));
    if (e.text == "SYSTIMESTAMP" || e.text == "CURRENT_TIMESTAMP")
      return sql_string(date_key(local_timestamp_at(now_)));
    if (e.text == "LOCALTIMESTAMP") {
      datetime t = local_timestamp_at(now_);
      t.has_zone = false;
      return sql_string(date_key(t));
    }
    fail(904, "\"" + e.text + "\"");
  }

  std::string call_sql(const expr& e) {
    const std::string& name = e.text;
    if (e.over) return window_sql(e);
    if (e.aggregate) {
      if (name == "COUNT") return "OL_NK(" + count_sql(e) + ")";
      std::string arg = name == "SUM" || name == "AVG" ? number_arg(*e.args[0]) : key(*e.args[0]);
      std::string d = e.distinct ? "DISTINCT " : "";
      if (name == "SUM" || name == "AVG") {
        if (e.distinct) arg = key_as(*e.args[0], family::number);
        return std::string(name == "SUM" ? "OL_SUM(" : "OL_AVG(") + d + arg + ")";
      }
      return std::string(name == "MIN" ? "min(" : "max(") + d + arg + ")";
    }
    const value_type& to = e.type;
    if (name == "NVL") return "coalesce(" + key_as(*e.args[0], to) + ", " + key_as(*e.args[1], to) + ")";
    if (name == "NVL2")
      return "CASE WHEN " + key(*e.args[0]) + " IS NOT NULL THEN " + key_as(*e.args[1], to) + " ELSE " +
             key_as(*e.args[2], to) + " END";
    if (name == "COALESCE") {
      std::string out;
      for (const auto& a : e.args) out += (out.empty() ? "" : ", ") + key_as(*a, to);
      return e.args.size() == 1 ? out : "coalesce(" + out + ")";
    }
    if (name == "NULLIF") {
      value_type as = compare_type(e.args[0]->type, e.args[1]->type);
      return "CASE WHEN " + compared(*e.args[0], as) + " = " + compared(*e.args[1], as) + collation(*e.args[0], *e.args[1]) +
             " THEN NULL ELSE " + key(*e.args[0]) + " END";
    }
    if (name == "DECODE") {
      value_type as = e.args[0]->type;
      for (std::size_t k = 1; k + 1 < e.args.size(); k += 2) as = compare_type(as, e.args[k]->type);
      std::string out = "CASE";
      std::string subject = compared(*e.args[0], as);
      for (std::size_t k = 1; k + 1 < e.args.size(); k += 2)
        out += " WHEN " + subject + " IS " + compared(*e.args[k], as) + collation(*e.args[0], *e.args[k]) + " THEN " +
               key_as(*e.args[k + 1], to);
      if (e.args.size() % 2 == 0) out += " ELSE " + key_as(*e.args.back(), to);
      return out + " END";
    }
    if (name == "GREATEST" || name == "LEAST") {
      std::string out;
      for (const auto& a : e.args) out += (out.empty() ? "" : ", ") + key_as(*a, to);
      if (e.args.size() == 1) return out;
      return std::string(name == "GREATEST" ? "max(" : "min(") + out + ")";
    }
    if (name == "TO_DATE" || name == "TO_TIMESTAMP") {
      std::string out = "OL_TODATE(" + text_of(*e.args[0]) + ", " + (name == "TO_DATE" ? "0" : "1");
      if (e.args.size() > 1) out += ", " + text_of(*e.args[1]);
      return out + ")";
    }
    if (name == "TO_CHAR") {
      const expr& x = *e.args[0];
      std::string mask = e.args.size() > 1 ? ", " + text_of(*e.args[1]) : std::string();
      if (x.type.fam == family::number) return "OL_NUMCHAR(" + number_arg(x) + mask + ")";
      if (x.type.fam == family::date)
        return "OL_DATECHAR(" + key(x) + ", " + kind_sql(x.type) + ", " + fraction_sql(x.type) + mask + ")";
      return text_of(x);
    }
    if (name == "TO_NUMBER") {
      std::string out =
          "OL_TONUMBER(" + (e.args[0]->type.fam == family::number ? number_arg(*e.args[0]) : text_of(*e.args[0]));
      if (e.args.size() > 1) out += ", " + text_of(*e.args[1]);
      return out + ")";
    }
    if ((name == "ROUND" || name == "TRUNC") && e.args[0]->type.fam == family::date) {
      std::string out = std::string(name == "ROUND" ? "OL_DATEROUND(" : "OL_DATETRUNC(") + key(*e.args[0]);
      if (e.args.size() > 1) out += ", " + text_of(*e.args[1]);
      return out + ")";
    }
    if (name == "ROUND" || name == "TRUNC") {
      std::string out = std::string(name == "ROUND" ? "OL_ROUND(" : "OL_TRUNC(") + number_arg(*e.args[0]);
      if (e.args.size() > 1) out += ", " + number_arg(*e.args[1]);
      return out + ")";
    }
    if (const builtin_row* r = builtin_of(name)) {
      std::string out = std::string(r->sql) + "(";
      for (std::size_t k = 0; k < e.args.size(); ++k) {
        char want = builtin_arg(*r, k);
        const expr& a = *e.args[k];
        out += (k ? ", " : "") + (want == 'N' ? number_arg(a) : want == 'T' ? text_of(a) : key_as(a, family::date));
      }
      return out + ")";
    }
    fail(904, "\"" + name + "\"");
  }

  std::string window_sql(const expr& e) {
    const std::string& name = e.text;
    std::string over = " OVER (";
    if (!e.over->partition.empty()) {
      over += "PARTITION BY ";
      for (std::size_t k = 0; k < e.over->partition.size(); ++k) over += (k ? ", " : "") + key(*e.over->partition[k]);
    }
    if (!e.over->order.empty()) {
      over += (e.over->partition.empty() ? "" : " ") + std::string("ORDER BY ");
      for (std::size_t k = 0; k < e.over->order.size(); ++k)
        over += (k ? ", " : "") + order_term(sort_key(*e.over->order[k].e), e.over->order[k].desc, e.over->order[k].nulls);
    }
    over += ")";
    if (is_ranking(name)) return "OL_NK(" + to_lower(name) + "()" + over + ")";
    if (name == "COUNT") {
      std::string arg = e.star_arg ? "*" : key(*e.args[0]);
      return "OL_NK(count(" + arg + ")" + over + ")";
    }
    if (name == "SUM" || name == "AVG")
      return std::string(name == "SUM" ? "OL_SUM(" : "OL_AVG(") + number_arg(*e.args[0]) + ")" + over;
    return std::string(name == "MIN" ? "min(" : "max(") + key(*e.args[0]) + ")" + over;
  }

  static std::string to_lower(std::string s) {
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
  }
};

}  // namespace

query_translation translate_query(const std::vector<token>& tokens, const std::string& user, schema_lookup& schema) {
  translator t(tokens, schema, user);
  return t.run(tokens);
}

}  // namespace ocilite

// The parser of queries: recursive descent over the significant tokens,
// with the parentheses matched once beforehand so that a run of them that
// only wraps costs no recursion.
#include <algorithm>
#include <cstring>

#include "ocilite/ol_error.h"
#include "ocilite/ol_query_tree.h"

namespace ocilite::query {

namespace {

// Deeper nesting than this is refused: the statement SQLite would get
// could not be parsed either.
constexpr int k_deepest = 200;

const char* const k_reserved[] = {
    "ACCESS", "ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "AUDIT", "BETWEEN", "BY", "CHECK", "CLUSTER", "COLUMN",
    "COMMENT", "COMPRESS", "CONNECT", "CREATE", "CURRENT", "DEFAULT", "DELETE", "DESC", "DISTINCT", "DROP", "ELSE",
    "EXCLUSIVE", "EXISTS", "FILE", "FOR", "FROM", "GRANT", "GROUP", "HAVING", "IDENTIFIED", "IMMEDIATE", "IN",
    "INCREMENT", "INDEX", "INITIAL", "INSERT", "INTERSECT", "INTO", "IS", "LIKE", "LOCK", "MAXEXTENTS", "MINUS", "MODE",
    "MODIFY", "NOAUDIT", "NOCOMPRESS", "NOT", "NOWAIT", "NULL", "OF", "OFFLINE", "ON", "ONLINE", "OPTION", "OR",
    "ORDER", "PCTFREE", "PRIOR", "PRIVILEGES", "PUBLIC", "RENAME", "RESOURCE", "REVOKE", "ROW", "ROWS", "SELECT",
    "SESSION", "SET", "SHARE", "SIZE", "START", "SUCCESSFUL", "SYNONYM", "TABLE", "THEN", "TO", "TRIGGER", "UNION",
    "UNIQUE", "UPDATE", "VALIDATE", "VALUES", "VIEW", "WHENEVER", "WHERE", "WITH",
    // Not reserved, but the words of the clauses a name would stand in.
    "JOIN", "INNER", "LEFT", "RIGHT", "FULL", "OUTER", "CROSS", "NATURAL", "USING", "CASE", "WHEN", "END", "OFFSET",
    "FETCH", "EXCEPT"};

bool reserved(const std::string& upper) {
  for (const char* w : k_reserved)
    if (upper == w) return true;
  return false;
}

// The punctuation of the server's grammar; any other character is
// ORA-00911.
bool known_punct(const std::string& p) {
  static const char* const known[] = {"(", ")", ",",  ".",  "+",  "-",  "*",  "/", "||", "=",
                                      "<", ">", "<=", ">=", "<>", "!=", "^=", ":", "@"};
  for (const char* k : known)
    if (p == k) return true;
  return false;
}

class parser {
 public:
  explicit parser(const std::vector<token>& all) {
    for (const token& k : all)
      if (k.kind != tok::space && k.kind != tok::comment) t.push_back(k);
    for (const token& k : t)
      if (k.kind == tok::punct && !known_punct(k.text)) fail(911);
    // Every parenthesis with its partner, in one pass.
    match.assign(t.size(), std::string::npos);
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < t.size(); ++i) {
      if (punct_at(i, "(")) open.push_back(i);
      if (punct_at(i, ")") && !open.empty()) {
        match[open.back()] = i;
        match[i] = open.back();
        open.pop_back();
      }
    }
  }

  query_ptr statement() {
    query_ptr q = query_expression();
    if (i < t.size()) fail(933);
    return q;
  }

 private:
  std::vector<token> t;
  std::vector<std::size_t> match;
  std::size_t i = 0;
  int depth = 0;

  struct deeper {
    parser& p;
    explicit deeper(parser& owner) : p(owner) {
      if (++p.depth > k_deepest) fail(3001);
    }
    ~deeper() { --p.depth; }
  };

  bool punct_at(std::size_t k, const char* p) const {
    return k < t.size() && t[k].kind == tok::punct && t[k].text == p;
  }
  bool punct(const char* p) const { return punct_at(i, p); }
  bool word_at(std::size_t k, const char* w) const { return k < t.size() && t[k].kind == tok::word && t[k].value == w; }
  bool word(const char* w) const { return word_at(i, w); }
  bool accept_word(const char* w) {
    if (!word(w)) return false;
    ++i;
    return true;
  }
  bool accept(const char* p) {
    if (!punct(p)) return false;
    ++i;
    return true;
  }
  [[noreturn]] void missing(sb4 code) const { fail(i >= t.size() ? 921 : code); }
  void expect(const char* p, sb4 code) {
    if (!accept(p)) missing(code);
  }
  void expect_word(const char* w, sb4 code) {
    if (!accept_word(w)) missing(code);
  }
  bool name_at(std::size_t k) const {
    return k < t.size() && (t[k].kind == tok::quoted || (t[k].kind == tok::word && !reserved(t[k].value)));
  }
  // A name: quoted as written, a word in upper case.
  std::string read_name(bool& quoted) {
    if (!name_at(i)) missing(i < t.size() && t[i].kind == tok::word ? 904 : 936);
    quoted = t[i].kind == tok::quoted;
    if (quoted && t[i].value.empty()) fail(1741);
    return t[i++].value;
  }
  // Is the token after a run of opening parentheses at k one that starts a
  // query?
  bool query_inside(std::size_t k) const {
    while (punct_at(k, "(")) ++k;
    return word_at(k, "SELECT") || word_at(k, "WITH");
  }

  expr_ptr node(ek kind, std::size_t first) {
    auto e = std::make_unique<expr>();
    e->kind = kind;
    e->first = first;
    e->last = i > first ? i - 1 : first;
    return e;
  }
  void finish(expr& e) const { e.last = i > e.first ? i - 1 : e.first; }

  // ----------------------------------------------------------- queries

  query_ptr query_expression() {
    deeper guard(*this);
    std::size_t first = i;
    std::vector<with_query> with;
    if (accept_word("WITH")) with = with_clause();
    query_ptr q = set_expression();
    // A parenthesised query keeps its own clauses: those that follow it
    // belong to a query around it.
    bool closed = q->parenthesized || !q->with.empty();
    bool more =
        !with.empty() || word("ORDER") || word("OFFSET") || word("FETCH") || (word("FOR") && word_at(i + 1, "UPDATE"));
    if (closed && more) {
      auto wrap = std::make_unique<query_expr>();
      wrap->kind = query_expr::simple;
      wrap->first = first;
      wrap->left = std::move(q);
      q = std::move(wrap);
    }
    q->with = std::move(with);
    q->first = first;
    tail(*q);
    return q;
  }

  std::vector<with_query> with_clause() {
    std::vector<with_query> out;
    do {
      with_query w;
      w.name = read_name(w.quoted);
      if (accept("(")) {
        do {
          bool q = false;
          w.columns.push_back(read_name(q));
        } while (accept(","));
        expect(")", 907);
      }
      expect_word("AS", 905);
      if (!punct("(")) missing(906);
      ++i;
      w.q = query_expression();
      expect(")", 907);
      out.push_back(std::move(w));
    } while (accept(","));
    return out;
  }

  query_ptr set_expression() {
    query_ptr left = set_term();
    for (;;) {
      query_expr::kind_t kind;
      if (accept_word("UNION")) {
        kind = accept_word("ALL") ? query_expr::union_all : query_expr::union_;
      } else if (accept_word("INTERSECT")) {
        kind = query_expr::intersect;
      } else if (accept_word("MINUS")) {
        kind = query_expr::minus;
      } else {
        break;
      }
      auto q = std::make_unique<query_expr>();
      q->kind = kind;
      q->first = left->first;
      q->left = std::move(left);
      q->right = set_term();
      left = std::move(q);
    }
    return left;
  }

  query_ptr set_term() {
    std::size_t first = i;
    if (punct("(")) {
      if (!query_inside(i)) missing(928);
      ++i;
      query_ptr q = query_expression();
      expect(")", 907);
      q->parenthesized = true;
      q->first = first;
      return q;
    }
    if (!word("SELECT")) missing(928);
    auto q = std::make_unique<query_expr>();
    q->first = first;
    q->body = select_block();
    return q;
  }

  void tail(query_expr& q) {
    if (word("ORDER")) {
      ++i;
      if (accept_word("SIBLINGS")) fail(3001);
      expect_word("BY", 924);
      q.order = order_list();
    }
    if (accept_word("OFFSET")) {
      q.offset = expression();
      if (!accept_word("ROWS") && !accept_word("ROW")) missing(905);
    }
    if (accept_word("FETCH")) {
      if (!accept_word("FIRST") && !accept_word("NEXT")) missing(905);
      if (!word("ROWS") && !word("ROW")) q.fetch = expression();
      if (accept_word("PERCENT")) q.fetch_percent = true;
      if (!accept_word("ROWS") && !accept_word("ROW")) missing(905);
      if (accept_word("WITH")) {
        expect_word("TIES", 905);
        q.fetch_ties = true;
      } else {
        expect_word("ONLY", 905);
      }
      if (!q.fetch) {
        q.fetch = std::make_unique<expr>();
        q.fetch->kind = ek::number;
        q.fetch->text = "1";
      }
    }
    if (word("FOR") && word_at(i + 1, "UPDATE")) {
      i += 2;
      q.for_update = true;
      if (accept_word("OF")) {
        do {
          bool quoted = false;
          read_name(quoted);
          while (accept(".")) read_name(quoted);
        } while (accept(","));
      }
      if (accept_word("NOWAIT")) {
      } else if (accept_word("WAIT")) {
        if (i < t.size() && t[i].kind == tok::number)
          ++i;
        else
          missing(936);
      } else if (word("SKIP") && word_at(i + 1, "LOCKED")) {
        i += 2;
      }
    }
  }

  std::vector<order_key> order_list() {
    std::vector<order_key> out;
    do {
      order_key k;
      k.e = expression();
      if (accept_word("DESC"))
        k.desc = true;
      else
        accept_word("ASC");
      if (accept_word("NULLS")) {
        if (accept_word("FIRST"))
          k.nulls = 1;
        else if (accept_word("LAST"))
          k.nulls = 2;
        else
          missing(905);
      }
      out.push_back(std::move(k));
    } while (accept(","));
    return out;
  }

  std::unique_ptr<block> select_block() {
    auto b = std::make_unique<block>();
    b->first = i;
    expect_word("SELECT", 928);
    if (accept_word("DISTINCT") || accept_word("UNIQUE"))
      b->distinct = true;
    else
      accept_word("ALL");
    do b->items.push_back(select_item());
    while (accept(","));
    if (!accept_word("FROM")) fail(923);
    do b->from.push_back(from_item());
    while (accept(","));
    if (accept_word("WHERE")) b->where = condition();
    for (;;) {
      if (word("START") && word_at(i + 1, "WITH") && !b->start_with) {
        i += 2;
        b->start_with = condition();
      } else if (word("CONNECT") && word_at(i + 1, "BY") && !b->connect_by) {
        i += 2;
        if (accept_word("NOCYCLE")) b->nocycle = true;
        b->connect_by = condition();
      } else {
        break;
      }
    }
    if (b->start_with && !b->connect_by) missing(905);
    for (;;) {
      if (word("GROUP") && b->group_by.empty()) {
        ++i;
        expect_word("BY", 924);
        do b->group_by.push_back(expression());
        while (accept(","));
      } else if (word("HAVING") && !b->having) {
        ++i;
        b->having = condition();
      } else {
        break;
      }
    }
    return b;
  }

  item select_item() {
    item it;
    std::size_t first = i;
    if (punct("*")) {
      it.e = node(ek::star, i);
      ++i;
      return it;
    }
    // name.* and name.name.*
    std::size_t k = i;
    while (name_at(k) && punct_at(k + 1, ".")) k += 2;
    if (k > i && punct_at(k, "*")) {
      it.e = node(ek::star, i);
      while (i < k) {
        it.e->path.push_back(t[i].value);
        it.e->quoted.push_back(t[i].kind == tok::quoted);
        i += 2;
      }
      ++i;
      finish(*it.e);
      return it;
    }
    it.e = expression();
    it.heading = heading_of(t, first, i - 1);
    if (accept_word("AS")) {
      if (!name_at(i)) missing(923);
      it.alias = read_name(it.alias_quoted);
      it.has_alias = true;
    } else if (name_at(i) && !word("FROM")) {
      it.alias = read_name(it.alias_quoted);
      it.has_alias = true;
    }
    return it;
  }

  // ----------------------------------------------------------- sources

  std::unique_ptr<source> from_item() {
    std::unique_ptr<source> left = table_primary();
    for (;;) {
      join_spec j;
      std::size_t at = i;
      if (accept_word("NATURAL")) j.natural = true;
      if (accept_word("CROSS")) {
        j.kind = join_spec::cross;
      } else if (accept_word("INNER")) {
        j.kind = join_spec::inner;
      } else if (accept_word("LEFT")) {
        j.kind = join_spec::left;
        accept_word("OUTER");
      } else if (accept_word("RIGHT")) {
        j.kind = join_spec::right;
        accept_word("OUTER");
      } else if (accept_word("FULL")) {
        j.kind = join_spec::full;
        accept_word("OUTER");
      } else if (word("JOIN")) {
        j.kind = join_spec::inner;
      } else {
        if (j.natural) i = at;
        break;
      }
      expect_word("JOIN", 905);
      auto joined = std::make_unique<source>();
      joined->kind = source::joined;
      joined->first = left->first;
      joined->left = std::move(left);
      joined->right = table_primary();
      if (j.kind != join_spec::cross && !j.natural) {
        if (accept_word("ON")) {
          j.on = condition();
        } else if (accept_word("USING")) {
          expect("(", 906);
          do {
            bool quoted = false;
            j.using_columns.push_back(read_name(quoted));
          } while (accept(","));
          expect(")", 907);
        } else {
          missing(905);
        }
      }
      joined->join = std::move(j);
      left = std::move(joined);
    }
    return left;
  }

  std::unique_ptr<source> table_primary() {
    deeper guard(*this);
    auto s = std::make_unique<source>();
    s->first = i;
    if (punct("(")) {
      if (query_inside(i)) {
        ++i;
        s->kind = source::derived;
        s->sub = query_expression();
        expect(")", 907);
      } else {
        ++i;
        std::unique_ptr<source> inner = from_item();
        expect(")", 907);
        s = std::move(inner);
      }
    } else {
      if (word("LATERAL") || (word("TABLE") && punct_at(i + 1, "(")) || word("ONLY")) fail(3001);
      if (!name_at(i)) missing(903);
      s->name = read_name(s->quoted);
      if (accept(".")) {
        // The schema: the connected user's own, SYS and PUBLIC name the
        // same objects here.
        s->name = read_name(s->quoted);
      }
      if (punct("@")) fail(3001);
    }
    if (word("AS")) fail(933);
    if ((word("PARTITION") || word("SAMPLE")) && punct_at(i + 1, "(")) fail(3001);
    if (name_at(i)) {
      s->alias = read_name(s->alias_quoted);
      s->has_alias = true;
    }
    return s;
  }

  // ----------------------------------------------------------- conditions

  expr_ptr condition() { return joined(ek::or_, "OR", &parser::and_condition); }
  expr_ptr and_condition() { return joined(ek::and_, "AND", &parser::not_condition); }

  // Operands joined by OR or by AND: one node for the whole run.
  expr_ptr joined(ek kind, const char* word_between, expr_ptr (parser::*operand)()) {
    std::size_t first = i;
    expr_ptr left = (this->*operand)();
    if (!word(word_between)) return left;
    expr_ptr e = node(kind, first);
    e->args.push_back(std::move(left));
    while (accept_word(word_between)) e->args.push_back((this->*operand)());
    finish(*e);
    return e;
  }

  expr_ptr not_condition() {
    std::size_t first = i;
    if (accept_word("NOT")) {
      deeper guard(*this);
      expr_ptr e = node(ek::not_, first);
      e->args.push_back(not_condition());
      finish(*e);
      return e;
    }
    return predicate();
  }

  expr_ptr subquery_in_parens() {
    if (!punct("(")) missing(906);
    ++i;
    query_ptr q = query_expression();
    expect(")", 907);
    auto e = std::make_unique<expr>();
    e->sub = std::move(q);
    return e;
  }

  expr_ptr predicate() {
    std::size_t first = i;
    if (accept_word("EXISTS")) {
      expr_ptr e = node(ek::exists, first);
      if (!punct("(") || !query_inside(i)) missing(906);
      e->sub = std::move(subquery_in_parens()->sub);
      finish(*e);
      return e;
    }
    expr_ptr left = expression(true);
    static const char* const comparisons[] = {"=", "<>", "!=", "^=", "<", ">", "<=", ">="};
    for (const char* op : comparisons) {
      if (!punct(op)) continue;
      ++i;
      expr_ptr e = node(ek::compare, first);
      e->text = op;
      if (e->text == "!=" || e->text == "^=") e->text = "<>";
      e->args.push_back(std::move(left));
      if (word("ANY") || word("SOME") || word("ALL")) {
        e->quantifier = word("ALL") ? "ALL" : "ANY";
        ++i;
        if (!punct("(")) missing(906);
        if (query_inside(i)) {
          e->sub = std::move(subquery_in_parens()->sub);
        } else {
          ++i;
          auto list = node(ek::row, i);
          do list->args.push_back(expression());
          while (accept(","));
          expect(")", 907);
          e->args.push_back(std::move(list));
        }
      } else {
        e->args.push_back(expression());
      }
      finish(*e);
      return e;
    }
    bool negated = false;
    std::size_t at = i;
    if (accept_word("NOT")) negated = true;
    if (!negated && accept_word("IS")) {
      expr_ptr e = node(ek::is_null, first);
      e->negated = accept_word("NOT");
      expect_word("NULL", 908);
      e->args.push_back(std::move(left));
      finish(*e);
      return e;
    }
    if (accept_word("LIKE")) {
      expr_ptr e = node(ek::like, first);
      e->negated = negated;
      e->args.push_back(std::move(left));
      e->args.push_back(expression());
      if (accept_word("ESCAPE")) e->args.push_back(expression());
      finish(*e);
      return e;
    }
    if (accept_word("BETWEEN")) {
      expr_ptr e = node(ek::between, first);
      e->negated = negated;
      e->args.push_back(std::move(left));
      e->args.push_back(expression());
      expect_word("AND", 905);
      e->args.push_back(expression());
      finish(*e);
      return e;
    }
    if (accept_word("IN")) {
      if (!punct("(")) missing(906);
      if (query_inside(i)) {
        expr_ptr e = node(ek::in_query, first);
        e->negated = negated;
        e->args.push_back(std::move(left));
        e->sub = std::move(subquery_in_parens()->sub);
        finish(*e);
        return e;
      }
      ++i;
      expr_ptr e = node(ek::in_list, first);
      e->negated = negated;
      e->args.push_back(std::move(left));
      do e->args.push_back(expression());
      while (accept(","));
      expect(")", 907);
      if (e->args.size() > 1001) fail(1795);
      finish(*e);
      return e;
    }
    if (negated) {
      i = at;
      missing(920);
    }
    return left;
  }

  // ----------------------------------------------------------- expressions

  // A chain of + - || (one precedence, left to right) over terms. With
  // `condition_inside`, a parenthesised operand may be a condition.
  expr_ptr expression(bool condition_inside = false) {
    return chain(condition_inside, {"+", "-", "||"}, &parser::term);
  }

  expr_ptr term(bool condition_inside) { return chain(condition_inside, {"*", "/"}, &parser::factor); }

  // Operands joined by the operators of one precedence: one node for each
  // run of operators of one class (+ and -, ||, * and /), so that a long
  // chain is no deep tree. || is written '|' in the node's operators.
  expr_ptr chain(bool condition_inside, std::initializer_list<const char*> operators,
                 expr_ptr (parser::*operand)(bool)) {
    auto at_operator = [&]() {
      for (const char* op : operators)
        if (punct(op)) return true;
      return false;
    };
    auto class_of = [](char op) { return op == '|' ? 1 : op == '*' || op == '/' ? 2 : 0; };
    std::size_t first = i;
    expr_ptr left = (this->*operand)(condition_inside);
    while (at_operator()) {
      char op = t[i].text == "||" ? '|' : t[i].text[0];
      ++i;
      expr_ptr right = (this->*operand)(condition_inside);
      if (left->kind == ek::chain && class_of(left->ops[0]) == class_of(op)) {
        left->ops += op;
        left->args.push_back(std::move(right));
        finish(*left);
        continue;
      }
      expr_ptr e = node(ek::chain, first);
      e->ops = std::string(1, op);
      e->args.push_back(std::move(left));
      e->args.push_back(std::move(right));
      finish(*e);
      left = std::move(e);
    }
    return left;
  }

  // Signs before a primary: a run of them is read in a loop; two minus
  // signs cancel out.
  expr_ptr factor(bool condition_inside) {
    std::size_t first = i;
    bool negative = false;
    bool any = false;
    while (punct("+") || punct("-")) {
      if (punct("-")) negative = !negative;
      any = true;
      ++i;
    }
    if (accept_word("PRIOR")) {
      deeper guard(*this);
      expr_ptr e = node(ek::prior, first);
      e->args.push_back(factor(false));
      finish(*e);
      return e;
    }
    if (any && word("PRIOR")) missing(936);
    expr_ptr p = primary(condition_inside);
    if (!negative) {
      if (any) p->first = first;
      return p;
    }
    expr_ptr e = node(ek::negate, first);
    e->args.push_back(std::move(p));
    finish(*e);
    return e;
  }

  expr_ptr primary(bool condition_inside) {
    std::size_t first = i;
    if (i >= t.size()) fail(921);
    const token& k = t[i];
    switch (k.kind) {
      case tok::number: {
        ++i;
        expr_ptr e = node(ek::number, first);
        e->text = k.text;
        return e;
      }
      case tok::string: {
        ++i;
        expr_ptr e = node(ek::string, first);
        e->text = k.value;
        return e;
      }
      case tok::param: {
        ++i;
        expr_ptr e = node(ek::param, first);
        e->text = k.value;
        return e;
      }
      case tok::blob:
        fail(911);
      case tok::punct:
        if (k.text == "(") return parenthesised(condition_inside);
        missing(936);
      default:
        break;
    }
    if (k.kind == tok::word) {
      const std::string& w = k.value;
      if (w == "NULL") {
        ++i;
        return node(ek::null, first);
      }
      if (w == "CASE") return case_expression();
      if ((w == "DATE" || w == "TIMESTAMP") && i + 1 < t.size() && t[i + 1].kind == tok::string) {
        i += 2;
        expr_ptr e = node(ek::datetime, first);
        e->text = w;
        auto lit = std::make_unique<expr>();
        lit->kind = ek::string;
        lit->text = t[i - 1].value;
        lit->first = lit->last = i - 1;
        e->args.push_back(std::move(lit));
        return e;
      }
      if (w == "INTERVAL" && i + 1 < t.size() && t[i + 1].kind == tok::string) return interval_literal();
      if (w == "CAST" && punct_at(i + 1, "(")) return cast_expression();
      if (w == "EXTRACT" && punct_at(i + 1, "(")) return extract_expression();
      if (w == "TRIM" && punct_at(i + 1, "(")) return trim_expression();
      static const char* const pseudo[] = {"ROWNUM", "LEVEL",        "SYSDATE",           "SYSTIMESTAMP",  "USER",
                                           "UID",    "CURRENT_DATE", "CURRENT_TIMESTAMP", "LOCALTIMESTAMP"};
      for (const char* p : pseudo)
        if (w == p && !punct_at(i + 1, "(") && !punct_at(i + 1, ".")) {
          ++i;
          expr_ptr e = node(ek::pseudo, first);
          e->text = w;
          return e;
        }
      if (reserved(w) && w != "ROWID") missing(936);
    }
    if (k.kind != tok::word && k.kind != tok::quoted) missing(936);
    return name_or_call();
  }

  expr_ptr parenthesised(bool condition_inside) {
    std::size_t first = i;
    if (query_inside(i)) {
      deeper guard(*this);
      expr_ptr e = node(ek::subquery, first);
      ++i;
      e->sub = query_expression();
      expect(")", 907);
      finish(*e);
      return e;
    }
    // Parentheses that only wrap others: no recursion for them.
    std::size_t open = i;
    while (punct_at(open, "(") && punct_at(open + 1, "(") && match[open] != std::string::npos &&
           match[open + 1] != std::string::npos && match[open + 1] + 1 == match[open])
      ++open;
    std::size_t skipped = open - i;
    i = open + 1;
    deeper guard(*this);
    expr_ptr inner = condition_inside ? condition() : expression();
    if (accept(",")) {
      expr_ptr row = node(ek::row, first);
      row->args.push_back(std::move(inner));
      do row->args.push_back(expression());
      while (accept(","));
      inner = std::move(row);
    }
    expect(")", 907);
    for (std::size_t k = 0; k < skipped; ++k) expect(")", 907);
    inner->first = first;
    finish(*inner);
    return inner;
  }

  expr_ptr case_expression() {
    deeper guard(*this);
    std::size_t first = i;
    ++i;
    expr_ptr e = node(ek::case_, first);
    if (!word("WHEN")) {
      e->has_operand = true;
      e->args.push_back(expression());
    }
    if (!word("WHEN")) missing(905);
    while (accept_word("WHEN")) {
      e->args.push_back(e->has_operand ? expression() : condition());
      expect_word("THEN", 905);
      e->args.push_back(expression());
    }
    if (accept_word("ELSE")) {
      e->has_else = true;
      e->args.push_back(expression());
    }
    expect_word("END", 905);
    finish(*e);
    return e;
  }

  std::vector<token> type_name() {
    std::vector<token> out;
    int open = 0;
    while (i < t.size()) {
      if (punct(")") && open == 0) break;
      if (punct("(")) ++open;
      if (punct(")")) --open;
      out.push_back(t[i++]);
    }
    if (out.empty()) missing(902);
    return out;
  }

  expr_ptr cast_expression() {
    deeper guard(*this);
    std::size_t first = i;
    i += 2;
    expr_ptr e = node(ek::cast, first);
    e->args.push_back(expression());
    expect_word("AS", 905);
    e->type_tokens = type_name();
    for (const token& k : e->type_tokens) {
      if (!e->type_text.empty() && k.kind == tok::word && e->type_text.back() != '(') e->type_text += ' ';
      e->type_text += k.kind == tok::word ? k.value : k.text;
    }
    expect(")", 907);
    finish(*e);
    return e;
  }

  expr_ptr extract_expression() {
    deeper guard(*this);
    std::size_t first = i;
    i += 2;
    expr_ptr e = node(ek::extract, first);
    if (i >= t.size() || t[i].kind != tok::word) missing(905);
    e->text = t[i++].value;
    expect_word("FROM", 905);
    e->args.push_back(expression());
    expect(")", 907);
    finish(*e);
    return e;
  }

  expr_ptr trim_expression() {
    deeper guard(*this);
    std::size_t first = i;
    i += 2;
    expr_ptr e = node(ek::trim, first);
    e->text = "BOTH";
    bool side = false;
    if (word("LEADING") || word("TRAILING") || word("BOTH")) {
      e->text = t[i++].value;
      side = true;
    }
    expr_ptr character;
    if (!word("FROM")) character = expression();
    if (accept_word("FROM")) {
      e->args.push_back(expression());
      if (character) e->args.push_back(std::move(character));
    } else {
      if (side || !character) missing(905);
      e->args.push_back(std::move(character));
    }
    expect(")", 907);
    finish(*e);
    return e;
  }

  expr_ptr interval_literal() {
    std::size_t first = i;
    ++i;
    expr_ptr e = node(ek::interval, first);
    e->text = t[i++].value;
    // YEAR [(p)] [TO MONTH], DAY [(p)] [TO HOUR|MINUTE|SECOND [(s)]], ...
    auto field = [&]() {
      if (i >= t.size() || t[i].kind != tok::word) missing(905);
      std::string f = t[i++].value;
      if (f != "YEAR" && f != "MONTH" && f != "DAY" && f != "HOUR" && f != "MINUTE" && f != "SECOND") missing(30089);
      if (accept("(")) {
        f += "(";
        if (i >= t.size() || t[i].kind != tok::number) missing(30088);
        f += t[i++].text;
        if (accept(",")) {
          if (i >= t.size() || t[i].kind != tok::number) missing(30088);
          f += "," + t[i++].text;
        }
        expect(")", 907);
        f += ")";
      }
      return f;
    };
    e->type_text = field();
    if (accept_word("TO")) e->type_text += " TO " + field();
    finish(*e);
    return e;
  }

  expr_ptr name_or_call() {
    std::size_t first = i;
    std::vector<std::string> path;
    std::vector<bool> quoted;
    for (;;) {
      bool q = t[i].kind == tok::quoted;
      if (q && t[i].value.empty()) fail(1741);
      path.push_back(t[i].value);
      quoted.push_back(q);
      ++i;
      if (!punct(".")) break;
      if (word_at(i + 1, "NEXTVAL") || word_at(i + 1, "CURRVAL")) {
        i += 2;
        expr_ptr e = node(ek::sequence, first);
        e->path = {path.back(), t[i - 1].value};
        e->quoted = {quoted.back(), false};
        return e;
      }
      if (punct_at(i + 1, "*")) break;  // name.*: the select list reads it
      ++i;
      if (i >= t.size() || (t[i].kind != tok::word && t[i].kind != tok::quoted)) missing(904);
    }
    if (punct("(")) return call(first, std::move(path), std::move(quoted));
    expr_ptr e = node(ek::column, first);
    e->path = std::move(path);
    e->quoted = std::move(quoted);
    finish(*e);
    return e;
  }

  expr_ptr call(std::size_t first, std::vector<std::string> path, std::vector<bool> quoted) {
    deeper guard(*this);
    expr_ptr e = node(ek::call, first);
    e->text = path.back();
    e->path = std::move(path);
    e->quoted = std::move(quoted);
    ++i;  // (
    if (punct("+") && punct_at(i + 1, ")")) {
      // column(+): the outer join mark.
      i += 2;
      e->kind = ek::column;
      e->outer_mark = true;
      finish(*e);
      return e;
    }
    if (accept(")")) {
      finish(*e);
      return over_clause(std::move(e));
    }
    if (punct("*") && punct_at(i + 1, ")")) {
      i += 2;
      e->star_arg = true;
      finish(*e);
      return over_clause(std::move(e));
    }
    if (accept_word("DISTINCT") || accept_word("UNIQUE"))
      e->distinct = true;
    else
      accept_word("ALL");
    do e->args.push_back(expression());
    while (accept(","));
    expect(")", 907);
    finish(*e);
    return over_clause(std::move(e));
  }

  expr_ptr over_clause(expr_ptr e) {
    if (!word("OVER")) return e;
    ++i;
    expect("(", 906);
    auto w = std::make_unique<window>();
    if (accept_word("PARTITION")) {
      expect_word("BY", 924);
      do w->partition.push_back(expression());
      while (accept(","));
    }
    if (accept_word("ORDER")) {
      expect_word("BY", 924);
      w->order = order_list();
    }
    if (word("ROWS") || word("RANGE")) {
      std::size_t close = i;
      while (close < t.size() && !punct_at(close, ")")) ++close;
      for (std::size_t k = i; k < close; ++k) {
        if (!w->frame.empty()) w->frame += ' ';
        w->frame += t[k].kind == tok::word ? t[k].value : t[k].text;
      }
      i = close;
    }
    expect(")", 907);
    e->over = std::move(w);
    finish(*e);
    return e;
  }
};

}  // namespace

query_ptr parse_query(const std::vector<token>& tokens) {
  parser p(tokens);
  return p.statement();
}

std::string heading_of(const std::vector<token>& t, std::size_t first, std::size_t last) {
  std::string out;
  for (std::size_t k = first; k <= last && k < t.size(); ++k) out += t[k].kind == tok::word ? t[k].value : t[k].text;
  return out;
}

}  // namespace ocilite::query

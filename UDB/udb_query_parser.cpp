#include "UDB/udb_query_parser.h"

#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/win32.h"

#include <cwctype>

const wchar_t* const select_modifiers[4] = {L" ALL ", L" DISTINCT ", L" DISTINCTROW ", L" TOP "};

namespace {

const std::wstring kw_select = L"SELECT ";
const std::wstring kw_from = L" FROM ";
const std::wstring kw_into = L" INTO ";
const std::wstring kw_where = L" WHERE ";
const std::wstring kw_group = L" GROUP BY ";
const std::wstring kw_order = L" ORDER BY ";

enum class clause { items, into, from, where, group, order };

std::wstring slice(const std::wstring& text, std::size_t from, std::size_t to) {
  if (from >= to || from >= text.size()) return std::wstring();
  return text.substr(from, to - from);
}

// Equal but for blanks and line breaks and the case of letters: the
// keywords come back in upper case, between blanks of their own.
bool same_text(const std::wstring& a, const std::wstring& b) {
  auto squeeze = [](const std::wstring& s) {
    std::wstring out;
    for (wchar_t c : s)
      if (c != L' ' && c != L'\t' && c != L'\r' && c != L'\n') out.push_back(static_cast<wchar_t>(std::towupper(c)));
    return out;
  };
  return squeeze(a) == squeeze(b);
}

}  // namespace

udb_query_parser::udb_query_parser() { tk_log::write(1, "udb_query_parser::ctor"); }

udb_query_parser::~udb_query_parser() { tk_log::write(1, "udb_query_parser::dtor"); }

bool udb_query_parser::get_token_if(std::size_t position, const std::wstring& keyword, std::size_t& end) const {
  tk_log::write(1, L"udb_query_parser::get_token_if(%d,'%ls')", static_cast<int>(position), keyword.c_str());
  if (position + keyword.size() >= text.size()) return false;
  if (CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, text.c_str() + position, static_cast<int>(keyword.size()),
                     keyword.c_str(), static_cast<int>(keyword.size())) != CSTR_EQUAL)
    return false;
  tk_log::write(1, L"'%ls' is found at position=%d", keyword.c_str(), static_cast<int>(position));
  end = position + keyword.size();
  return true;
}

bool udb_query_parser::initialize(const std::wstring& sql) {
  if (!parse(sql)) return false;
  // What the scanner cannot follow (a UNION after a parenthesis, text after
  // an unbalanced one) must not come back as a shorter statement.
  std::wstring whole = text.substr(select_pos);
  if (!whole.empty() && whole.back() == L';') whole.pop_back();
  if (into_end > into_start) whole.erase(into_start - select_pos, into_end - into_start);
  if (!same_text(get_query(), whole)) {
    tk_log::write(2, L"The statement cannot be rebuilt whole: %ls", sql.c_str());
    return false;
  }
  return true;
}

bool udb_query_parser::parse(const std::wstring& sql) {
  tk_log::write(1, "udb_query_parser::initialize");
  // Line breaks become blanks, but not inside quotes: there they belong
  // to a value.
  text = sql;
  bool single = false, dbl = false;
  for (wchar_t& c : text) {
    if (c == L'\'' && !dbl) single = !single;
    else if (c == L'"' && !single) dbl = !dbl;
    else if ((c == L'\r' || c == L'\n') && !single && !dbl) c = L' ';
  }
  tk_log::write(1, L"str_query=%ls", text.c_str());

  // The statement is a SELECT from its start: one found further in (after
  // WITH, or inside a parenthesis) is not the statement.
  select_pos = text.find_first_not_of(L' ');
  std::size_t i = 0;
  if (select_pos == std::wstring::npos || !get_token_if(select_pos, kw_select, i)) {
    tk_log::write(1, "SELECT was NOT found");
    return false;
  }
  tk_log::write(1, "SELECT is found at position=%d", static_cast<int>(select_pos));

  while (i < text.size() && text[i] == L' ') ++i;
  tk_log::write(1, "Searching SELECT-modifiers at pos=%d", static_cast<int>(i));
  for (const wchar_t* modifier : select_modifiers) {
    std::size_t after = 0;
    if (get_token_if(i - 1, modifier, after)) {
      select_modifier = modifier;
      i = after;
      break;
    }
  }

  clause open = clause::items;
  std::size_t item_start = i;
  std::size_t clause_start = 0;
  bool in_single = false;
  bool in_double = false;
  int brackets = 0;
  int parens = 0;
  std::size_t end = text.size();

  while (i < text.size()) {
    wchar_t c = text[i];
    if (c == L'\'' && !in_double) {
      in_single = !in_single;
      tk_log::write(1, in_single ? "Inside single-quotes" : "Outside single-quotes");
      ++i;
      continue;
    }
    if (c == L'"' && !in_single) {
      in_double = !in_double;
      ++i;
      continue;
    }
    if (in_single || in_double) {
      ++i;
      continue;
    }
    // The clauses are rebuilt on one line, where a "--" comment would run
    // on over the rest of the statement.
    if ((c == L'-' || c == L'/') && i + 1 < text.size() && text[i + 1] == (c == L'-' ? L'-' : L'*')) {
      tk_log::write(1, "Comment at pos=%d: the statement cannot be rebuilt", static_cast<int>(i));
      return false;
    }
    if (c == L'[') ++brackets;
    else if (c == L']') --brackets;
    else if (c == L'(') ++parens;
    else if (c == L')') --parens;
    if (brackets < 0 || parens < 0) {
      tk_log::write(1, "** End of sub-query at pos=%d", static_cast<int>(i));
      end = i;
      break;
    }

    std::size_t after = 0;
    if (open == clause::items || open == clause::into) {
      if (brackets == 0 && parens == 0) {
        if (c == L',' && open == clause::items) {
          select_items.push_back(slice(text, item_start, i));
          tk_log::write(1, L"SELECT-argument is found: '%ls' (start=%d, end=%d)", select_items.back().c_str(),
                        static_cast<int>(item_start), static_cast<int>(i));
          item_start = i + 1;
        } else if (open == clause::items && get_token_if(i, kw_into, after)) {
          tk_log::write(1, "'INTO' token is found at pos=%d", static_cast<int>(i));
          select_items.push_back(slice(text, item_start, i));
          open = clause::into;
          into_start = i;
          clause_start = after;
          i = after;
          continue;
        } else if (get_token_if(i, kw_from, after)) {
          tk_log::write(1, "'FROM' token is found at pos=%d", static_cast<int>(i));
          if (open == clause::into) {
            into_part = slice(text, clause_start, i);
            into_end = i;
          } else {
            select_items.push_back(slice(text, item_start, i));
          }
          open = clause::from;
          clause_start = after;
          i = after;
          continue;
        }
      }
      ++i;
      continue;
    }

    // A sub-query in FROM follows an opening parenthesis; only the first
    // gets a parser of its own, later ones stay in the FROM text.
    if (open == clause::from && !sub_query && parens > 0 && get_token_if(i, kw_select, after)) {
      std::size_t paren = i;
      while (paren > clause_start && text[paren - 1] == L' ') --paren;
      if (paren > clause_start && text[paren - 1] == L'(') {
        --paren;
        tk_log::write(1, ">>> FROM-subquery has been found at pos=%d", static_cast<int>(i));
        from_prefix = slice(text, clause_start, paren);
        sub_query = std::make_unique<udb_query_parser>();
        if (!sub_query->parse(text.substr(i))) return false;
        std::size_t stop = i + sub_query->end_pos;
        tk_log::write(1, "Return from sub-parser at position: %d", static_cast<int>(stop));
        // The sub-query's closing parenthesis is this parser's too.
        if (stop < text.size()) {
          if (text[stop] == L')' && parens > 0) --parens;
          else if (text[stop] == L']' && brackets > 0) --brackets;
        }
        clause_start = stop + 1;
        i = stop + 1;
        continue;
      }
    }

    if (brackets == 0 && parens == 0) {
      std::wstring* closing = nullptr;
      clause next = open;
      if (open == clause::from && get_token_if(i, kw_where, after)) {
        closing = &from_part;
        next = clause::where;
      } else if ((open == clause::from || open == clause::where) && get_token_if(i, kw_group, after)) {
        closing = open == clause::from ? &from_part : &where_part;
        next = clause::group;
      } else if (open != clause::order && get_token_if(i, kw_order, after)) {
        closing = open == clause::from ? &from_part : open == clause::where ? &where_part : &group_part;
        next = clause::order;
      }
      if (closing) {
        *closing = slice(text, clause_start, i);
        if (closing == &from_part && sub_query) from_part = tk_ltrim(from_part);
        open = next;
        clause_start = after;
        i = after;
        continue;
      }
    }
    ++i;
  }

  end_pos = end;
  if (end > 0 && text[end - 1] == L';') --end;
  switch (open) {
    case clause::items: {
      // A statement without FROM keeps its last item.
      std::wstring last = slice(text, item_start, end);
      if (!tk_trim(last).empty()) select_items.push_back(last);
      break;
    }
    case clause::into:
      into_part = slice(text, clause_start, end);
      into_end = end;
      break;
    case clause::from:
      from_part = slice(text, clause_start, end);
      if (sub_query) from_part = tk_ltrim(from_part);
      tk_log::write(1, L"Got FROM-part: %ls", from_part.c_str());
      break;
    case clause::where:
      where_part = slice(text, clause_start, end);
      break;
    case clause::group:
      group_part = slice(text, clause_start, end);
      break;
    case clause::order:
      order_part = slice(text, clause_start, end);
      tk_log::write(1, L"Got ORDER-part: %ls", order_part.c_str());
      break;
  }
  tk_log::write(1, "At the end of udb_query_parser::initialize");
  return true;
}

std::wstring udb_query_parser::get_from_part() const {
  if (sub_query) return from_prefix + L"(" + sub_query->get_query() + L") " + from_part;
  return from_part;
}

std::wstring udb_query_parser::get_query() const {
  std::wstring query = kw_select + select_modifier + tk_join(select_items, L',');
  std::wstring from = get_from_part();
  // A statement without FROM stays without one.
  if (!from.empty()) query += kw_from + from;
  if (!where_part.empty()) query += kw_where + where_part;
  if (!group_part.empty()) query += kw_group + group_part;
  if (!having_part.empty()) query += L" HAVING " + having_part;
  if (!order_part.empty()) query += kw_order + order_part;
  tk_log::write(2, L"result=%ls", query.c_str());
  return query;
}

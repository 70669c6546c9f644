#include "jet/jet_sql.h"

#include <cwctype>

namespace {

class scanner {
 public:
  explicit scanner(const std::wstring& text) : text(text) {}

  void blanks() {
    while (at < text.size() && std::iswspace(static_cast<wint_t>(text[at]))) ++at;
  }
  // The word, ignoring case, as a whole word.
  bool word(const wchar_t* w) {
    blanks();
    std::size_t i = at;
    for (; *w; ++w, ++i)
      if (i >= text.size() || std::towupper(static_cast<wint_t>(text[i])) != static_cast<wint_t>(*w)) return false;
    if (i < text.size() && (std::iswalnum(static_cast<wint_t>(text[i])) || text[i] == L'_')) return false;
    at = i;
    return true;
  }
  bool symbol(wchar_t c) {
    blanks();
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
  }
  bool name(std::wstring& out) {
    blanks();
    if (at < text.size() && text[at] == L'[') {
      std::size_t close = text.find(L']', at + 1);
      if (close == std::wstring::npos || close == at + 1) return false;
      out = text.substr(at + 1, close - at - 1);
      at = close + 1;
      return true;
    }
    std::size_t start = at;
    while (at < text.size() && (std::iswalnum(static_cast<wint_t>(text[at])) || text[at] == L'_' || text[at] == L'$'))
      ++at;
    out = text.substr(start, at - start);
    return !out.empty();
  }
  bool end() {
    symbol(L';');
    blanks();
    return at == text.size();
  }

 private:
  const std::wstring& text;
  std::size_t at = 0;
};

bool select_all(scanner& s, std::wstring& table) {
  return s.word(L"SELECT") && s.symbol(L'*') && s.word(L"FROM") && s.name(table);
}

}  // namespace

bool jet_parse_query(const std::wstring& sql, jet_query& query) {
  scanner s(sql);
  if (!s.word(L"SELECT")) return false;
  if (s.symbol(L'*')) {
    query.kind = jet_query::all;
    return s.word(L"FROM") && s.name(query.table) && s.end();
  }
  query.kind = jet_query::count;
  if (!(s.word(L"COUNT") && s.symbol(L'(') && s.symbol(L'*') && s.symbol(L')') && s.word(L"FROM"))) return false;
  if (!s.symbol(L'(')) return s.name(query.table) && s.end();
  if (!(select_all(s, query.table) && s.symbol(L')'))) return false;
  std::wstring alias;
  if (s.word(L"AS") && !s.name(alias)) return false;
  if (alias.empty()) s.name(alias);
  return s.end();
}

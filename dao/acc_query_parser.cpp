#include "dao/acc_query_parser.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/win32.h"

namespace {

// The position of `token` in `text`, ignoring case; npos when absent.
std::size_t find_ignoring_case(const std::wstring& text, const std::wstring& token, std::size_t from = 0) {
  for (std::size_t i = from; i + token.size() <= text.size(); ++i)
    if (CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, text.c_str() + i, static_cast<int>(token.size()),
                       token.c_str(), static_cast<int>(token.size())) == CSTR_EQUAL)
      return i;
  return std::wstring::npos;
}

bool matches_at(const std::wstring& text, std::size_t at, const std::wstring& token) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, text.c_str() + at, static_cast<int>(token.size()),
                        token.c_str(), static_cast<int>(token.size())) == CSTR_EQUAL;
}

}  // namespace

acc_query_parser::acc_query_parser(const std::wstring& sql) {
  tk_log::write(1, "acc_query_parser::ctor");
  std::wstring text = sql;
  std::size_t at = find_ignoring_case(text, L"WITH OWNERACCESS OPTION");
  if (at != std::wstring::npos) {
    tk_log::write(1, L"'%ls' found at pos=%d", L"WITH OWNERACCESS OPTION", static_cast<int>(at));
    text.erase(at);
  }
  ok = initialize(tk_trim(text)) ? 1 : 0;
}

void acc_query_parser::make_ansi() { make_ansi(*this); }

void acc_query_parser::make_ansi(udb_query_parser& statement) {
  tk_log::write(2, "acc_query_parser::make_ansi");
  for (std::wstring& item : statement.select_items) {
    item = make_safe(tk_trim(item));
    const std::wstring as = L" AS ";
    long first = static_cast<long>(item.size()) - 5;
    tk_log::write(1, L"Processing token '%ls', n_as_token_pos=%ld", item.c_str(), first);
    long found = -1;
    for (long p = first; p >= 1; --p)
      if (matches_at(item, static_cast<std::size_t>(p), as)) {
        found = p;
        break;
      }
    if (found >= 1) {
      tk_log::write(1, "'AS' is found at position=%ld", found);
      std::wstring alias = item.substr(static_cast<std::size_t>(found));
      tk_log::write(1, L"as_part=%ls", alias.c_str());
      item = normalize_concat(item.substr(0, static_cast<std::size_t>(found))) + alias;
    } else {
      tk_log::write(1, "'AS' was NOT found");
      item = normalize_concat(item);
    }
  }
  statement.order_part = normalize_concat(statement.order_part);
  if (statement.sub_query) make_ansi(*statement.sub_query);
}

std::wstring acc_query_parser::make_safe(const std::wstring& item) {
  tk_log::write(1, L"acc_query_parser::make_safe(%ls)", item.c_str());
  std::vector<std::wstring> chunks = tk_split(item, L'.');
  tk_log::write(1, "Got %d chunks", static_cast<int>(chunks.size()));
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    std::wstring& chunk = chunks[i];
    if (chunk == L"*") {
      tk_log::write(1, "Skip asterisk");
      continue;
    }
    if (chunk.size() >= 2 && chunk.front() == L'[' && chunk.back() == L']') {
      tk_log::write(1, "Chunk #%d is safe already", static_cast<int>(i));
      continue;
    }
    for (wchar_t c : chunk)
      if (c != L' ' && !IsCharAlphaNumericW(c)) {
        tk_log::write(1, "It's not a field/table name");
        return item;
      }
    if (chunk.find(L' ') != std::wstring::npos) chunk = L"[" + chunk + L"]";
  }
  return tk_join(chunks, L'.');
}

std::wstring acc_query_parser::combine_chunks(const std::vector<std::wstring>& chunks, const std::wstring& last) {
  tk_log::write(1, L"combine_chunks(%d, %ls)", static_cast<int>(chunks.size()), last.c_str());
  if (chunks.empty()) {
    tk_log::write(1, "Got 1 chunk (no concatenation):");
    return last;
  }
  tk_log::write(1, "Got chunks (concatenation):");
  std::wstring out = L"CONCAT(";
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    tk_log::write(1, L"\t%d: %ls", static_cast<int>(i), chunks[i].c_str());
    if (i) out += L",";
    out += chunks[i];
  }
  if (!last.empty()) out += L"," + last;
  return out + L")";
}

std::wstring acc_query_parser::normalize_concat(const std::wstring& text) {
  tk_log::write(1, L"normalize_concat(%ls)", text.c_str());
  if (text.find(L'&') == std::wstring::npos) {
    tk_log::write(1, L"Concatenation is not found");
    return text;
  }
  bool single = false, dbl = false;
  int square = 0, round = 0;
  std::size_t open = std::wstring::npos;
  std::vector<std::wstring> chunks;
  std::wstring current;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'\'' && !dbl) {
      single = !single;
      tk_log::write(1, single ? "Inside single-quotes" : "Outside single-quotes");
    } else if (c == L'"' && !single) {
      dbl = !dbl;
      tk_log::write(1, dbl ? "Inside double-quotes" : "Outside double-quotes");
    } else if (!single && !dbl) {
      if (c == L'[') ++square;
      if (c == L']') --square;
      if (c == L'(') {
        if (round++ == 0) {
          current.push_back(c);
          open = i + 1;
        }
        continue;
      }
      if (c == L')') {
        if (round == 0 || (round == 1 && open == std::wstring::npos)) throw tk_mail_assertion("dao_qpar", 178);
        if (--round == 0) {
          current += normalize_concat(text.substr(open, i - open)) + L")";
          open = std::wstring::npos;
        }
        continue;
      }
      if (round == 0 && c == L',') {
        tk_log::write(1, "We meet ',' outside round brackets");
        std::wstring result = combine_chunks(chunks, current);
        if (!result.empty()) result += L",";
        return result + normalize_concat(text.substr(i + 1));
      }
      if (round == 0 && c == L'&' && square == 0) {
        if (!current.empty()) chunks.push_back(current);
        current.clear();
        continue;
      }
    }
    if (round == 0) current.push_back(c);
  }
  return combine_chunks(chunks, current);
}

// Splits a SELECT statement into its clauses and rebuilds it. A scanner,
// not a grammar: it follows quotes, brackets and parentheses and finds the
// clause keywords, between blanks, at the top level.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class udb_query_parser {
 public:
  udb_query_parser();
  ~udb_query_parser();
  udb_query_parser(const udb_query_parser&) = delete;
  udb_query_parser& operator=(const udb_query_parser&) = delete;

  // False when the text does not start with "SELECT " (in any case), holds
  // a comment, or is not rebuilt whole by get_query (the INTO clause and a
  // closing semicolon aside).
  bool initialize(const std::wstring& sql);
  // The statement rebuilt from its parts; the INTO clause is left out.
  std::wstring get_query() const;
  // With a sub-query: the text before it, the sub-query in parentheses and
  // what follows it.
  std::wstring get_from_part() const;
  // The keyword at `position`, compared without regard to case; `end` is
  // set after it. A keyword that reaches the end of the text is not found.
  bool get_token_if(std::size_t position, const std::wstring& keyword, std::size_t& end) const;

  int ok = 1;
  // The statement with its line breaks made blanks, except inside quotes.
  std::wstring text;
  std::wstring from_part;
  // A HAVING clause stays inside the GROUP BY part.
  std::wstring group_part;
  std::wstring having_part;
  std::wstring order_part;
  std::wstring into_part;
  std::wstring where_part;
  std::wstring select_modifier;
  std::vector<std::wstring> select_items;
  std::unique_ptr<udb_query_parser> sub_query;
  // Where the scan stopped: the end of the text, or the closing parenthesis
  // of a sub-query.
  std::size_t end_pos = 0;
  // The FROM text before a sub-query (a join's left side), empty for the
  // usual FROM (SELECT ...) alias.
  std::wstring from_prefix;

 private:
  // The scan of initialize without the check of the rebuilt statement; a
  // sub-query stops at its closing parenthesis.
  bool parse(const std::wstring& sql);

  std::size_t select_pos = 0;
  // Where " INTO " begins and where its clause ends.
  std::size_t into_start = 0;
  std::size_t into_end = 0;
};

// Tried in this order after SELECT.
extern const wchar_t* const select_modifiers[4];

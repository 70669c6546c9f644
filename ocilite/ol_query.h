// The translation of a query: its tree (ol_query_tree.h) resolved against
// the schema, every expression given its Oracle type and the server's
// errors raised, then written as the SQLite statement that computes it.
//
// Inside the statement every number that is compared, sorted, grouped,
// aggregated or computed is a number key, every date a date key
// (ol_keys.h), a text '' is NULL and a CHAR value blank-padded; the
// functions of ol_query_functions.h compute on them. The outermost select
// list returns each value in the form the fetch layer converts (a NUMBER as
// its column stores it); a column that is only projected is passed on as
// it is stored, so a table is read at no extra cost. Views and WITH queries
// are read as the subqueries they hold. The select list is described from
// the static types, position by position.
#pragma once

#include <string>
#include <vector>

#include "ocilite/ol_sql.h"
#include "ocilite/ol_types.h"

namespace ocilite {

struct query_translation {
  std::string sql;
  std::vector<result_column> columns;
  // The placeholders in the order written: ?k of the statement is the k-th.
  std::vector<std::string> placeholders;
  bool for_update = false;  // the statement's last column is the row id
};

// USER is `user`.
query_translation translate_query(const std::vector<token>& tokens, const std::string& user, schema_lookup& schema);

}  // namespace ocilite

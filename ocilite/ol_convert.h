// Values into the client's buffers (defines, RETURNING targets) and out of
// them (binds), by external data type.
#pragma once

#include "ocilite/ol_handles.h"

namespace ocilite {

// Where a fetched value lives, for LOB locators that write back.
struct row_source {
  std::weak_ptr<database> db;
  std::int64_t rowid = 0;
  bool locked = false;
};

struct out_slot {
  void* data = nullptr;  // the element of this row
  sb4 size = 0;
  ub2 dty = 0;
  ub2 csid = 0;  // resolved: never 0
  sb2* ind = nullptr;
  ub2* rlen = nullptr;
  ub2* rcode = nullptr;
};

// Writes one value; returns true when it was cut (or fetched as NULL
// without an indicator, which throws ORA-01405 instead).
bool put_value(const column_desc& col, const cell& v, const out_slot& slot,
               const row_source& source);

// The bytes between two elements of a define or bind array.
std::size_t element_stride(ub2 dty, sb4 value_sz);

// The value of row `row` of a bind.
cell bind_value(const bind_handle& b, ub4 row);

bool is_null_value(const column_desc& col, const cell& v);

}  // namespace ocilite

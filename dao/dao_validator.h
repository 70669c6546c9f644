// The naming rules of the workbook destination: DAO object, field and index
// names, and worksheet names.
#pragma once

#include "UDB/udb_index.h"
#include "UDB/udb_schema.h"
#include "UDB/udb_validator.h"

#include <string>
#include <vector>

class dao_validator : public udb_validator {
 public:
  // 0: no length limit.
  explicit dao_validator(std::uint32_t max_length = 0);
  // Not empty, and no blank at either end; then the base rules.
  bool is_acceptable(const std::wstring& name) override;
  // Trims the blanks first.
  std::wstring get_safe_name(const std::wstring& name) override;
};

// Field names are cut within the 64 UTF-16 units the engine takes, so that
// a longer source name (a server allows 128 bytes) does not lose its table.
class dao_fn_validator : public dao_validator {
 public:
  static constexpr std::uint32_t max_name_length = 64;
  explicit dao_fn_validator(const udb_schema& schema);
};

class dao_in_validator : public dao_validator {
 public:
  explicit dao_in_validator(const udb_indexes& indexes);
};

class xls_tn_validator : public udb_validator {
 public:
  // Every name of both lists is taken, the first list first. The run gives
  // a length limit of 31, the longest sheet title, so that generated names
  // stay unique within what a workbook keeps of them.
  xls_tn_validator(const std::vector<std::wstring>& first, const std::vector<std::wstring>& second,
                   std::uint32_t max_length = 0);
};

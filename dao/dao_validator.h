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

// Sheet names, as every reader of the three formats takes them: no control
// character (readers drop them or refuse the file), not History (Excel
// keeps it for itself), and unique the way readers compare names, by full
// case folding as well as by the simple one.
class xls_tn_validator : public udb_validator {
 public:
  // Every name of both lists is taken, the first list first. The run gives
  // a length limit of 31, the longest sheet title, so that generated names
  // stay unique within what a workbook keeps of them.
  xls_tn_validator(const std::vector<std::wstring>& first, const std::vector<std::wstring>& second,
                   std::uint32_t max_length = 0);

 protected:
  // The nine characters a sheet name cannot hold, and the control
  // characters (U+0000 to U+001F, U+007F to U+009F), with what XML cannot
  // carry: U+FFFE, U+FFFF and surrogates.
  bool is_illegal(wchar_t c) const override;
};

// The name rules of an Oracle destination: at most 30 characters, a letter
// first, then letters, digits, "_", " ", "." and "#". Unusable names become
// safe and unique ones. Names already used stay acceptable (is_duplicated
// tells them); only restricted words are refused.
#pragma once

#include "TK/tk_singleton.h"
#include "UDB/udb_index.h"
#include "UDB/udb_record.h"
#include "UDB/udb_schema.h"
#include "UDB/udb_validator.h"

#include <string>
#include <vector>

class ora_validator : public udb_validator {
 public:
  ora_validator();

  bool is_acceptable(const std::wstring& name) override;
  // A letter first (an "A" put in front), cut to 29 characters, other
  // characters made "_", then unique among the names used.
  std::wstring get_safe_name(const std::wstring& name) override;

  // Taken from now on; the name itself stays acceptable.
  void add_used_name(const std::wstring& name);

  static constexpr std::uint32_t max_name_length = 30;
};

// Column names of one table.
class ora_fn_validator : public ora_validator {
 public:
  explicit ora_fn_validator(const udb_schema& schema);
  explicit ora_fn_validator(const udb_record& record);
};

// Table and view names.
class ora_tn_validator : public ora_validator {
 public:
  ora_tn_validator(const std::vector<std::wstring>& first, const std::vector<std::wstring>& second);
};

// Index and constraint names: one for the program, so that names stay unique
// across every table the writing side creates. Every name settled on is a
// restricted word from then on.
class ora_in_validator : public tk_singleton<ora_in_validator> {
 public:
  ora_in_validator();
  // The names of the list become used names.
  void load(const udb_indexes& indexes);
  udb_validator& validator() { return names; }

  ora_validator names;
};

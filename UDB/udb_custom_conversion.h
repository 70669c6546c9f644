// A process-wide hook through which registered rules could take over the
// conversion of particular columns. Neither program registers a rule, so
// every test answers no and the engines take their own path.
#pragma once

#include "OLE/ole_variant.h"
#include "TK/tk_singleton.h"

#include <memory>
#include <string>
#include <vector>

class t_ftd;

class udb_conversion_rule {
 public:
  virtual ~udb_conversion_rule() = default;
  // The rule converts this column's values (convert_value).
  virtual bool accepts_value(const t_ftd& column) = 0;
  // The rule names this column's destination type (native_type).
  virtual bool accepts_type(const t_ftd& column) = 0;
  virtual ole_variant convert_value(const t_ftd& column) = 0;
  virtual std::wstring native_type(const t_ftd& column) = 0;
};

class udb_custom_conversion : public tk_singleton<udb_custom_conversion> {
 public:
  // Without an instance, or without rules, both tests are false and both
  // handlers give empty results.
  static bool is_acceptable1(const t_ftd& column);
  static bool is_acceptable2(const t_ftd& column);
  // The destination type text of the first rule that accepts the column.
  static std::wstring handle1(const t_ftd& column);
  // The converted value of the first rule that accepts the column.
  static ole_variant handle2(const t_ftd& column);

  std::vector<std::unique_ptr<udb_conversion_rule>> rules;
};

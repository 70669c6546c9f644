// An Oracle error as the program's exception: the server's message line and
// a code that the error handler matches.
#pragma once

#include "TK/tk_exception.h"

#include <string>

class ora_exception : public tk_exception {
 public:
  // Level 0; code 0x100000 | the error number's low 16 bits.
  ora_exception(const std::string& message, int oracle_error_number);

  static constexpr int code_base = 0x100000;
};

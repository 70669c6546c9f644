// The exceptions of the value conversions.
#pragma once

#include "TK/tk_exception.h"

// change_type could not convert the value; the value is left as it was.
class ole_cast_exception : public tk_exception {
 public:
  ole_cast_exception();
};

// A conversion was asked for a type that is not handled.
class ole_type_exception : public tk_exception {
 public:
  ole_type_exception();
};
